#include "core/documents/Search.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/Query.h"
#include "core/database/SqlEngine.h"

#include <QVarLengthArray>

namespace {

// Runs once a row, on the engine's UTF-8: ASCII names are upper-cased on the stack, others go
// through QString for Unicode's full upper case. A UTF-16 function would make the engine convert
// every name there and, for LIKE, back again.
void UnicodeUpper(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    QVarLengthArray<char, 256> ascii(size);
    for (int i = 0; i < size; ++i) {
        const char c = text[i];
        if (uchar(c) >= 0x80) {
            const QByteArray upper = QString::fromUtf8(text, size).toUpper().toUtf8();
            sqlite3_result_text(context, upper.constData(), int(upper.size()), SQLITE_TRANSIENT);
            return;
        }
        ascii[i] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    sqlite3_result_text(context, ascii.constData(), size, SQLITE_TRANSIENT);
}

// Registered once per connection: registering a function again would expire every prepared
// statement of the connection, or fail while one runs.
void EnsureUpper(sqlite3* db)
{
    sqlite3_stmt* probe = nullptr;
    const bool known = sqlite3_prepare_v2(db, "select QB_UPPER('')", -1, &probe, nullptr) == SQLITE_OK;
    sqlite3_finalize(probe);
    if (known)
        return;
    if (sqlite3_create_function_v2(db, "QB_UPPER", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, UnicodeUpper,
                                   nullptr, nullptr, nullptr)
        != SQLITE_OK)
        throw QbError(SqlEngine::ErrorText(db, QStringLiteral("Can not prepare the search")));
}

// LIKE ignores ASCII case unless told otherwise; the setting is the connection's, so it is put
// back to the engine's default when the search ends, also on failure.
class CaseSensitiveLike
{
public:
    CaseSensitiveLike(TDatabaseConnection& connection, bool on)
        : m_connection(connection)
        , m_on(on)
    {
        if (m_on)
            m_connection.Exec(QStringLiteral("PRAGMA case_sensitive_like = ON"));
    }
    ~CaseSensitiveLike()
    {
        if (!m_on || !m_connection.IsOpen())
            return;
        try {
            m_connection.Exec(QStringLiteral("PRAGMA case_sensitive_like = OFF"));
        } catch (const QbError&) {
        }
    }
    CaseSensitiveLike(const CaseSensitiveLike&) = delete;
    CaseSensitiveLike& operator=(const CaseSensitiveLike&) = delete;

private:
    TDatabaseConnection& m_connection;
    bool m_on;
};

} // namespace

QString TDocSearch::Pattern(const QString& text, int mode)
{
    const QString percent = QStringLiteral("%");
    return mode == AtBegin ? text + percent : percent + text + percent;
}

QString TDocSearch::Statement(bool caseSensitive)
{
    const QString function = caseSensitive ? QString() : QStringLiteral("QB_UPPER");
    // Only the listed columns: the content blobs are never read by a search.
    return QStringLiteral("select Doc_id, Doc_name, Doc_type from Docs where (%1(%2) like %1(:PATTERN))\n"
                          "order by Doc_name collate %3")
        .arg(function, QStringLiteral("Doc_name"), QLatin1String(SqlEngine::NameCollation));
}

std::vector<TSearchHit> TDocSearch::Run(TDatabaseConnection& connection, const QString& text, int mode,
                                        bool caseSensitive)
{
    if (!connection.IsOpen())
        throw QbError(QStringLiteral("No database is open."));
    if (!caseSensitive)
        EnsureUpper(connection.Handle());
    CaseSensitiveLike like(connection, caseSensitive);
    TQuery query(connection, Statement(caseSensitive));
    query.Bind(QStringLiteral(":PATTERN"), Pattern(text, mode));
    std::vector<TSearchHit> hits;
    while (query.Next())
        hits.push_back({query.Text(QStringLiteral("Doc_id")), query.Text(QStringLiteral("Doc_name")),
                        query.Text(QStringLiteral("Doc_type"))});
    return hits;
}
