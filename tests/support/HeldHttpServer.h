#pragma once

// A web server on the loopback interface that accepts requests and never
// answers them until closed: an update check against it runs until then.

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace vessa::test {

class HeldHttpServer : public QObject {
public:
    HeldHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                m_sockets.append(socket);
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort())); }
    bool hasRequest() const { return !m_sockets.isEmpty(); }

    // Stops serving and drops every held request without an answer (a
    // request sent again finds nobody listening).
    void closeAll()
    {
        m_server.close();
        for (QTcpSocket* socket : std::exchange(m_sockets, {}))
            socket->abort();
    }

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_sockets;
};

} // namespace vessa::test
