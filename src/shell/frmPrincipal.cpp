#include "frmPrincipal.h"

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
#include "TerminalView.h"
#include "TitleChooser.h"
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
#include <QProgressDialog>
#include <QScreen>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTreeWidget>
#include <exception>

namespace {

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

// A track of the list: its full title is its tooltip, as the column is too narrow for a
// long one. Read when shown, so an edited title is shown too.
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

// The window's own texts.
namespace Texts {
const QString CannotStop = QStringLiteral("Impossible d'arrêter la lecture du CD");
const QString Busy = QStringLiteral("Il y a déjà une lecture en cours");
const QString NothingSelected = QStringLiteral("Aucun fichier n'est sélectionné");
const QString ChooseFile = QStringLiteral("Choisissez un fichier");
const QString NoDiscForTitles = QStringLiteral("Aucun disque lisible : ses titres ne peuvent pas être recherchés.");
const QString SearchingTitles = QStringLiteral("Recherche des titres...");
const QString Cancel = QStringLiteral("Annuler");
QString confirmTrash(const QString &name)
{
    return QStringLiteral("Voulez-vous vraiment envoyer « %1 » dans la corbeille ?").arg(name);
}
QString trashFailed(const QString &name, const QString &reason)
{
    return QStringLiteral("Impossible d'envoyer « %1 » dans la corbeille : %2.").arg(name, reason);
}
QString settingsFailed(const QString &where)
{
    return QStringLiteral("Impossible d'enregistrer les paramètres dans « %1 ».")
        .arg(QDir::toNativeSeparators(where));
}
} // namespace Texts

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

    // Track list: "Piste" 1440 twips, "Durée" 650 twips.
    QTreeWidget *list = m_ui->lstPistes;
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(0, 96);
    list->setColumnWidth(1, 43);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Only the title is the user's to edit; the duration comes from the disc.
    list->setItemDelegateForColumn(1, new ReadOnlyDelegate(list));

    m_ui->File1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ui->cboLecteurs->setEditable(false);

    // Fixed size: the client area below the menu is 778 × 531 pixels.
    m_ui->centralwidget->setFixedSize(778, 510);
    adjustSize();
    setFixedSize(778, m_ui->menubar->sizeHint().height() + 531);

    connect(m_ui->cboLecteurs, &QComboBox::activated, this, &frmPrincipal::onDriveActivated);
    connect(m_ui->Command_rip, &QPushButton::clicked, this, &frmPrincipal::Command_rip_Click);
    connect(m_ui->btnAnnuler, &QPushButton::clicked, this, &frmPrincipal::btnAnnuler_Click);
    connect(m_ui->Command1, &QPushButton::clicked, this, &frmPrincipal::Command1_Click);
    connect(m_ui->File1, &QListWidget::itemDoubleClicked, this, &frmPrincipal::File1_DblClick);
    connect(m_ui->rechercher, &QAction::triggered, this, &frmPrincipal::rechercher_Click);
    connect(m_ui->quitter, &QAction::triggered, this, &frmPrincipal::quitter_Click);
    connect(m_ui->aide, &QAction::triggered, this, &frmPrincipal::aide_Click);
    connect(m_ui->propos, &QAction::triggered, this, &frmPrincipal::propos_Click);
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

    setupDriveList();
    if (m_unloaded)
        return LoadResult::NoDrive;

    m_panel1->setText(CoreTexts::statusIdle());
    m_form.lsDossier = folder;
    untickAll();
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
    CdReader &ripper = *m_reader;
    m_form.settings.LlLecteur = m_ui->cboLecteurs->currentIndex();
    m_ui->lstPistes->clear();
    // Titles applied to the disc before belong to it: the next disc's tags start afresh.
    m_ui->txtAlbum->setText(CoreTexts::defaultAlbum());
    m_ui->txtArtiste->clear();
    if (m_form.LlHandleCD != 0) {
        if (!ripper.CloseDrive(m_form.LlHandleCD)) {
            message(Texts::CannotStop, MessageIcon::Exclamation);
            return;
        }
        m_form.LlHandleCD = 0;
    }
    const Disc disc = openDisc(ripper, m_ui->cboLecteurs->currentIndex());
    m_form.LlHandleCD = disc.handle;
    LirePistes(disc);
    untickAll();
}

void frmPrincipal::LirePistes(const Disc &disc)
{
    for (const QString &text : disc.messages)
        message(text, MessageIcon::Exclamation);
    const QIcon icon(QStringLiteral(":/icons/piste.png"));
    for (const DiscTrack &track : disc.tracks) {
        auto *item = new TrackItem(m_ui->lstPistes);
        item->setText(0, track.title);
        item->setIcon(0, icon);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                       | Qt::ItemIsUserCheckable);
        item->setText(1, track.duration);
        item->setCheckState(0, Qt::Checked);
    }
}

void frmPrincipal::untickAll()
{
    const int count = m_ui->lstPistes->topLevelItemCount();
    for (int i = 0; i < count; ++i)
        m_ui->lstPistes->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
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
    message(Texts::Busy, MessageIcon::Exclamation);
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
    m_batch.reset(QThread::create([this] {
        try {
            // One job: the window's batch reads and encodes one track after the other.
            BatchRunner batch(m_form, *m_view, 1);
            m_batchProduced = 0;
            batch.ConvertirPistes();
            m_batchProduced = batch.tracksProduced();
        } catch (const std::exception &e) {
            m_view->showMessage(QString::fromUtf8(e.what()), MessageIcon::Exclamation,
                                programTitle());
        } catch (...) {
            m_view->showMessage(QStringLiteral("Erreur inattendue pendant la conversion."),
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
    if (m_closeRequested) {
        Form_Unload();
        return;
    }
    resetAfterBatch(m_form);
    if (m_batchProduced > 0)
        rememberTitles();
    emit batchFinished();
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
            QMessageBox box(QMessageBox::NoIcon, programTitle(), Texts::NothingSelected,
                            QMessageBox::Ok, this);
            box.exec();
            m_ui->File1->setFocus();
            return;
        }
        QMessageBox confirm(QMessageBox::Question, programTitle(), Texts::confirmTrash(name),
                            QMessageBox::Yes | QMessageBox::No, this);
        confirm.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
        confirm.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
        confirm.setDefaultButton(QMessageBox::Yes);
        if (confirm.exec() == QMessageBox::Yes) {
            QString reason;
            if (!MusicFolder::moveToTrash(path, &reason))
                message(Texts::trashFailed(name, reason), MessageIcon::Exclamation);
        }
        RafraichirListe();
    } catch (...) {
        message(Texts::ChooseFile, MessageIcon::Exclamation);
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
    if (!request || m_ui->lstPistes->topLevelItemCount() == 0) {
        message(Texts::NoDiscForTitles, MessageIcon::Exclamation);
        return;
    }
    titles::TitleLookup lookup;
    if (!lookUpTitles(lookup, *request))
        return;
    TitleChooser chooser(lookup.candidates(), lookup.failures(), request->email, this);
    for (;;) {
        const int outcome = chooser.exec();
        if (m_unloaded)
            return;
        m_form.settings.LsCourriel = chooser.email();
        if (outcome == TitleChooser::SearchAgain) {
            request->email = chooser.email();
            if (!lookUpTitles(lookup, *request))
                return;
            chooser.setResults(lookup.candidates(), lookup.failures());
            continue;
        }
        // Nothing changes until the user applies: a database answer can be wrong.
        if (outcome == TitleChooser::Applied) {
            if (const std::optional<titles::TitleCandidate> chosen = chooser.selectedCandidate())
                setTitleFields(titles::applyCandidate(*chosen, titleFields()));
        }
        return;
    }
}

bool frmPrincipal::lookUpTitles(titles::TitleLookup &lookup, const titles::TitleLookupRequest &request)
{
    // The lookup runs on this thread's event loop, behind a modal box the user may cancel.
    QProgressDialog progress(Texts::SearchingTitles, Texts::Cancel, 0, 0, this);
    progress.setObjectName(QStringLiteral("rechercheTitres"));
    progress.setWindowTitle(programTitle());
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    const QMetaObject::Connection done =
        connect(&lookup, &titles::TitleLookup::finished, &progress, &QDialog::accept);
    lookup.start(request);
    const bool finished = progress.exec() == QDialog::Accepted;
    disconnect(done);
    if (!finished)
        lookup.cancel();
    return finished && !m_unloaded;
}

titles::TitleFields frmPrincipal::titleFields() const
{
    titles::TitleFields fields;
    for (int i = 0; i < m_ui->lstPistes->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_ui->lstPistes->topLevelItem(i);
        fields.trackTexts << item->text(0);
        fields.trackArtists << item->data(0, TrackArtistRole).toString();
    }
    fields.album = m_ui->txtAlbum->text();
    fields.artist = m_ui->txtArtiste->text();
    return fields;
}

void frmPrincipal::setTitleFields(const titles::TitleFields &fields)
{
    // Texts only: the ticks stay as the user left them.
    for (int i = 0; i < m_ui->lstPistes->topLevelItemCount() && i < fields.trackTexts.size(); ++i) {
        QTreeWidgetItem *item = m_ui->lstPistes->topLevelItem(i);
        item->setText(0, fields.trackTexts[i]);
        item->setData(0, TrackArtistRole, i < fields.trackArtists.size() ? fields.trackArtists[i] : QString());
    }
    m_ui->txtAlbum->setText(fields.album);
    m_ui->txtArtiste->setText(fields.artist);
}

void frmPrincipal::rememberTitles()
{
    QString error;
    if (!DiscTitles::remember(*m_reader, m_form.LlHandleCD, titleFields(), &error))
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
    if (!SauverParametres(m_form, m_store)) {
        message(Texts::settingsFailed(m_store.location()), MessageIcon::Exclamation);
        m_exitCode = 1;
    }
    // The open drive is not closed: the reader goes with it.
    m_form.LoRipper = nullptr;
    m_reader.reset();
    modDirectShow::TerminateEngine();
    hide();
    emit unloaded();
}
