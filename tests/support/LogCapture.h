#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QtMessageHandler>

namespace vessa::test {

// Records every log message while alive (from any thread), so tests can check
// the program's exact log lines. Messages still reach the previous handler.
class LogCapture {
public:
    struct Entry {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QList<Entry> entries() const;
    // Messages of one category, in order.
    QStringList messages(const QString& category) const;
    bool contains(const QString& category, const QString& message) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable QMutex m_mutex;
    QList<Entry> m_entries;
    QtMessageHandler m_previous = nullptr;
};

} // namespace vessa::test
