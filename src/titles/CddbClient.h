#pragma once

#include "DiscToc.h"
#include "TitleCandidate.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace titles {

// Looks a disc up on a CDDB server over HTTP ("cddb query", then "cddb read" of each
// match), protocol level 6 (UTF-8), on the event loop.
class CddbClient : public QObject
{
    Q_OBJECT

public:
    explicit CddbClient(QNetworkAccessManager *network, QObject *parent = nullptr);

    // Serveur + Cgi: Serveur is a host, host:port or a URL with its scheme; a bare host
    // is reached over HTTP. Invalid when Serveur is empty.
    static QUrl serverUrl(const QString &server, const QString &cgi);
    // "user+host+Sonalbury-CD-MP3+<version>" from the address split at its '@' (each
    // part percent-encoded); empty when the address has no user or no host.
    static QString hello(const QString &email);
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // Ends with finished(): candidates (close matches marked inexact), or a failure
    // text (empty when the server answered, even "no match").
    void lookUp(const DiscToc &toc, const QUrl &server, const QString &hello);
    void cancel();

    // An xmcd record (the lines between the reply's status line and its final "."). Empty
    // when it names no disc or its track titles are not numbered 0..n-1.
    static std::optional<TitleCandidate> parseRecord(const QString &record);

signals:
    void finished(const QList<titles::TitleCandidate> &candidates, const QString &failure);

private:
    struct Match
    {
        QString category;
        QString discId;
        bool inexact = false;
    };
    void send(const QString &command);
    void onReply(QNetworkReply *reply);
    void onQuery(int code, const QString &statusLine, const QStringList &lines);
    void onRead(int code, const QStringList &lines);
    void readNext();
    void finish(const QString &failure);

    QNetworkAccessManager *m_network;
    std::chrono::milliseconds m_timeout{15000};
    QUrl m_server;
    QString m_hello;
    bool m_querying = false;
    QList<Match> m_matches;
    Match m_current;
    QList<TitleCandidate> m_candidates;
    QString m_readFailure;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    bool m_timedOut = false;
};

} // namespace titles
