#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
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
        bool held = false;   // answer only when the test calls release(): a late server
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
    // Sends the held replies of the requests received so far.
    void release();
    int heldCount() const { return static_cast<int>(m_held.size()); }

    static Reply text(const QByteArray &body, int status = 200) { return Reply{status, body, {}, false, false}; }
    static Reply late(const QByteArray &body) { return Reply{200, body, {}, false, true}; }

private:
    void serve(QTcpSocket *socket);
    static void answer(QTcpSocket *socket, const Reply &reply);
    QTcpServer m_server;
    QList<std::pair<QByteArray, QList<Reply>>> m_routes;
    QList<Request> m_requests;
    QList<std::pair<QPointer<QTcpSocket>, Reply>> m_held;
};
