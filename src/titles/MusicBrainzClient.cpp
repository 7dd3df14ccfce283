#include "MusicBrainzClient.h"

#include "ServiceTexts.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

#include <algorithm>

namespace titles {

namespace {

constexpr qint64 MinimumGapMs = 1000;
constexpr qint64 LongestRetryWaitMs = 10000;

// When the last request of the process went out: the rate limit is the service's, not
// one client's.
QElapsedTimer &lastRequest()
{
    static QElapsedTimer timer;
    return timer;
}

qint64 waitBeforeNext()
{
    if (!lastRequest().isValid())
        return 0;
    return std::max<qint64>(0, MinimumGapMs - lastRequest().elapsed());
}

QString credit(const QJsonValue &value)
{
    QString text;
    for (const QJsonValue &part : value.toArray()) {
        const QJsonObject name = part.toObject();
        QString shown = name.value(QStringLiteral("name")).toString();
        if (shown.isEmpty())
            shown = name.value(QStringLiteral("artist")).toObject().value(QStringLiteral("name")).toString();
        text += shown + name.value(QStringLiteral("joinphrase")).toString();
    }
    return text;
}

bool holdsDisc(const QJsonObject &medium, const QString &discId)
{
    for (const QJsonValue &disc : medium.value(QStringLiteral("discs")).toArray())
        if (disc.toObject().value(QStringLiteral("id")).toString() == discId)
            return true;
    return false;
}

int mediumTrackCount(const QJsonObject &medium)
{
    const QJsonValue count = medium.value(QStringLiteral("track-count"));
    return count.isDouble() ? count.toInt() : static_cast<int>(medium.value(QStringLiteral("tracks")).toArray().size());
}

// "first last lead-out offsets..." joined by '+': the track count is last - first + 1.
int trackCountOf(const QString &toc)
{
    const QStringList numbers = toc.split(QLatin1Char('+'));
    return numbers.size() < 2 ? 0 : numbers[1].toInt() - numbers[0].toInt() + 1;
}

QList<TrackTitle> mediumTracks(const QJsonObject &medium)
{
    QList<QJsonObject> tracks;
    for (const QJsonValue &value : medium.value(QStringLiteral("tracks")).toArray())
        tracks << value.toObject();
    std::stable_sort(tracks.begin(), tracks.end(), [](const QJsonObject &a, const QJsonObject &b) {
        return a.value(QStringLiteral("position")).toInt() < b.value(QStringLiteral("position")).toInt();
    });
    QList<TrackTitle> titles;
    for (const QJsonObject &track : tracks) {
        QString title = track.value(QStringLiteral("title")).toString();
        if (title.isEmpty())
            title = track.value(QStringLiteral("recording")).toObject().value(QStringLiteral("title")).toString();
        QString artist = credit(track.value(QStringLiteral("artist-credit")));
        if (artist.isEmpty())
            artist = credit(track.value(QStringLiteral("recording")).toObject().value(QStringLiteral("artist-credit")));
        titles << TrackTitle{title, artist};
    }
    return titles;
}

bool sameTitles(const TitleCandidate &a, const TitleCandidate &b)
{
    if (a.label() != b.label() || a.tracks.size() != b.tracks.size())
        return false;
    for (qsizetype i = 0; i < a.tracks.size(); ++i)
        if (a.tracks[i].title != b.tracks[i].title || a.tracks[i].artist != b.tracks[i].artist)
            return false;
    return true;
}

} // namespace

MusicBrainzClient::MusicBrainzClient(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network), m_baseUrl(defaultBaseUrl())
{
    m_wait.setSingleShot(true);
    m_deadline.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &MusicBrainzClient::send);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort();
    });
}

QUrl MusicBrainzClient::defaultBaseUrl()
{
    const QString configured = qEnvironmentVariable("SONALBURY_MUSICBRAINZ_URL").trimmed();
    return QUrl(configured.isEmpty() ? QStringLiteral("https://musicbrainz.org") : configured);
}

void MusicBrainzClient::lookUp(const QString &discId, const QString &toc)
{
    cancel();
    m_discId = discId;
    m_toc = toc;
    m_byToc = false;
    m_attempt = 0;
    m_wait.start(static_cast<int>(waitBeforeNext()));
}

void MusicBrainzClient::cancel()
{
    m_wait.stop();
    m_deadline.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void MusicBrainzClient::send()
{
    QUrl url = m_baseUrl;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/ws/2/discid/") + m_discId);
    // A search by table of contents leaves CD stubs out: the stub of this disc ID was
    // already asked for, and a stub of another disc is no match.
    url.setQuery(m_byToc ? QStringLiteral("toc=%1&cdstubs=no&inc=recordings+artist-credits&fmt=json").arg(m_toc)
                         : QStringLiteral("inc=recordings+artist-credits&fmt=json"));

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, ServiceTexts::userAgent());
    ServiceTexts::prepare(request);
    request.setRawHeader("Accept", "application/json");
    ++m_attempt;
    m_timedOut = false;
    lastRequest().start();
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReply(reply); });
    ServiceTexts::watch(reply);
    m_deadline.start(m_timeout);
}

void MusicBrainzClient::onReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    m_deadline.stop();
    lastRequest().start(); // the gap runs from the answer: the server counts what it served

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_timedOut)
        return finish({}, ServiceTexts::noAnswer());
    if (ServiceTexts::wasTooLarge(*reply))
        return finish({}, ServiceTexts::tooLarge());
    if (status == 404 && !m_byToc && !m_toc.isEmpty()) {
        m_byToc = true;
        m_attempt = 0;
        m_wait.start(static_cast<int>(waitBeforeNext()));
        return;
    }
    if (status == 404)
        return finish({}, {});
    if (status == 503) {
        if (m_attempt >= 2)
            return finish({}, ServiceTexts::busy());
        bool ok = false;
        const qint64 seconds = reply->rawHeader("Retry-After").trimmed().toLongLong(&ok);
        // Compared in seconds: any number may come, and in milliseconds a large one overflows.
        if (ok && seconds > LongestRetryWaitMs / 1000)
            return finish({}, ServiceTexts::busy());
        const qint64 waitMs = ok && seconds >= 0 ? seconds * 1000 : MinimumGapMs;
        m_wait.start(static_cast<int>(std::max(waitMs, MinimumGapMs)));
        return;
    }
    if (reply->error() != QNetworkReply::NoError || status != 200)
        return finish({}, ServiceTexts::networkFailure(*reply));
    bool ok = false;
    const QList<TitleCandidate> candidates =
        parse(reply->readAll(), m_discId, &ok, m_byToc ? trackCountOf(m_toc) : 0);
    finish(candidates, ok ? QString() : ServiceTexts::unreadable());
}

void MusicBrainzClient::finish(const QList<TitleCandidate> &candidates, const QString &failure)
{
    emit finished(candidates, failure);
}

QList<TitleCandidate> MusicBrainzClient::parse(const QByteArray &json, const QString &discId, bool *ok,
                                               int closeTrackCount)
{
    *ok = false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject root = document.object();
    QList<TitleCandidate> candidates;
    const auto add = [&](const TitleCandidate &candidate) {
        for (const TitleCandidate &known : candidates)
            if (sameTitles(known, candidate))
                return;
        candidates << candidate;
    };

    if (root.value(QStringLiteral("releases")).isArray()) {
        for (const QJsonValue &value : root.value(QStringLiteral("releases")).toArray()) {
            const QJsonObject release = value.toObject();
            for (const QJsonValue &mediumValue : release.value(QStringLiteral("media")).toArray()) {
                const QJsonObject medium = mediumValue.toObject();
                const bool close = closeTrackCount > 0;
                if (close ? mediumTrackCount(medium) != closeTrackCount : !holdsDisc(medium, discId))
                    continue;
                TitleCandidate candidate;
                candidate.source = TitleCandidate::Source::MusicBrainz;
                candidate.inexact = close;
                candidate.album = release.value(QStringLiteral("title")).toString();
                candidate.artist = credit(release.value(QStringLiteral("artist-credit")));
                candidate.year = release.value(QStringLiteral("date")).toString().left(4);
                candidate.tracks = mediumTracks(medium);
                add(candidate);
            }
        }
        *ok = true;
        return candidates;
    }
    if (root.value(QStringLiteral("tracks")).isArray()) {
        // A CD stub: what a user typed for a disc not yet in the database.
        TitleCandidate candidate;
        candidate.source = TitleCandidate::Source::MusicBrainz;
        candidate.album = root.value(QStringLiteral("title")).toString();
        candidate.artist = root.value(QStringLiteral("artist")).toString();
        for (const QJsonValue &value : root.value(QStringLiteral("tracks")).toArray()) {
            const QJsonObject track = value.toObject();
            candidate.tracks << TrackTitle{track.value(QStringLiteral("title")).toString(),
                                           track.value(QStringLiteral("artist")).toString()};
        }
        add(candidate);
        *ok = true;
        return candidates;
    }
    return {};
}

} // namespace titles
