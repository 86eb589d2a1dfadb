#include "core/documents/Search.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "core/database/SqlEngine.h"
#include "core/database/TextIndex.h"

#include <QVarLengthArray>
#include <array>
#include <atomic>
#include <thread>

namespace {

// Whether the code point's full upper case is its simple one (one code point), so it can be
// mapped alone; not so for "ß" (-> "SS"), ligatures and a few Greek letters. Learnt per code
// point the first time one is met.
bool MapsAlone(char32_t cp)
{
    static std::array<std::atomic<quint8>, 0x10000> known{}; // 0 unknown, 1 alone, 2 not
    quint8 state = known[cp].load(std::memory_order_relaxed);
    if (state == 0) {
        const QString full = QString(QChar(char16_t(cp))).toUpper();
        state = (full.size() == 1 && full.at(0).unicode() == QChar::toUpper(cp)) ? 1 : 2;
        known[cp].store(state, std::memory_order_relaxed);
    }
    return state == 1;
}

void AppendUtf8(QVarLengthArray<char, 256>& out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

// The upper case of UTF-8 text, code point by code point; false when a code point needs the
// whole-text rules (or the bytes are not clean UTF-8 below U+10000), which QString then applies.
bool UpperInPlace(const uchar* text, int size, QVarLengthArray<char, 256>& out)
{
    const auto follows = [&](int at) { return at < size && (text[at] & 0xC0) == 0x80; };
    for (int i = 0; i < size;) {
        const uchar c = text[i];
        if (c < 0x80) {
            out.append((c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : char(c));
            ++i;
            continue;
        }
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0 && follows(i + 1)) {
            cp = char32_t(c & 0x1F) << 6 | (text[i + 1] & 0x3F);
            if (cp < 0x80)
                return false;
            i += 2;
        } else if ((c & 0xF0) == 0xE0 && follows(i + 1) && follows(i + 2)) {
            cp = char32_t(c & 0x0F) << 12 | char32_t(text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F);
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
                return false;
            i += 3;
        } else {
            return false;
        }
        if (!MapsAlone(cp))
            return false;
        AppendUtf8(out, QChar::toUpper(cp));
    }
    return true;
}

// Runs once a row, on the engine's UTF-8 and without allocating for most names; what the
// code-point mapping cannot do goes through QString for Unicode's full upper case. A UTF-16
// function would make the engine convert every name there and, for LIKE, back again.
void UnicodeUpper(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = sqlite3_value_text(argv[0]);
    const int size = sqlite3_value_bytes(argv[0]);
    QVarLengthArray<char, 256> upper;
    upper.reserve(size);
    if (UpperInPlace(text, size, upper)) {
        sqlite3_result_text(context, upper.constData(), int(upper.size()), SQLITE_TRANSIENT);
        return;
    }
    const QByteArray full = QString::fromUtf8(reinterpret_cast<const char*>(text), size).toUpper().toUtf8();
    sqlite3_result_text(context, full.constData(), int(full.size()), SQLITE_TRANSIENT);
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

QString TDocSearch::Statement(bool caseSensitive, bool indexed)
{
    const QString function = caseSensitive ? QString() : QStringLiteral("QB_UPPER");
    // Only the listed columns: the content blobs are never read by a search.
    return QStringLiteral("select rowid, Doc_id, Doc_name, Doc_type from Docs%4 where (%1(%2) like %1(:PATTERN)) "
                          "and %5\norder by Doc_name collate %3")
        .arg(function, QStringLiteral("Doc_name"), QLatin1String(SqlEngine::NameCollation),
             indexed ? QString() : QStringLiteral(" not indexed"), QLatin1String(SqlEngine::EveryRow));
}

namespace {

// The engine's progress handler over a stop check, for the length of one search; statements
// that other threads run on the connection meanwhile are never stopped by it.
class StopHandler
{
public:
    StopHandler(sqlite3* db, const TDocSearch::StopCheck& stop)
        : m_db(db)
        , m_stop(stop)
        , m_thread(std::this_thread::get_id())
    {
        if (m_stop)
            // Often: one LIKE can take the engine long on a single name, and this is cheap.
            sqlite3_progress_handler(m_db, 10, &StopHandler::Ask, this);
    }
    ~StopHandler()
    {
        if (m_stop)
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }
    StopHandler(const StopHandler&) = delete;
    StopHandler& operator=(const StopHandler&) = delete;

    bool Stopped() const { return m_stopped; }

private:
    static int Ask(void* self)
    {
        auto* handler = static_cast<StopHandler*>(self);
        if (std::this_thread::get_id() != handler->m_thread)
            return 0;
        if (!handler->m_stopped && handler->m_stop())
            handler->m_stopped = true;
        return handler->m_stopped ? 1 : 0;
    }

    sqlite3* m_db;
    const TDocSearch::StopCheck& m_stop;
    std::thread::id m_thread;
    bool m_stopped = false;
};

// Every row of the query as a hit, while the stop check lets it run; a stopped search gives none.
template <typename Hit>
std::vector<TSearchHit> Collect(TDatabaseConnection& connection, TQuery& query, const TDocSearch::StopCheck& stop,
                                bool* stopped, Hit hit)
{
    std::vector<TSearchHit> hits;
    StopHandler handler(connection.Handle(), stop);
    try {
        while (query.Next())
            hits.push_back(hit());
    } catch (const QbError&) {
        if (!handler.Stopped())
            throw;
    }
    if (handler.Stopped()) {
        hits.clear();
        if (stopped)
            *stopped = true;
    }
    return hits;
}

} // namespace

namespace {

// Ordered like the list; the snippet comes from whichever column matched best.
const QString TextSql
    = QStringLiteral("select d.rowid, d.Doc_id, d.Doc_name, d.Doc_type, snippet(Docs_text, char(1), char(2), '\u2026', "
                     "-1, 12) as Context "
                     "from Docs_text join Docs d on d.rowid = Docs_text.docid where Docs_text match :QUERY "
                     "order by d.Doc_name collate %1, d.Doc_id");

std::vector<TSearchHit> RunInText(TDatabaseConnection& connection, const QString& text,
                                  const TDocSearch::StopCheck& stop, bool* stopped)
{
    if (!TextIndex::Complete(connection) && !TextIndex::Build(connection, {}, stop)) {
        if (stopped)
            *stopped = true;
        return {};
    }
    const QString match = TextIndex::MatchQuery(text);
    if (match.isEmpty())
        return {};
    TQuery query(connection, TextSql.arg(QLatin1String(SqlEngine::NameCollation)));
    query.Bind(QStringLiteral(":QUERY"), match);
    return Collect(connection, query, stop, stopped, [&] {
        return TSearchHit{TDocStore::Key(query.Value(1), query.Value(0).toLongLong()), query.Value(2).toString(),
                          query.Value(3).toString(), TDocSearch::ShownContext(query.Value(4).toString())};
    });
}

} // namespace

QString TDocSearch::ShownContext(const QString& marked)
{
    constexpr int Lead = 16; // characters kept before the first match at most
    QString text = marked.simplified();
    const int first = int(text.indexOf(MatchOpen));
    if (first > Lead + 1) {
        const int space = int(text.indexOf(QLatin1Char(' '), first - Lead)); // a word's start, if one is near
        const int from = space >= 0 && space < first ? space + 1 : first - Lead;
        text = QChar(0x2026) + text.mid(from);
    }
    text.remove(MatchOpen);
    text.remove(MatchClose);
    return text;
}

std::vector<TSearchHit> TDocSearch::Run(TDatabaseConnection& connection, const QString& text, int mode,
                                        bool caseSensitive, const StopCheck& stop, bool* stopped)
{
    if (stopped)
        *stopped = false;
    if (!connection.IsOpen())
        throw QbError(QStringLiteral("No database is open."));
    if (mode == InText)
        return RunInText(connection, text, stop, stopped);
    if (!caseSensitive)
        EnsureUpper(connection.Handle());
    CaseSensitiveLike like(connection, caseSensitive);
    TQuery query(connection, Statement(caseSensitive, connection.NameOrderTrusted()));
    query.Bind(QStringLiteral(":PATTERN"), Pattern(text, mode));
    const int rowid = query.ColumnIndex(QStringLiteral("rowid"));
    const int id = query.ColumnIndex(QStringLiteral("Doc_id"));
    const int name = query.ColumnIndex(QStringLiteral("Doc_name"));
    const int type = query.ColumnIndex(QStringLiteral("Doc_type"));
    return Collect(connection, query, stop, stopped, [&] {
        return TSearchHit{TDocStore::Key(query.Value(id), query.Value(rowid).toLongLong()),
                          query.Value(name).toString(), query.Value(type).toString(), QString()};
    });
}
