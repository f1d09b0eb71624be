#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class QLocalServer;
class QLocalSocket;

namespace vessa {

// Keeps one running program per user. The first program listens on a local
// socket in the user's runtime folder; a later start hands the files it was
// asked to open to it (forward) and ends, and the running program opens them
// and comes to the front (pathsReceived).
//
// The message is one line: a JSON array of absolute paths, answered with the
// line "ok" once taken.
//
// Threads: main thread only. forward() blocks for at most its timeout; it is
// meant to run before the program's windows exist.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultTimeout{2000};
    // A message longer than this is dropped.
    static constexpr qint64 maximumMessageSize = 1024 * 1024;

    // <runtime folder>/vessa-instance (the runtime folder is XDG_RUNTIME_DIR).
    static QString defaultServerName();

    // Hands `paths` to the program listening at `serverName`. True when it
    // took them; false when none listens (or it did not answer in time).
    static bool forward(const QString& serverName, const QStringList& paths,
                        std::chrono::milliseconds timeout = defaultTimeout);

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Starts listening, replacing a socket file a program that ended without
    // cleaning up left behind. False (and logged) when it cannot; the
    // program then runs on its own.
    bool listen();
    bool isListening() const;
    const QString& serverName() const { return m_serverName; }

signals:
    // Another start asked to open these files (possibly none: it only wants
    // the program in front).
    void pathsReceived(const QStringList& paths);

private:
    void acceptConnections();
    void readMessage(QLocalSocket* socket);

    QString m_serverName;
    QLocalServer* m_server;
};

} // namespace vessa
