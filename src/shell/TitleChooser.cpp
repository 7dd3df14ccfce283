#include "TitleChooser.h"

#include "ui_TitleChooser.h"

#include "RipView.h"
#include "SettingsStore.h"
#include "ShellTexts.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <algorithm>

namespace {

// The chooser's own texts.
const QString ApplyText = QStringLiteral("Appliquer");
const QString CancelText = QStringLiteral("Annuler");
const QString ForgetText = QStringLiteral("Oublier ces titres");
const QString NothingFound = QStringLiteral("Aucun titre n'a été trouvé pour ce disque.");

} // namespace

TitleChooser::TitleChooser(const QList<titles::TitleCandidate> &candidates, const QStringList &statusLines,
                           const QString &email, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TitleChooser>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    m_apply = m_ui->boutons->addButton(ApplyText, QDialogButtonBox::AcceptRole);
    m_cancel = m_ui->boutons->addButton(CancelText, QDialogButtonBox::RejectRole);
    m_forget = m_ui->boutons->addButton(ForgetText, QDialogButtonBox::ActionRole);
    m_forget->setAutoDefault(false);
    m_forget->setVisible(false);
    connect(m_forget, &QPushButton::clicked, this, &TitleChooser::forgetSelected);
    m_apply->setDefault(true);
    m_apply->setAutoDefault(true);
    m_cancel->setAutoDefault(false);
    connect(m_ui->boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->cmdRelancer, &QPushButton::clicked, this, &TitleChooser::searchAgain);
    m_ui->cmdRelancer->setEnabled(false); // until there is a lookup to start again
    connect(m_ui->lstCandidats, &QTreeWidget::currentItemChanged, this, &TitleChooser::showPreview);
    connect(m_ui->lstCandidats, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    m_ui->lstCandidats->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_ui->lstCandidats->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_ui->lstCandidats->header()->setStretchLastSection(false);
    // The preview is what the user checks before applying: every title and artist whole,
    // scrolled sideways rather than cut when the dialog is narrower than they are.
    for (int column = 0; column < 3; ++column)
        m_ui->lstApercu->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    m_ui->lstApercu->header()->setStretchLastSection(false);
    m_ui->lstApercu->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Until the user moves it, the splitter gives each side what its columns need.
    connect(m_ui->splitter, &QSplitter::splitterMoved, this, [this] { m_splitterMoved = true; });
    m_ui->txtCourriel->setText(email);

    setResults(candidates, statusLines);
    m_ui->lstCandidats->setFocus();
}

TitleChooser::~TitleChooser() = default;

void TitleChooser::follow(titles::TitleLookup &lookup, const titles::TitleLookupRequest &request)
{
    m_lookup = &lookup;
    m_request = request;
    connect(&lookup, &titles::TitleLookup::changed, this, &TitleChooser::showLookup);
    connect(&lookup, &titles::TitleLookup::finished, this, &TitleChooser::showLookup);
    m_ui->cmdRelancer->setEnabled(true);
    lookup.start(request);
    showLookup();
}

void TitleChooser::searchAgain()
{
    if (!m_lookup)
        return;
    m_request.email = email();
    m_rememberedForgotten = false; // forgotten titles are gone from the disc by now
    // The list stays as it is until the first answers replace it: the candidate selected
    // stays selected when it comes again.
    m_lookup->start(m_request);
}

void TitleChooser::showLookup()
{
    if (!m_lookup)
        return;
    QList<titles::TitleCandidate> candidates = m_lookup->candidates();
    if (m_rememberedForgotten)
        candidates.removeIf([](const titles::TitleCandidate &candidate) {
            return candidate.source == titles::TitleCandidate::Source::Remembered;
        });
    QStringList lines = m_lookup->statusLines();
    // Between the start and the first answer (reading a disc's CD-Text can take a moment).
    if (m_lookup->isRunning() && lines.isEmpty() && candidates.isEmpty())
        lines << ShellTexts::searchingTitles();
    setResults(candidates, lines);
}

void TitleChooser::done(int result)
{
    // Answers that come after the user has decided are of no use to anyone.
    if (m_lookup)
        m_lookup->cancel();
    if (m_sizeStore)
        m_sizeStore->write(sizeKey(), QStringLiteral("%1x%2").arg(width()).arg(height()));
    QDialog::done(result);
}

void TitleChooser::keepSizeIn(SettingsStore &store)
{
    m_sizeStore = &store;
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,5})\\s*x\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch match = form.match(store.read(sizeKey(), QString()));
    QSize kept = size();
    if (match.hasMatch())
        kept = QSize(match.captured(1).toInt(), match.captured(2).toInt()).expandedTo(minimumSizeHint());
    // A size kept on a larger screen, or edited by hand, still fits this screen.
    resize(kept.boundedTo(screen()->availableGeometry().size()));
}

void TitleChooser::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    fitSplitter();
}

void TitleChooser::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitSplitter();
}

void TitleChooser::fitSplitter()
{
    if (m_splitterMoved || !isVisible())
        return;
    const auto needed = [](const QTreeWidget *tree) {
        const QAbstractItemView &view = *tree; // public there, protected in the tree
        int width = 2 * tree->frameWidth() + tree->verticalScrollBar()->sizeHint().width();
        for (int column = 0; column < tree->columnCount(); ++column)
            if (!tree->isColumnHidden(column))
                width += std::max(view.sizeHintForColumn(column), tree->header()->sectionSizeHint(column));
        return width;
    };
    const int room = m_ui->splitter->width() - m_ui->splitter->handleWidth();
    const int list = needed(m_ui->lstCandidats);
    const int preview = needed(m_ui->lstApercu);
    // Each side has what it needs and half of what is left, or its share when the dialog
    // is too narrow for both.
    const int left = list + preview <= room ? list + (room - list - preview) / 2
                                            : static_cast<int>(qint64(room) * list / (list + preview));
    m_ui->splitter->setSizes({left, room - left});
}

void TitleChooser::setResults(const QList<titles::TitleCandidate> &candidates, const QStringList &statusLines)
{
    m_candidates = candidates;
    m_statusLines = statusLines;
    showCandidates();
}

void TitleChooser::showCandidates()
{
    // Answers arriving must not move the selection under the user's eyes: what is
    // previewed, and applied by Enter, stays the candidate the user was looking at.
    const std::optional<titles::TitleCandidate> previous = selectedCandidate();
    qsizetype current = m_candidates.isEmpty() ? -1 : 0;
    if (previous) {
        if (const qsizetype found = m_candidates.indexOf(*previous); found >= 0)
            current = found;
    }
    {
        const QSignalBlocker quiet(m_ui->lstCandidats);
        m_ui->lstCandidats->clear();
        for (const titles::TitleCandidate &candidate : std::as_const(m_candidates)) {
            auto *item = new QTreeWidgetItem(m_ui->lstCandidats, QStringList{candidate.label(), candidate.sourceText()});
            item->setToolTip(0, candidate.label());
        }
        if (current >= 0)
            m_ui->lstCandidats->setCurrentItem(m_ui->lstCandidats->topLevelItem(static_cast<int>(current)));
    }
    QStringList lines = m_statusLines;
    if (m_candidates.isEmpty() && !searching())
        lines.prepend(NothingFound);
    m_ui->lblEchecs->setText(lines.join(QLatin1Char('\n')));
    m_ui->lblEchecs->setVisible(!lines.isEmpty());
    m_apply->setEnabled(!m_candidates.isEmpty());
    if (selectedCandidate() != previous || m_ui->lstApercu->topLevelItemCount() == 0)
        showPreview();
    fitSplitter();
}

void TitleChooser::setForgetRemembered(std::function<QString()> forget)
{
    m_forgetRemembered = std::move(forget);
    showPreview();
}

void TitleChooser::forgetSelected()
{
    const int index = selectedIndex();
    if (!m_forgetRemembered || index < 0 || index >= m_candidates.size()
        || m_candidates[index].source != titles::TitleCandidate::Source::Remembered)
        return;
    const QString failure = m_forgetRemembered();
    if (!failure.isEmpty()) {
        QMessageBox::warning(this, programTitle(), failure);
        return;
    }
    m_rememberedForgotten = true;
    m_candidates.removeAt(index);
    // The next candidate takes the place of the forgotten one.
    {
        const QSignalBlocker quiet(m_ui->lstCandidats);
        m_ui->lstCandidats->setCurrentItem(nullptr);
    }
    showCandidates();
}

int TitleChooser::selectedIndex() const
{
    QTreeWidgetItem *item = m_ui->lstCandidats->currentItem();
    return item ? m_ui->lstCandidats->indexOfTopLevelItem(item) : -1;
}

std::optional<titles::TitleCandidate> TitleChooser::selectedCandidate() const
{
    const int index = selectedIndex();
    if (index < 0 || index >= m_candidates.size())
        return std::nullopt;
    return m_candidates[index];
}

QString TitleChooser::email() const
{
    return m_ui->txtCourriel->text().trimmed();
}

void TitleChooser::showPreview()
{
    m_ui->lstApercu->clear();
    const std::optional<titles::TitleCandidate> candidate = selectedCandidate();
    m_forget->setVisible(m_forgetRemembered && candidate
                         && candidate->source == titles::TitleCandidate::Source::Remembered);
    if (!candidate)
        return;
    // The artist column only when the tracks have artists of their own: a compilation.
    const bool compilation = candidate->hasTrackArtists();
    m_ui->lstApercu->setColumnHidden(2, !compilation);
    for (qsizetype i = 0; i < candidate->tracks.size(); ++i) {
        const titles::TrackTitle &track = candidate->tracks[i];
        new QTreeWidgetItem(m_ui->lstApercu,
                            QStringList{QString::number(i + 1), track.title,
                                        track.artist.isEmpty() ? candidate->artist : track.artist});
    }
    fitSplitter();
}
