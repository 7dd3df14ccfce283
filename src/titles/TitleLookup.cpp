#include "TitleLookup.h"

#include "CddbClient.h"
#include "CdText.h"
#include "DiscIds.h"
#include "MusicBrainzClient.h"
#include "RememberedTitles.h"
#include "ServiceTexts.h"

#include <QNetworkAccessManager>
#include <QTimer>

#include <algorithm>

namespace titles {

namespace {

const QString RememberedName = ServiceTexts::rememberedSource();
const QString CdTextName = ServiceTexts::cdTextSource();
const QString MusicBrainzName = ServiceTexts::musicBrainzSource();
const QString CddbName = ServiceTexts::cddbSource();

// Where a source's answers and failures stand in the lists.
int rankOf(const QString &sourceName)
{
    return static_cast<int>(QStringList{RememberedName, CdTextName, MusicBrainzName, CddbName}.indexOf(sourceName));
}

} // namespace

TitleLookup::TitleLookup(QObject *parent)
    : QObject(parent),
      m_network(new QNetworkAccessManager(this)),
      m_musicBrainz(new MusicBrainzClient(m_network, this)),
      m_cddb(new CddbClient(m_network, this))
{
    connect(m_musicBrainz, &MusicBrainzClient::finished, this,
            [this](const QList<TitleCandidate> &found, const QString &failure) {
                take(MusicBrainzName, found, failure);
                answered(MusicBrainzName);
            });
    connect(m_cddb, &CddbClient::finished, this, [this](const QList<TitleCandidate> &found, const QString &failure) {
        take(CddbName, found, failure);
        answered(CddbName);
    });
}

TitleLookup::~TitleLookup() = default;

void TitleLookup::setMusicBrainzUrl(const QUrl &url)
{
    m_musicBrainz->setBaseUrl(url);
}

void TitleLookup::setTimeout(std::chrono::milliseconds timeout)
{
    m_musicBrainz->setTimeout(timeout);
    m_cddb->setTimeout(timeout);
}

void TitleLookup::start(const TitleLookupRequest &request)
{
    cancel();
    m_request = request;
    m_candidates.clear();
    m_failures.clear();
    m_pending.clear();
    m_running = true;
    m_discId = titles::musicBrainzDiscId(request.toc);
    const int generation = ++m_generation;
    // The offline sources run from the event loop too, so start() returns before any
    // signal and a caller can connect after it.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_generation || !m_running)
            return;
        if (!m_discId.isEmpty()) {
            if (std::optional<TitleCandidate> remembered = RememberedTitles(m_request.rememberedFolder).load(m_discId))
                take(RememberedName, {*remembered}, {});
        }
        if (!m_request.sourcePath.isEmpty()) {
            if (std::optional<TitleCandidate> text = readCdText(m_request.sourcePath))
                take(CdTextName, {*text}, {});
        }
        if (m_request.offlineAnswersSuffice && !m_candidates.isEmpty())
            return end();
        m_pending = QStringList{MusicBrainzName, CddbName};
        emit changed();
        // Either may answer (or fail) at once; the other is still asked.
        askMusicBrainz();
        if (m_running)
            askCddb();
    });
}

void TitleLookup::cancel()
{
    ++m_generation;
    m_running = false;
    m_musicBrainz->cancel();
    m_cddb->cancel();
}

void TitleLookup::askMusicBrainz()
{
    if (m_discId.isEmpty()) {
        fail(MusicBrainzName, ServiceTexts::tocUnusable());
        return answered(MusicBrainzName);
    }
    m_musicBrainz->lookUp(m_discId, musicBrainzToc(m_request.toc));
}

void TitleLookup::askCddb()
{
    const QUrl server = CddbClient::serverUrl(m_request.cddbServer, m_request.cddbCgi);
    const QString hello = CddbClient::hello(m_request.email);
    QString why;
    if (!server.isValid())
        why = ServiceTexts::serverUnusable(m_request.cddbServer);
    else if (hello.isEmpty())
        why = ServiceTexts::emailNeeded(m_request.emailWhere);
    else if (!m_request.toc.isValid())
        why = ServiceTexts::tocUnusable();
    if (!why.isEmpty()) {
        fail(CddbName, why);
        return answered(CddbName);
    }
    m_cddb->lookUp(m_request.toc, server, hello);
}

void TitleLookup::fail(const QString &sourceName, const QString &text)
{
    m_failures << std::pair{rankOf(sourceName), ServiceTexts::failure(sourceName, text)};
    std::stable_sort(m_failures.begin(), m_failures.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
}

QStringList TitleLookup::failures() const
{
    QStringList texts;
    for (const auto &[rank, text] : m_failures)
        texts << text;
    return texts;
}

QStringList TitleLookup::statusLines() const
{
    QList<std::pair<int, QString>> lines = m_failures;
    for (const QString &sourceName : m_pending)
        lines << std::pair{rankOf(sourceName), ServiceTexts::failure(sourceName, ServiceTexts::searching())};
    std::stable_sort(lines.begin(), lines.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList texts;
    for (const auto &[rank, text] : lines)
        texts << text;
    return texts;
}

void TitleLookup::answered(const QString &sourceName)
{
    m_pending.removeAll(sourceName);
    emit changed();
    if (m_pending.isEmpty())
        end();
}

void TitleLookup::take(const QString &sourceName, const QList<TitleCandidate> &found, const QString &failure)
{
    if (!failure.isEmpty())
        return fail(sourceName, failure);
    const int listed = m_request.toc.listedTrackCount();
    int kept = 0;
    for (const TitleCandidate &candidate : found) {
        if (fitsDisc(candidate, listed)) {
            m_candidates << candidate;
            ++kept;
        } else if (candidate.source == TitleCandidate::Source::Cddb && m_request.toc.isEnhanced()
                   && candidate.tracks.size() == m_request.toc.trackCount()) {
            // CDDB counts the data track of an enhanced CD; the program does not list it.
            TitleCandidate audio = candidate;
            audio.tracks.removeLast();
            m_candidates << audio;
            ++kept;
        }
    }
    std::stable_sort(m_candidates.begin(), m_candidates.end(), [](const TitleCandidate &a, const TitleCandidate &b) {
        return std::pair{a.source, a.inexact} < std::pair{b.source, b.inexact};
    });
    if (found.isEmpty() && sourceName != RememberedName && sourceName != CdTextName)
        fail(sourceName, ServiceTexts::notFound());
    else if (kept == 0 && !found.isEmpty())
        fail(sourceName, ServiceTexts::noAnswerFits(listed));
}

void TitleLookup::end()
{
    if (!m_running)
        return;
    m_running = false;
    emit finished();
}

std::optional<TitleCandidate> TitleLookup::headlessPick(const QList<TitleCandidate> &candidates)
{
    std::optional<TitleCandidate> pick;
    for (const TitleCandidate::Source source : {TitleCandidate::Source::Remembered, TitleCandidate::Source::CdText,
                                                TitleCandidate::Source::MusicBrainz, TitleCandidate::Source::Cddb}) {
        for (const TitleCandidate &candidate : candidates) {
            if (candidate.source == source && !candidate.inexact) {
                pick = candidate;
                break;
            }
        }
        if (pick)
            break;
    }
    if (!pick || pick->source != TitleCandidate::Source::Remembered)
        return pick;
    // A track remembered without a title (it failed, or kept its default name) takes the
    // next answer's: a title corrected since then names it at last.
    QList<TitleCandidate> others;
    for (const TitleCandidate &candidate : candidates)
        if (candidate.source != TitleCandidate::Source::Remembered)
            others << candidate;
    const std::optional<TitleCandidate> next = headlessPick(others);
    for (qsizetype i = 0; next && i < pick->tracks.size() && i < next->tracks.size(); ++i) {
        TrackTitle &track = pick->tracks[i];
        const TrackTitle &other = next->tracks[i];
        if (!track.title.trimmed().isEmpty() || other.title.trimmed().isEmpty())
            continue;
        track.title = other.title;
        if (track.artist.trimmed().isEmpty())
            track.artist = !other.artist.trimmed().isEmpty() ? other.artist
                           : next->artist != pick->artist    ? next->artist
                                                             : QString();
    }
    return pick;
}

} // namespace titles
