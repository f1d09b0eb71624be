#include "Vessa/App/System/SingleInstance.h"

#include "Vessa/App/AppLogging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace vessa {

namespace {

const QByteArray acknowledgement = QByteArrayLiteral("ok\n");

int msec(std::chrono::milliseconds timeout)
{
    return static_cast<int>(timeout.count());
}

} // namespace

QString SingleInstance::defaultServerName()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return folder + QStringLiteral("/vessa-instance");
}

bool SingleInstance::forward(const QString& serverName, const QStringList& paths, std::chrono::milliseconds timeout)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(msec(timeout)))
        return false;
    QByteArray message = QJsonDocument(QJsonArray::fromStringList(paths)).toJson(QJsonDocument::Compact);
    message.append('\n');
    socket.write(message);
    if (!socket.waitForBytesWritten(msec(timeout)))
        return false;
    QByteArray answer;
    while (!answer.endsWith('\n')) {
        if (!socket.waitForReadyRead(msec(timeout)))
            return false;
        answer += socket.readAll();
    }
    return answer == acknowledgement;
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName)), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::listen()
{
    // A program answering on the socket keeps it. A socket file nobody
    // answers on is left over from a program that ended without cleaning up.
    QLocalSocket probe;
    probe.connectToServer(m_serverName);
    if (probe.waitForConnected(msec(defaultTimeout))) {
        logWarning(lcApp(), QStringLiteral("Another start of the program already listens at ") + m_serverName);
        return false;
    }
    QLocalServer::removeServer(m_serverName);
    if (m_server->listen(m_serverName))
        return true;
    logWarning(lcApp(), QStringLiteral("Cannot listen for other starts of the program at ") + m_serverName
                            + QStringLiteral(": ") + m_server->errorString());
    return false;
}

bool SingleInstance::isListening() const
{
    return m_server->isListening();
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        readMessage(socket);
    }
}

void SingleInstance::readMessage(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maximumMessageSize)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(maximumMessageSize);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        logWarning(lcApp(), QStringLiteral("Ignoring a malformed message from another start of the program"));
        socket->abort();
        return;
    }
    QStringList paths;
    for (const QJsonValue& value : document.array()) {
        if (value.isString())
            paths.append(value.toString());
    }
    socket->write(acknowledgement);
    socket->disconnectFromServer();
    emit pathsReceived(paths);
}

} // namespace vessa
