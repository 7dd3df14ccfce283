#include "TitleLookup.h"

#include "CddbClient.h"
#include "CdText.h"
#include "DiscIds.h"
#include "MusicBrainzClient.h"
#include "RememberedTitles.h"
#include "ServiceTexts.h"

#include <QNetworkAccessManager>
#include <QTimer>

namespace titles {

TitleLookup::TitleLookup(QObject *parent)
    : QObject(parent),
      m_network(new QNetworkAccessManager(this)),
      m_musicBrainz(new MusicBrainzClient(m_network, this)),
      m_cddb(new CddbClient(m_network, this))
{
    connect(m_musicBrainz, &MusicBrainzClient::finished, this,
            [this](const QList<TitleCandidate> &found, const QString &failure) {
                take(QStringLiteral("MusicBrainz"), found, failure);
                askCddb();
            });
    connect(m_cddb, &CddbClient::finished, this, [this](const QList<TitleCandidate> &found, const QString &failure) {
        take(QStringLiteral("CDDB"), found, failure);
        end();
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
                take(QStringLiteral("Titres enregistrés"), {*remembered}, {});
        }
        if (!m_request.sourcePath.isEmpty()) {
            if (std::optional<TitleCandidate> text = readCdText(m_request.sourcePath))
                take(QStringLiteral("CD-Text"), {*text}, {});
        }
        askMusicBrainz();
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
        m_failures << QStringLiteral("MusicBrainz : la table des matières du disque est inutilisable.");
        return askCddb();
    }
    m_musicBrainz->lookUp(m_discId);
}

void TitleLookup::askCddb()
{
    const QUrl server = CddbClient::serverUrl(m_request.cddbServer, m_request.cddbCgi);
    const QString hello = CddbClient::hello(m_request.email);
    if (!server.isValid()) {
        m_failures << QStringLiteral("CDDB : l'adresse du serveur (« %1 ») est inutilisable.").arg(m_request.cddbServer);
        return end();
    }
    if (hello.isEmpty()) {
        m_failures << QStringLiteral("CDDB : non consulté, le serveur demande une adresse électronique (%1).")
                          .arg(m_request.emailWhere);
        return end();
    }
    if (!m_request.toc.isValid()) {
        m_failures << QStringLiteral("CDDB : la table des matières du disque est inutilisable.");
        return end();
    }
    m_cddb->lookUp(m_request.toc, server, hello);
}

void TitleLookup::take(const QString &sourceName, const QList<TitleCandidate> &found, const QString &failure)
{
    if (!failure.isEmpty()) {
        m_failures << sourceName + QStringLiteral(" : ") + failure;
        return;
    }
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
    if (found.isEmpty() && sourceName != QLatin1String("Titres enregistrés") && sourceName != QLatin1String("CD-Text"))
        m_failures << sourceName + QStringLiteral(" : ") + ServiceTexts::notFound();
    else if (kept == 0 && !found.isEmpty())
        m_failures << QStringLiteral("%1 : aucune réponse ne compte %2 pistes comme ce disque.").arg(sourceName).arg(listed);
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
