#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QUrl>
#include <utility>

// A small HTTP/1.1 server on 127.0.0.1 (a free port) for the title services' tests:
// canned replies chosen by a piece of the request target, recorded requests.
class LocalHttpServer : public QObject
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        bool silent = false; // accept the request and never answer (time-outs)
    };
    struct Request
    {
        QByteArray target;  // path and query as sent, percent-encoding kept
        QByteArray head;    // the request line and headers
    };

    LocalHttpServer();
    QUrl url() const; // http://127.0.0.1:<port>
    // Requests whose target contains `match` get these replies in turn, the last one
    // again once they are used up. Other requests get 404.
    void on(const QByteArray &match, const QList<Reply> &replies);
    const QList<Request> &requests() const { return m_requests; }

    static Reply text(const QByteArray &body, int status = 200) { return Reply{status, body, {}, false}; }

private:
    void serve(QTcpSocket *socket);
    QTcpServer m_server;
    QList<std::pair<QByteArray, QList<Reply>>> m_routes;
    QList<Request> m_requests;
};
