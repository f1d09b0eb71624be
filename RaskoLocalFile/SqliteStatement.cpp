#include "RaskoLocalFile/SqliteStatement.h"

#include "RaskoLocalFile/MediaDatabaseError.h"
#include "VessaCore/FileNameBytes.h"

#include <QCoreApplication>

namespace vessa {

void SqliteConnectionCloser::operator()(sqlite3* db) const noexcept
{
    sqlite3_close_v2(db);
}

QString sqliteMessage(sqlite3* db)
{
    const char* message = db ? sqlite3_errmsg(db) : nullptr;
    return message ? QString::fromUtf8(message) : unknownSqliteReason();
}

QString unknownSqliteReason()
{
    return QCoreApplication::translate("MediaDatabaseError", "unknown");
}

SqliteFirstValue firstValue(sqlite3* db, const char* sql, const std::function<bool()>& stopped)
{
    sqlite3_stmt* statement = nullptr;
    SqliteFirstValue value;
    value.result = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (value.result == SQLITE_OK && stopped && stopped())
        value.result = SQLITE_INTERRUPT;
    else if (value.result == SQLITE_OK)
        value.result = sqlite3_step(statement);
    if (value.result == SQLITE_ROW)
        value.text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    else
        value.text = sqliteMessage(db);
    sqlite3_finalize(statement);
    return value;
}

SqliteStatement::SqliteStatement(sqlite3* db, const QByteArray& sql) : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &m_statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        throw MediaDatabaseError::queryFailed(sqliteMessage(db));
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::noteBind(int result)
{
    if (result != SQLITE_OK && m_bindResult == SQLITE_OK) {
        m_bindResult = result;
        m_bindMessage = sqliteMessage(m_db);
    }
}

void SqliteStatement::bind(int index, qint64 value)
{
    noteBind(sqlite3_bind_int64(m_statement, index, value));
}

void SqliteStatement::bind(int index, double value)
{
    noteBind(sqlite3_bind_double(m_statement, index, value));
}

void SqliteStatement::bind(int index, const QString& text)
{
    bindUtf8(index, text.toUtf8());
}

void SqliteStatement::bindUtf8(int index, const QByteArray& text)
{
    noteBind(sqlite3_bind_text64(m_statement, index, text.constData(), static_cast<sqlite3_uint64>(text.size()),
                                 SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SqliteStatement::bindPath(int index, const QString& path)
{
    bindUtf8(index, pathToBytes(path));
}

void SqliteStatement::bind(int index, std::optional<qint64> value)
{
    if (value)
        bind(index, *value);
    else
        noteBind(sqlite3_bind_null(m_statement, index));
}

int SqliteStatement::step()
{
    if (m_bindResult != SQLITE_OK)
        return m_bindResult;
    return sqlite3_step(m_statement);
}

void SqliteStatement::forEachRow(const std::function<void(const SqliteStatement&)>& row)
{
    int result;
    while ((result = step()) == SQLITE_ROW)
        row(*this);
    if (result != SQLITE_DONE)
        throw MediaDatabaseError::queryFailed(errorMessage());
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_bindResult = SQLITE_OK;
    m_bindMessage.clear();
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 SqliteStatement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::optional<qint64> SqliteStatement::optionalInt64(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return int64(column);
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    const int size = sqlite3_column_bytes(m_statement, column);
    return bytes ? QString::fromUtf8(bytes, size) : QString();
}

QByteArrayView SqliteStatement::bytes(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return bytes ? QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

QString SqliteStatement::path(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    const int size = sqlite3_column_bytes(m_statement, column);
    return bytes ? pathFromBytes(QByteArrayView(bytes, size)) : QString();
}

QString SqliteStatement::errorMessage() const
{
    return m_bindResult != SQLITE_OK ? m_bindMessage : sqliteMessage(m_db);
}

} // namespace vessa
