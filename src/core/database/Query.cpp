#include "core/database/Query.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/SqlEngine.h"

TQuery::TQuery(TDatabaseConnection& connection, const QString& sql)
    : m_connection(&connection)
{
    sqlite3* db = connection.Handle();
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, &tail) != SQLITE_OK) {
        const QString message = connection.ErrorText(QStringLiteral("Can not prepare the statement"));
        sqlite3_finalize(m_stmt);
        throw QbError(message);
    }
    if (!m_stmt)
        throw QbError(QStringLiteral("The statement is empty."));
    if (tail && QByteArray(tail).trimmed().size() > 0 && QByteArray(tail).trimmed() != ";") {
        sqlite3_finalize(m_stmt);
        throw QbError(QStringLiteral("A query takes one statement only."));
    }
    connection.Register(this);
}

TQuery::~TQuery()
{
    if (m_connection)
        m_connection->Unregister(this);
    sqlite3_finalize(m_stmt);
}

void TQuery::Detach()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_connection = nullptr;
}

sqlite3_stmt* TQuery::Stmt() const
{
    if (!m_stmt)
        throw QbError(QStringLiteral("The query is closed: its database connection has been closed."));
    return m_stmt;
}

int TQuery::ParameterIndex(const QString& name) const
{
    const int index = sqlite3_bind_parameter_index(Stmt(), name.toUtf8().constData());
    if (index == 0)
        throw QbError(QStringLiteral("The statement has no parameter \"%1\".").arg(name));
    return index;
}

void TQuery::Bind(const QString& name, const QVariant& value)
{
    sqlite3_stmt* stmt = Stmt();
    const int index = ParameterIndex(name);
    if (m_done || sqlite3_stmt_busy(stmt))
        Reset();
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else {
        switch (value.typeId()) {
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                rc = sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                                         SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::Long:
                rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(stmt, index, value.toDouble());
                break;
            default: {
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text64(stmt, index, text.constData(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            }
        }
    }
    if (rc != SQLITE_OK)
        throw QbError(m_connection->ErrorText(QStringLiteral("Can not bind \"%1\"").arg(name)));
}

void TQuery::BindZeroBlob(const QString& name, qint64 size)
{
    sqlite3_stmt* stmt = Stmt();
    const int index = ParameterIndex(name);
    if (m_done || sqlite3_stmt_busy(stmt))
        Reset();
    if (size < 0 || sqlite3_bind_zeroblob64(stmt, index, sqlite3_uint64(size)) != SQLITE_OK)
        throw QbError(m_connection->ErrorText(QStringLiteral("Can not make room for %1 bytes").arg(size)));
}

bool TQuery::Next()
{
    sqlite3_stmt* stmt = Stmt();
    if (m_done)
        return false;
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    m_done = true;
    if (rc != SQLITE_DONE) {
        const QString message = m_connection->ErrorText(QStringLiteral("Database error"));
        sqlite3_reset(stmt);
        throw QbError(message);
    }
    m_changes = sqlite3_changes(m_connection->Handle());
    return false;
}

void TQuery::Exec()
{
    if (m_done || sqlite3_stmt_busy(Stmt()))
        Reset();
    while (Next()) { }
}

void TQuery::Reset()
{
    sqlite3_reset(Stmt());
    m_done = false;
}

int TQuery::ColumnCount() const
{
    return sqlite3_column_count(Stmt());
}

QString TQuery::ColumnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(Stmt(), column));
}

int TQuery::ColumnIndex(const QString& name) const
{
    const int count = ColumnCount();
    for (int i = 0; i < count; ++i)
        if (ColumnName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    throw QbError(QStringLiteral("The query has no field \"%1\".").arg(name));
}

QVariant TQuery::Value(int column) const
{
    sqlite3_stmt* stmt = Stmt();
    if (column < 0 || column >= sqlite3_column_count(stmt))
        throw QbError(QStringLiteral("The query has no field number %1.").arg(column));
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(stmt, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(stmt, column));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)));
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            return QVariant(QByteArray(data, sqlite3_column_bytes(stmt, column)));
        }
        default:
            return QVariant();
    }
}

QVariant TQuery::Value(const QString& name) const
{
    return Value(ColumnIndex(name));
}
