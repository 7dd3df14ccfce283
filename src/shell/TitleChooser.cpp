#include "TitleChooser.h"

#include "ui_TitleChooser.h"

#include "RipView.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The chooser's own texts.
const QString ApplyText = QStringLiteral("Appliquer");
const QString CancelText = QStringLiteral("Annuler");
const QString ForgetText = QStringLiteral("Oublier ces titres");
const QString NothingFound = QStringLiteral("Aucun titre n'a été trouvé pour ce disque.");

} // namespace

TitleChooser::TitleChooser(const QList<titles::TitleCandidate> &candidates, const QStringList &failures,
                           const QString &email, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TitleChooser>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
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
    connect(m_ui->cmdRelancer, &QPushButton::clicked, this, [this] { done(SearchAgain); });
    connect(m_ui->lstCandidats, &QTreeWidget::currentItemChanged, this, &TitleChooser::showPreview);
    connect(m_ui->lstCandidats, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    m_ui->lstCandidats->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_ui->lstCandidats->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_ui->lstCandidats->header()->setStretchLastSection(false);
    m_ui->lstApercu->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_ui->lstApercu->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_ui->lstApercu->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_ui->lstApercu->header()->setStretchLastSection(false);
    m_ui->lstApercu->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_ui->splitter->setStretchFactor(0, 3);
    m_ui->splitter->setStretchFactor(1, 2);
    m_ui->splitter->setSizes({560, 280});
    m_ui->txtCourriel->setText(email);

    setResults(candidates, failures);
}

TitleChooser::~TitleChooser() = default;

void TitleChooser::setResults(const QList<titles::TitleCandidate> &candidates, const QStringList &failures)
{
    m_candidates = candidates;
    m_failures = failures;
    showCandidates();
}

void TitleChooser::showCandidates()
{
    m_ui->lstCandidats->clear();
    for (const titles::TitleCandidate &candidate : std::as_const(m_candidates))
    {
        auto *item = new QTreeWidgetItem(m_ui->lstCandidats, QStringList{candidate.label(), candidate.sourceText()});
        item->setToolTip(0, candidate.label());
    }
    QStringList lines = m_failures;
    if (m_candidates.isEmpty())
        lines.prepend(NothingFound);
    m_ui->lblEchecs->setText(lines.join(QLatin1Char('\n')));
    m_ui->lblEchecs->setVisible(!lines.isEmpty());
    m_apply->setEnabled(!m_candidates.isEmpty());
    if (!m_candidates.isEmpty())
        m_ui->lstCandidats->setCurrentItem(m_ui->lstCandidats->topLevelItem(0));
    showPreview();
    m_ui->lstCandidats->setFocus();
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
    m_candidates.removeAt(index);
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
}
