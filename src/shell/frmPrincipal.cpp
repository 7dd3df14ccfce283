#include "frmPrincipal.h"

#include "BatchOverview.h"
#include "BatchRunner.h"
#include "Conversion.h"
#include "CoreTexts.h"
#include "DialogLook.h"
#include "Disc.h"
#include "DiscTitles.h"
#include "Form_aide.h"
#include "Form_apropos.h"
#include "MusicFolder.h"
#include "Parametres.h"
#include "PrgBar.h"
#include "Resources.h"
#include "ShellTexts.h"
#include "TerminalView.h"
#include "TitleChooser.h"
#include "TrackListControls.h"
#include "TrackTitles.h"
#include "WindowRipView.h"
#include "modDirectShow.h"
#include "ui_frmPrincipal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

namespace {

// How often the selected drive is asked whether its disc changed, while the window waits.
constexpr int DiscWatchMs = 2000;
// A disc just put in may need a few seconds before it reads: so many more questions try it
// again before the window gives up until the next change.
constexpr int DiscSettleRetries = 5;

// A column that shows its text but never opens an editor.
class ReadOnlyDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return nullptr;
    }
};

// A track of the list: its full title is its tooltip, for a title longer than the list is
// wide. Read when shown, so an edited title is shown too.
class TrackItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::ToolTipRole)
            return text(0);
        return QTreeWidgetItem::data(column, role);
    }
};

} // namespace

frmPrincipal::frmPrincipal(std::unique_ptr<CdReader> reader, Options options, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                              | Qt::MSWindowsFixedSizeDialogHint)
    , m_ui(std::make_unique<Ui::frmPrincipal>())
    , m_reader(std::move(reader))
    , m_options(std::move(options))
    , m_store(m_options.applicationName)
    , m_view(std::make_unique<WindowRipView>(*this))
{
    sonalburyInitResources();
    m_ui->setupUi(this);
    setWindowIcon(sonalburyIcon());

    // White window and frames, black text.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    m_ui->centralwidget->setPalette(white);
    m_ui->centralwidget->setAutoFillBackground(true);
    m_ui->staBarreEtat->setPalette(white);
    m_ui->staBarreEtat->setAutoFillBackground(true);
    // Frames with their caption on the top line, as the user knows them.
    m_ui->centralwidget->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid #a0a0a0; border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));

    // The status bar's one panel, stretched across the bar.
    m_ui->staBarreEtat->setFixedHeight(21);
    m_panel1 = new QLabel(m_ui->staBarreEtat);
    m_panel1->setObjectName(QStringLiteral("panel1"));
    m_panel1->setFrameShape(QFrame::StyledPanel);
    m_panel1->setFrameShadow(QFrame::Sunken);
    // A long track title must not widen the fixed window: the text is cut instead.
    m_panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_panel1->setMinimumWidth(0);
    m_ui->staBarreEtat->addWidget(m_panel1, 1);
    // The second panel, on the right, only while a batch runs. Wide enough for the longest
    // text, so that it does not jump as the time left shrinks.
    m_panel2 = new QLabel(m_ui->staBarreEtat);
    m_panel2->setObjectName(QStringLiteral("panel2"));
    m_panel2->setFrameShape(QFrame::StyledPanel);
    m_panel2->setFrameShadow(QFrame::Sunken);
    m_panel2->setMinimumWidth(
        m_panel2->fontMetrics().horizontalAdvance(ShellTexts::batchTrack(99, 99) + ShellTexts::batchTimeLeft(3599))
        + 2 * m_panel2->frameWidth() + 8);
    m_ui->staBarreEtat->addPermanentWidget(m_panel2);
    m_panel2->hide();

    // Track list: "Piste" opens 1440 twips wide, "Durée" 650 twips; the titles then
    // take the room they need.
    QTreeWidget *list = m_ui->lstPistes;
    m_trackControls = new TrackListControls(*list, 96, 43);
    // Only the title is the user's to edit; the duration comes from the disc.
    list->setItemDelegateForColumn(1, new ReadOnlyDelegate(list));

    m_ui->File1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ui->cboLecteurs->setEditable(false);

    // Fixed size: the client area below the menu is 778 × 531 pixels.
    m_ui->centralwidget->setFixedSize(778, 510);
    adjustSize();
    setFixedSize(778, m_ui->menubar->sizeHint().height() + 531);

    // The list is the track list's view: the batch reads the list, never the widgets.
    connect(&m_tracks, &TrackList::tracksReset, this, &frmPrincipal::showTracks);
    connect(&m_tracks, &TrackList::trackChanged, this, &frmPrincipal::showTrack);
    connect(&m_tracks, &TrackList::discTagsChanged, this, &frmPrincipal::showDiscTags);
    connect(list, &QTreeWidget::itemChanged, this, &frmPrincipal::onTrackItemChanged);
    connect(m_ui->txtAlbum, &QLineEdit::textChanged, &m_tracks, &TrackList::setAlbum);
    connect(m_ui->txtArtiste, &QLineEdit::textChanged, &m_tracks, &TrackList::setArtist);
    showDiscTags();

    connect(m_ui->cboLecteurs, &QComboBox::activated, this, &frmPrincipal::onDriveActivated);
    connect(m_ui->Command_rip, &QPushButton::clicked, this, &frmPrincipal::Command_rip_Click);
    connect(m_ui->btnAnnuler, &QPushButton::clicked, this, &frmPrincipal::btnAnnuler_Click);
    connect(m_ui->Command1, &QPushButton::clicked, this, &frmPrincipal::Command1_Click);
    connect(m_ui->File1, &QListWidget::itemDoubleClicked, this, &frmPrincipal::File1_DblClick);
    connect(m_ui->rechercher, &QAction::triggered, this, &frmPrincipal::rechercher_Click);
    connect(m_ui->ejecter, &QAction::triggered, this, &frmPrincipal::ejecter_Click);
    connect(m_ui->quitter, &QAction::triggered, this, &frmPrincipal::quitter_Click);
    // Kept as settings; a batch under way keeps the choices it started with.
    connect(m_ui->volumeEgal, &QAction::toggled, this,
            [this](bool on) { m_form.settings.equalLoudness = on; });
    connect(m_ui->couperSilence, &QAction::toggled, this,
            [this](bool on) { m_form.settings.cutLeadingSilence = on; });
    connect(m_ui->aide, &QAction::triggered, this, &frmPrincipal::aide_Click);
    connect(m_ui->propos, &QAction::triggered, this, &frmPrincipal::propos_Click);

    m_discWatch.setObjectName(QStringLiteral("surveillanceDisque"));
    m_discWatch.setInterval(DiscWatchMs);
    connect(&m_discWatch, &QTimer::timeout, this, &frmPrincipal::checkDiscChanged);
}

frmPrincipal::~frmPrincipal()
{
    if (m_batch) {
        // Never leave a worker running behind a destroyed window.
        m_form.closing = true;
        m_form.LbStop = true;
        while (!m_batch->wait(20))
            QCoreApplication::processEvents();
        m_batch.reset();
    }
}

QString frmPrincipal::musicFolder() const
{
    return MusicFolder::path(m_options.programFolder);
}

QString frmPrincipal::statusText() const
{
    return m_panel1->text();
}

void frmPrincipal::message(const QString &text, MessageIcon icon)
{
    if (m_terminating) {
        printTo(stderr, text + QLatin1Char('\n'));
        return;
    }
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    if (icon == MessageIcon::Critical)
        boxIcon = QMessageBox::Critical;
    else if (icon == MessageIcon::Exclamation)
        boxIcon = QMessageBox::Warning;
    else if (icon == MessageIcon::Information)
        boxIcon = QMessageBox::Information;
    QMessageBox box(boxIcon, programTitle(), text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setWindowIcon(windowIcon());
    box.exec();
}

frmPrincipal::LoadResult frmPrincipal::Form_Load()
{
    DialogLook::centreOnScreen(*this);

    const QString folder = musicFolder();
    if (const QString problem = MusicFolder::prepare(folder); !problem.isEmpty()) {
        message(problem, MessageIcon::Exclamation);
        m_exitCode = 1;
        return LoadResult::Failed;
    }
    RafraichirListe();

    ChargerParametres(m_form, m_store);
    m_ui->volumeEgal->setChecked(m_form.settings.equalLoudness);
    m_ui->couperSilence->setChecked(m_form.settings.cutLeadingSilence);

    setupDriveList();
    if (m_unloaded)
        return LoadResult::NoDrive;

    showStatus(CoreTexts::statusIdle());
    m_form.lsDossier = folder;
    untickAll();
    m_discWatch.start();
    return LoadResult::Ready;
}

void frmPrincipal::setupDriveList()
{
    m_form.LoRipper = m_reader.get();
    CdReader &ripper = *m_reader;
    ripper.ScanDrives();
    if (ripper.GetDriveCount() == 0) {
        message(CoreTexts::noDrive(), MessageIcon::Critical);
        Form_Unload();
        return;
    }
    const std::int32_t count = ripper.GetDriveCount();
    for (std::int32_t i = 0; i < count; ++i)
        m_ui->cboLecteurs->addItem(driveLabel(ripper, i));
    // A saved drive that is gone since the last run: take the first one.
    if (m_form.settings.LlLecteur < 0 || m_form.settings.LlLecteur >= count)
        m_form.settings.LlLecteur = 0;
    m_ui->cboLecteurs->setCurrentIndex(m_form.settings.LlLecteur);
    cboLecteurs_Click();
}

void frmPrincipal::onDriveActivated(int)
{
    if (batchRunning()) {
        // The drive being read stays selected.
        m_ui->cboLecteurs->setCurrentIndex(m_batchDrive);
        refuseDuringBatch();
        return;
    }
    cboLecteurs_Click();
}

void frmPrincipal::cboLecteurs_Click()
{
    m_discRetries = 0;
    openSelectedDrive(false);
}

bool frmPrincipal::openSelectedDrive(bool quiet)
{
    CdReader &ripper = *m_reader;
    m_form.settings.LlLecteur = m_ui->cboLecteurs->currentIndex();
    updateEjectAction();
    m_tracks.clear();
    m_trackFrames.clear();
    if (m_form.LlHandleCD != 0) {
        if (!ripper.CloseDrive(m_form.LlHandleCD)) {
            if (!quiet)
                message(ShellTexts::cannotStop(), MessageIcon::Exclamation);
            return false;
        }
        m_form.LlHandleCD = 0;
    }
    const Disc disc = openDisc(ripper, m_ui->cboLecteurs->currentIndex());
    m_form.LlHandleCD = disc.handle;
    if (quiet && !disc.usable())
        return false;
    LirePistes(disc);
    untickAll();
    return disc.usable();
}

void frmPrincipal::updateEjectAction()
{
    // A disc image has no tray.
    const int drive = m_ui->cboLecteurs->currentIndex();
    m_ui->ejecter->setEnabled(drive >= 0 && m_reader && !m_reader->isImage(drive));
}

void frmPrincipal::checkDiscChanged()
{
    if (m_unloaded || !m_reader || batchRunning() || QApplication::activeModalWidget() != nullptr)
        return;
    const int drive = m_ui->cboLecteurs->currentIndex();
    if (drive < 0 || m_reader->isImage(drive))
        return;
    // A drive reports a change once: asked only when the answer can be acted upon.
    if (m_reader->mediaChanged(drive) > 0)
        m_discRetries = DiscSettleRetries + 1;
    if (m_discRetries == 0)
        return;
    --m_discRetries;
    // The disc the list showed is gone either way. A drive left empty, or a disc still
    // spinning up, is no mistake of the user's: nothing is said, and the next questions try
    // again for a while. Picking the drive in the list tells why a disc does not read.
    if (openSelectedDrive(true))
        m_discRetries = 0;
}

void frmPrincipal::ejecter_Click()
{
    if (batchRunning()) {
        refuseDuringBatch();
        return;
    }
    const int drive = m_ui->cboLecteurs->currentIndex();
    if (drive < 0 || m_reader->isImage(drive))
        return;
    // The drive is let go first: a drive still open refuses to eject.
    m_tracks.clear();
    m_trackFrames.clear();
    if (m_form.LlHandleCD != 0) {
        if (!m_reader->CloseDrive(m_form.LlHandleCD)) {
            message(ShellTexts::cannotStop(), MessageIcon::Exclamation);
            return;
        }
        m_form.LlHandleCD = 0;
    }
    m_discRetries = 0;
    if (!m_reader->ejectMedia(drive)) {
        message(ShellTexts::cannotEject(m_ui->cboLecteurs->currentText()), MessageIcon::Exclamation);
        // The disc is still there: list it again.
        cboLecteurs_Click();
    }
}

void frmPrincipal::LirePistes(const Disc &disc)
{
    for (const QString &text : disc.messages)
        message(text, MessageIcon::Exclamation);
    m_trackFrames.clear();
    for (const DiscTrack &track : disc.tracks)
        m_trackFrames.push_back(std::max(0, track.end - track.start));
    m_tracks.setTracks(disc.listedTracks());
}

void frmPrincipal::untickAll()
{
    m_tracks.setAllChecked(false);
}

void frmPrincipal::showTracks()
{
    QTreeWidget *list = m_ui->lstPistes;
    const QSignalBlocker quiet(list);
    list->clear();
    const QIcon icon(QStringLiteral(":/icons/piste.png"));
    for (const ListedTrack &track : m_tracks.tracks()) {
        auto *item = new TrackItem(list);
        item->setText(0, track.text);
        item->setIcon(0, icon);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                       | Qt::ItemIsUserCheckable);
        item->setText(1, track.duration);
        item->setCheckState(0, track.checked ? Qt::Checked : Qt::Unchecked);
    }
    m_trackControls->refresh();
}

void frmPrincipal::showTrack(std::int32_t position)
{
    QTreeWidgetItem *item = m_ui->lstPistes->topLevelItem(position - 1);
    if (item == nullptr)
        return;
    const ListedTrack track = m_tracks.track(position);
    const QSignalBlocker quiet(m_ui->lstPistes);
    item->setText(0, track.text);
    item->setCheckState(0, track.checked ? Qt::Checked : Qt::Unchecked);
    m_trackControls->refresh();
}

void frmPrincipal::showDiscTags()
{
    m_ui->txtAlbum->setText(m_tracks.album());
    m_ui->txtArtiste->setText(m_tracks.artist());
}

void frmPrincipal::onTrackItemChanged(QTreeWidgetItem *item, int column)
{
    // A tick or a title the user changed; the duration is not the user's.
    if (column != 0)
        return;
    const std::int32_t position = m_ui->lstPistes->indexOfTopLevelItem(item) + 1;
    m_tracks.setText(position, item->text(0));
    m_tracks.setChecked(position, item->checkState(0) == Qt::Checked);
}

void frmPrincipal::RafraichirListe()
{
    m_ui->File1->clear();
    m_ui->File1->addItems(MusicFolder::list(musicFolder()));
    m_ui->File1->setCurrentRow(-1);
    m_ui->File1->clearSelection();
}

void frmPrincipal::refuseDuringBatch()
{
    message(ShellTexts::busy(), MessageIcon::Exclamation);
}

void frmPrincipal::Command_rip_Click()
{
    if (batchRunning()) {
        refuseDuringBatch();
        return;
    }
    // A cancel pressed while nothing ran must not spoil this batch.
    m_form.LbStop = false;
    m_batchDrive = m_ui->cboLecteurs->currentIndex();
    // The disc being read is not watched: the drive serves the batch alone.
    m_discWatch.stop();
    // As the terminal does: the next track is read while those before it are encoded, on
    // every core.
    const int jobs = BatchRunner::jobsFor(m_options.jobs);
    m_batchJobs = jobs;
    m_overview = std::make_unique<BatchOverview>(m_trackFrames, m_form.settings.LlTypeEncodage != 1);
    m_batchClock.start();
    // Taken here, on the interface thread, where the menu changes them.
    const LevelOptions levelling = levelOptionsOf(m_form.settings);
    m_batch.reset(QThread::create([this, jobs, levelling] {
        try {
            BatchRunner batch(m_form, *m_view, m_tracks, jobs, m_view.get());
            batch.setLevelOptions(levelling);
            m_batchOutcomes.clear();
            batch.ConvertirPistes();
            m_batchOutcomes = batch.trackOutcomes();
        } catch (const std::exception &e) {
            m_view->showMessage(QString::fromUtf8(e.what()), MessageIcon::Exclamation,
                                programTitle());
        } catch (...) {
            m_view->showMessage(ShellTexts::unexpectedBatchError(),
                                MessageIcon::Exclamation, programTitle());
        }
    }));
    m_batch->setObjectName(QStringLiteral("conversion"));
    connect(m_batch.get(), &QThread::finished, this, &frmPrincipal::onBatchReturned, Qt::QueuedConnection);
    m_batch->start();
}

void frmPrincipal::onBatchReturned()
{
    if (!m_batch)
        return;
    m_batch->wait();
    m_batch.reset();
    m_overview.reset();
    m_panel2->clear();
    m_panel2->hide();
    if (m_closeRequested) {
        Form_Unload();
        return;
    }
    resetAfterBatch(m_form);
    rememberTitles();
    m_discWatch.start();
    emit batchFinished();
}

void frmPrincipal::showStatus(const QString &text)
{
    m_panel1->setText(text);
    emit statusChanged(text);
}

void frmPrincipal::showBatchProgress(const std::vector<BatchRunner::TrackLine> &reached,
                                     std::int32_t nextPosition)
{
    if (!m_overview)
        return;
    std::vector<bool> ticked;
    for (const ListedTrack &track : m_tracks.tracks())
        ticked.push_back(track.checked);
    m_overview->update(reached, nextPosition, ticked,
                       static_cast<double>(m_batchClock.elapsed()) / 1000.0);
    const QString text = m_overview->text();
    m_panel2->setText(text);
    m_panel2->setVisible(!text.isEmpty());
    // With one job the bar follows the reading and the encoding of each track in turn, as
    // the batch reports them; with more it follows the track being read.
    if (m_batchJobs > 1) {
        m_ui->prgb->setMax(m_overview->barMax());
        m_ui->prgb->setValue(m_overview->barValue());
    }
}

void frmPrincipal::btnAnnuler_Click()
{
    m_form.LbStop = true;
}

void frmPrincipal::Command1_Click()
{
    if (batchRunning()) {
        refuseDuringBatch();
        return;
    }
    try {
        QListWidgetItem *current = m_ui->File1->currentItem();
        const QString name = current ? current->text() : QString();
        const QString path = musicFolder() + name;
        if (!current || m_ui->File1->currentRow() < 0 || !current->isSelected()) {
            QMessageBox box(QMessageBox::NoIcon, programTitle(), ShellTexts::nothingSelected(),
                            QMessageBox::Ok, this);
            box.exec();
            m_ui->File1->setFocus();
            return;
        }
        QMessageBox confirm(QMessageBox::Question, programTitle(), ShellTexts::confirmTrash(name),
                            QMessageBox::Yes | QMessageBox::No, this);
        confirm.button(QMessageBox::Yes)->setText(ShellTexts::yes());
        confirm.button(QMessageBox::No)->setText(ShellTexts::no());
        confirm.setDefaultButton(QMessageBox::Yes);
        if (confirm.exec() == QMessageBox::Yes) {
            QString reason;
            if (!MusicFolder::moveToTrash(path, &reason))
                message(ShellTexts::trashFailed(name, reason), MessageIcon::Exclamation);
        }
        RafraichirListe();
    } catch (...) {
        message(ShellTexts::chooseFile(), MessageIcon::Exclamation);
    }
}

void frmPrincipal::File1_DblClick()
{
    const QListWidgetItem *current = m_ui->File1->currentItem();
    const QString path = musicFolder() + (current ? current->text() : QString());
    modDirectShow::LoadMP3(path);
    modDirectShow::PlayMP3();
}

void frmPrincipal::rechercher_Click()
{
    if (batchRunning()) {
        refuseDuringBatch();
        return;
    }
    std::optional<titles::TitleLookupRequest> request =
        DiscTitles::request(*m_reader, m_form.LlHandleCD, m_form.settings, m_form.settings.LsCourriel);
    if (!request || m_tracks.trackCount() == 0) {
        message(ShellTexts::noDiscForTitles(), MessageIcon::Exclamation);
        return;
    }
    // The chooser opens at once with what the computer knows (remembered titles, CD-Text)
    // and fills as the network answers; the user may apply before it has.
    titles::TitleLookup lookup;
    TitleChooser chooser({}, {}, request->email, this);
    chooser.keepSizeIn(m_store);
    chooser.setForgetRemembered([&lookup] { return DiscTitles::forget(lookup.musicBrainzDiscId()); });
    chooser.follow(lookup, *request);
    const int outcome = chooser.exec();
    if (m_unloaded)
        return;
    m_form.settings.LsCourriel = chooser.email();
    // Nothing changes until the user applies: a database answer can be wrong.
    if (outcome == TitleChooser::Applied) {
        if (const std::optional<titles::TitleCandidate> chosen = chooser.selectedCandidate())
            TrackTitles::apply(m_tracks, titles::applyCandidate(*chosen, TrackTitles::fieldsOf(m_tracks)));
    }
}

void frmPrincipal::rememberTitles()
{
    QString error;
    if (!DiscTitles::remember(*m_reader, m_form.LlHandleCD, TrackTitles::fieldsOf(m_tracks), m_batchOutcomes, &error))
        message(error, MessageIcon::Exclamation);
}

void frmPrincipal::quitter_Click()
{
    close();
}

void frmPrincipal::aide_Click()
{
    Form_aide help;
    help.exec();
}

void frmPrincipal::propos_Click()
{
    Form_apropos about;
    about.exec();
}

void frmPrincipal::terminationRequested()
{
    m_terminating = true;
    // A dialog's own event loop would keep the program waiting for a click.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog != nullptr && dialog->isVisible())
            dialog->reject();
    }
    m_view->dismissOpenMessage();
    close();
}

void frmPrincipal::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (batchRunning()) {
        // Stop the conversion at once; the unfinished files are removed as it returns,
        // then the window unloads.
        m_closeRequested = true;
        m_form.closing = true;
        m_form.LbStop = true;
        m_view->dismissOpenMessage();
        hide();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void frmPrincipal::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_discWatch.stop();
    if (!SauverParametres(m_form, m_store)) {
        message(ShellTexts::settingsFailed(m_store.location(), m_store.failure()), MessageIcon::Exclamation);
        m_exitCode = 1;
    }
    // The open drive is not closed: the reader goes with it.
    m_form.LoRipper = nullptr;
    m_reader.reset();
    modDirectShow::TerminateEngine();
    hide();
    emit unloaded();
}
