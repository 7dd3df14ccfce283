#pragma once

#include "TitleCandidate.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace titles {

// Looks a disc ID up in MusicBrainz (WS/2, JSON) on the event loop. Every client of the
// process keeps to one request a second, as the service asks.
class MusicBrainzClient : public QObject
{
    Q_OBJECT

public:
    explicit MusicBrainzClient(QNetworkAccessManager *network, QObject *parent = nullptr);

    // SONALBURY_MUSICBRAINZ_URL when set, else https://musicbrainz.org.
    static QUrl defaultBaseUrl();
    void setBaseUrl(const QUrl &baseUrl) { m_baseUrl = baseUrl; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // Ends with finished(): the candidates, or a failure text (empty when the service
    // answered, even with nothing). A new lookUp() or cancel() drops the running one.
    // With the disc's table of contents (musicBrainzToc), an unknown disc ID is asked
    // again by its table: the releases with a medium of as many tracks come back as close
    // matches (inexact).
    void lookUp(const QString &discId, const QString &toc = {});
    void cancel();

    // The releases' media that carry discId, or the CD stub; *ok false when the reply is
    // not the JSON the service writes. With closeTrackCount above 0, the reply of a search
    // by table of contents: each release's media of that many tracks, as close matches.
    static QList<TitleCandidate> parse(const QByteArray &json, const QString &discId, bool *ok,
                                       int closeTrackCount = 0);

signals:
    void finished(const QList<titles::TitleCandidate> &candidates, const QString &failure);

private:
    void send();
    void onReply(QNetworkReply *reply);
    void finish(const QList<TitleCandidate> &candidates, const QString &failure);

    QNetworkAccessManager *m_network;
    QUrl m_baseUrl;
    std::chrono::milliseconds m_timeout{15000};
    QString m_discId;
    QString m_toc;            // empty: no search by table of contents
    bool m_byToc = false;     // the running request searches by table of contents
    QPointer<QNetworkReply> m_reply;
    QTimer m_wait;      // the gap before the next request
    QTimer m_deadline;  // the running request's time-out
    bool m_timedOut = false;
    int m_attempt = 0;
};

} // namespace titles
