#include "LocalHttpServer.h"

#include <QTcpSocket>
#include <utility>

LocalHttpServer::LocalHttpServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("the test HTTP server cannot listen on 127.0.0.1");
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

QUrl LocalHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void LocalHttpServer::on(const QByteArray &match, const QList<Reply> &replies)
{
    m_routes.append({match, replies});
}

void LocalHttpServer::serve(QTcpSocket *socket)
{
    // Each answer closes its connection. A request that a client wrote on it meanwhile is
    // not served, so it is not counted: the client sends it again on a new connection.
    if (socket->property("answered").toBool())
        return;
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    const QByteArray head = buffer.left(end);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.size() >= 2 ? requestLine[1] : QByteArray();
    m_requests.append({target, head});

    Reply reply{404, "not found", {}, false, false};
    for (auto &[match, replies] : m_routes) {
        if (!target.contains(match) || replies.isEmpty())
            continue;
        reply = replies.size() > 1 ? replies.takeFirst() : replies.first();
        break;
    }
    if (reply.silent)
        return;
    if (reply.held) {
        m_held.append({socket, reply});
        return;
    }
    answer(socket, reply);
}

void LocalHttpServer::release()
{
    // A client that gave up meanwhile has closed its socket: nothing to answer.
    for (const auto &[socket, reply] : std::exchange(m_held, {}))
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            answer(socket, reply);
}

void LocalHttpServer::answer(QTcpSocket *socket, const Reply &reply)
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) + " Canned\r\n";
    response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    response += "Connection: close\r\n";
    for (const auto &[name, value] : reply.headers)
        response += name + ": " + value + "\r\n";
    response += "\r\n" + reply.body;
    socket->setProperty("answered", true);
    socket->write(response);
    socket->disconnectFromHost();
}
