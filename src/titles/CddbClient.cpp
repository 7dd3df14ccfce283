#include "CddbClient.h"

#include "DiscIds.h"
#include "ServiceTexts.h"

#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>

#include <algorithm>

namespace titles {

namespace {

// A server that lists dozens of close matches would keep the user waiting for records
// nobody will read.
constexpr qsizetype MostReads = 8;

QString encodePart(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString unescape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (next == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        else
            out += c, out += next;
    }
    return out;
}

const QString Slash = QStringLiteral(" / ");

// "a / b" split at its first separator; without one, both halves are the whole text.
std::pair<QString, QString> splitPair(const QString &text, const QString &separator = Slash)
{
    const qsizetype at = text.indexOf(separator);
    if (at < 0)
        return {text, text};
    return {text.left(at), text.mid(at + separator.size())};
}

// The disc artist that the CDDB world writes on a compilation.
bool isVarious(const QString &artist)
{
    const QString a = artist.trimmed();
    for (const char *name : {"Various", "Various Artists", "Divers", "Compilation"})
        if (a.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// How a compilation's track titles give their artists. " / " is the CDDB rule, and a
// track without it is by nobody in particular; many records write "Artist - Title" or
// "Artist: Title" instead, which counts only when every track is written so, since a
// dash or a colon is common in a title of its own.
QString trackArtistSeparator(const QStringList &titles)
{
    const auto everyTitleHolds = [&titles](const QString &separator) {
        return std::all_of(titles.cbegin(), titles.cend(),
                           [&separator](const QString &title) { return title.contains(separator); });
    };
    for (const QString &separator : {QStringLiteral(" - "), QStringLiteral(": ")})
        if (!everyTitleHolds(Slash) && everyTitleHolds(separator))
            return separator;
    return Slash;
}

} // namespace

CddbClient::CddbClient(QNetworkAccessManager *network, QObject *parent) : QObject(parent), m_network(network)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort();
    });
}

QUrl CddbClient::serverUrl(const QString &server, const QString &cgi)
{
    QString text = server.trimmed();
    if (text.isEmpty())
        return {};
    if (!text.contains(QStringLiteral("://")))
        text = QStringLiteral("http://") + text;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return {};
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QString script = cgi.trimmed();
    if (!script.isEmpty() && !script.startsWith(QLatin1Char('/')))
        script.prepend(QLatin1Char('/'));
    url.setPath(path + script);
    return url;
}

QString CddbClient::hello(const QString &email)
{
    const QString address = email.trimmed();
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at == address.size() - 1 || address.indexOf(QLatin1Char('@'), at + 1) >= 0)
        return {};
    return encodePart(address.left(at)) + QLatin1Char('+') + encodePart(address.mid(at + 1))
           + QStringLiteral("+Sonalbury-CD-MP3+") + encodePart(ServiceTexts::version());
}

void CddbClient::lookUp(const DiscToc &toc, const QUrl &server, const QString &hello)
{
    cancel();
    m_server = server;
    m_hello = hello;
    m_matches.clear();
    m_candidates.clear();
    m_readFailure.clear();
    m_querying = true;
    send(QStringLiteral("cddb+query+") + cddbQueryArguments(toc));
}

void CddbClient::cancel()
{
    m_deadline.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void CddbClient::send(const QString &command)
{
    QUrl url = m_server;
    url.setQuery(QStringLiteral("cmd=%1&hello=%2&proto=6").arg(command, m_hello), QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, ServiceTexts::userAgent());
    ServiceTexts::prepare(request);
    m_timedOut = false;
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReply(reply); });
    ServiceTexts::watch(reply);
    m_deadline.start(m_timeout);
}

void CddbClient::onReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    m_deadline.stop();
    if (m_timedOut)
        return finish(ServiceTexts::noAnswer());
    if (ServiceTexts::wasTooLarge(*reply))
        return finish(ServiceTexts::tooLarge());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200)
        return finish(ServiceTexts::networkFailure(*reply));

    QStringList lines = QString::fromUtf8(reply->readAll()).split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    const QString statusLine = lines.isEmpty() ? QString() : lines.takeFirst();
    bool ok = false;
    const int code = statusLine.left(3).toInt(&ok);
    if (!ok || (statusLine.size() > 3 && statusLine[3] != QLatin1Char(' ')))
        return finish(ServiceTexts::unreadable());
    // A multi-line answer ends at a line holding a single '.'.
    const qsizetype end = lines.indexOf(QStringLiteral("."));
    if (end >= 0)
        lines = lines.mid(0, end);
    if (m_querying)
        onQuery(code, statusLine, lines);
    else
        onRead(code, lines);
}

void CddbClient::onQuery(int code, const QString &statusLine, const QStringList &lines)
{
    m_querying = false;
    const auto match = [](const QString &line, bool inexact) -> std::optional<Match> {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2)
            return std::nullopt;
        return Match{words[0], words[1], inexact};
    };
    if (code == 202)
        return finish({});
    if (code == 200) {
        // One exact match, named on the status line itself: "200 categ discid dtitle".
        const std::optional<Match> found = match(statusLine.mid(4), false);
        if (!found)
            return finish(ServiceTexts::unreadable());
        m_matches << *found;
        return readNext();
    }
    if (code != 210 && code != 211)
        return finish(QStringLiteral("le serveur refuse la demande (code %1).").arg(code));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const std::optional<Match> found = match(line, code == 211);
        if (!found)
            return finish(ServiceTexts::unreadable());
        if (m_matches.size() < MostReads)
            m_matches << *found;
    }
    readNext();
}

void CddbClient::onRead(int code, const QStringList &lines)
{
    if (code != 210) {
        m_readFailure = QStringLiteral("le serveur refuse la demande (code %1).").arg(code);
    } else if (std::optional<TitleCandidate> candidate = parseRecord(lines.join(QLatin1Char('\n')))) {
        candidate->inexact = m_current.inexact;
        m_candidates << *candidate;
    } else {
        m_readFailure = ServiceTexts::unreadable();
    }
    readNext();
}

void CddbClient::readNext()
{
    if (m_matches.isEmpty())
        return finish(m_candidates.isEmpty() ? m_readFailure : QString());
    m_current = m_matches.takeFirst();
    send(QStringLiteral("cddb+read+%1+%2").arg(encodePart(m_current.category), encodePart(m_current.discId)));
}

void CddbClient::finish(const QString &failure)
{
    m_querying = false;
    m_matches.clear();
    emit finished(failure.isEmpty() ? m_candidates : QList<TitleCandidate>{}, failure);
}

std::optional<TitleCandidate> CddbClient::parseRecord(const QString &record)
{
    // Keys may repeat, each line carrying the next piece of the value: join them as they
    // are, then decode the escapes (one may straddle two lines).
    QMap<QString, QString> values;
    QMap<int, QString> titles;
    static const QRegularExpression trackKey(QStringLiteral("^TTITLE(\\d{1,2})$"));
    for (const QString &rawLine : record.split(QLatin1Char('\n'))) {
        const QString line = rawLine.endsWith(QLatin1Char('\r')) ? rawLine.chopped(1) : rawLine;
        if (line.startsWith(QLatin1Char('#')) || line.trimmed().isEmpty())
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1);
        const QRegularExpressionMatch m = trackKey.match(key);
        if (m.hasMatch())
            titles[m.captured(1).toInt()] += value;
        else
            values[key] += value;
    }
    if (!values.contains(QStringLiteral("DTITLE")) || titles.isEmpty())
        return std::nullopt;
    int expected = 0;
    for (auto it = titles.cbegin(); it != titles.cend(); ++it, ++expected)
        if (it.key() != expected)
            return std::nullopt;

    TitleCandidate candidate;
    candidate.source = TitleCandidate::Source::Cddb;
    const auto [artist, album] = splitPair(unescape(values.value(QStringLiteral("DTITLE"))));
    candidate.artist = artist;
    candidate.album = album;
    candidate.year = unescape(values.value(QStringLiteral("DYEAR"))).trimmed();
    QStringList trackTitles;
    for (const QString &raw : titles)
        trackTitles << unescape(raw);
    const bool various = isVarious(artist);
    const QString separator = trackArtistSeparator(trackTitles);
    for (const QString &title : trackTitles) {
        if (various && title.contains(separator)) {
            const auto [trackArtist, trackTitle] = splitPair(title, separator);
            candidate.tracks << TrackTitle{trackTitle, trackArtist};
        } else {
            candidate.tracks << TrackTitle{title, QString()};
        }
    }
    return candidate;
}

} // namespace titles
