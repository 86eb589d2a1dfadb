#include "core/database/TextIndex.h"

#include "core/common/QbError.h"
#include "core/database/BlobStream.h"
#include "core/database/Connection.h"
#include "core/database/Query.h"
#include "core/documents/OleContainer.h"
#include "core/documents/RichTextStore.h"

#include <QElapsedTimer>
#include <QStringDecoder>

namespace TextIndex {

namespace {

constexpr int BatchRows = 200;

// Case and diacritics fold in the tokenizer, so "Élan" and "elan" are one word.
const QString CreateSql = QStringLiteral(
    "CREATE VIRTUAL TABLE IF NOT EXISTS Docs_text USING fts4(name, body, tokenize=unicode61 \"remove_diacritics=1\");"
    "CREATE TABLE IF NOT EXISTS Docs_text_state (done_through INTEGER NOT NULL);"
    "INSERT INTO Docs_text_state SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM Docs_text_state);"
    // Segments are merged a little after every transaction instead of all at once now and then,
    // which could hold one small write for a long time. Kept in the index's own settings.
    "INSERT INTO Docs_text(Docs_text) VALUES('automerge=4');");

qint64 DoneThrough(TDatabaseConnection& connection)
{
    TQuery query(connection, QStringLiteral("SELECT max(done_through) FROM Docs_text_state"));
    return query.Next() ? query.Value(0).toLongLong() : 0;
}

void Commit(TDatabaseConnection& connection, bool ok)
{
    if (ok) {
        connection.Exec(QStringLiteral("COMMIT"));
    } else if (connection.IsOpen()) {
        try {
            connection.Exec(QStringLiteral("ROLLBACK"));
        } catch (const QbError&) {
        }
    }
}

} // namespace

bool Exists(TDatabaseConnection& connection)
{
    TQuery query(connection, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (:T, :S)"));
    query.Bind(QStringLiteral(":T"), QString::fromLatin1(Table));
    query.Bind(QStringLiteral(":S"), QString::fromLatin1(StateTable));
    return query.Next() && query.Value(0).toInt() == 2;
}

bool Complete(TDatabaseConnection& connection)
{
    if (!Exists(connection))
        return false;
    TQuery query(connection, QStringLiteral("SELECT coalesce(max(rowid), 0) FROM Docs"));
    return query.Next() && query.Value(0).toLongLong() <= DoneThrough(connection);
}

QString PlainText(const QString& type, const QByteArray& content)
{
    if (type != QStringLiteral("TXT") || content.isEmpty())
        return QString();
    switch (RichTextStore::Classify(content)) {
        case RichTextStore::Format::Html:
            try {
                TRichTextDocument document;
                // Markup past the loader's bounds comes back as text: its words are still found.
                RichTextStore::Load(document, content);
                return document.toPlainText();
            } catch (const QbError&) {
                return QString(); // too large to load: the name is still indexed
            }
        case RichTextStore::Format::PlainText: {
            QStringDecoder utf8(QStringDecoder::Utf8);
            const QString text = utf8(content);
            return utf8.hasError() ? QString::fromLatin1(content) : text;
        }
        case RichTextStore::Format::Unreadable:
            break;
    }
    return QString();
}

QString ObjectFileName(const QString& name, QIODevice& cell)
{
    QString className;
    QString suffix;
    try {
        TOleContainer::ReadStoredHeader(cell, className, suffix);
    } catch (const QbError&) {
        return QString(); // not an object of ours (a link, a damaged cell): the name alone
    }
    const QString end = QLatin1Char('.') + suffix;
    return suffix.isEmpty() || name.endsWith(end, Qt::CaseInsensitive) ? name : name + end;
}

void Refresh(TDatabaseConnection& connection, qint64 rowid)
{
    if (!Exists(connection))
        return;
    {
        TQuery remove(connection, QStringLiteral("DELETE FROM Docs_text WHERE docid = :R"));
        remove.Bind(QStringLiteral(":R"), rowid);
        remove.Exec();
    }
    // Rich text is read whole; of an object only its header, through the blob device.
    TQuery row(connection,
               QStringLiteral("SELECT Doc_name, Doc_type, CASE WHEN Doc_type = 'TXT' THEN Image END, "
                              "CASE WHEN Doc_type NOT IN ('TXT', 'IMG') THEN length(OLEobj) END "
                              "FROM Docs WHERE rowid = :R"));
    row.Bind(QStringLiteral(":R"), rowid);
    if (!row.Next())
        return;
    const QString name = row.Value(0).toString();
    const QString type = row.Value(1).toString();
    QString body = PlainText(type, row.Value(2).toByteArray());
    if (row.Value(3).toLongLong() > 0) {
        TBlobDevice cell(connection, QStringLiteral("Docs"), QStringLiteral("OLEobj"), rowid);
        cell.open(QIODevice::ReadOnly);
        body = ObjectFileName(name, cell);
    }
    TQuery insert(connection, QStringLiteral("INSERT INTO Docs_text (docid, name, body) VALUES (:R, :NAME, :BODY)"));
    insert.Bind(QStringLiteral(":R"), rowid);
    insert.Bind(QStringLiteral(":NAME"), name);
    insert.Bind(QStringLiteral(":BODY"), body);
    insert.Exec();
    // A row whose predecessors are all indexed is the new end of the indexed stretch.
    TQuery advance(connection,
                   QStringLiteral("UPDATE Docs_text_state SET done_through = :R WHERE done_through < :R "
                                  "AND done_through >= (SELECT coalesce(max(rowid), 0) FROM Docs "
                                  "WHERE rowid < :R)"));
    advance.Bind(QStringLiteral(":R"), rowid);
    advance.Exec();
}

void Create(TDatabaseConnection& connection)
{
    if (!Exists(connection))
        connection.Exec(QStringLiteral("BEGIN; %1 COMMIT;").arg(CreateSql));
}

qint64 Rows(TDatabaseConnection& connection)
{
    TQuery count(connection, QStringLiteral("SELECT count(*) FROM Docs"));
    return count.Next() ? count.Value(0).toLongLong() : 0;
}

qint64 Unindexed(TDatabaseConnection& connection)
{
    if (!Exists(connection))
        return Rows(connection);
    TQuery count(connection, QStringLiteral("SELECT count(*) FROM Docs WHERE rowid > :D"));
    count.Bind(QStringLiteral(":D"), DoneThrough(connection));
    return count.Next() ? count.Value(0).toLongLong() : 0;
}

int IndexNext(TDatabaseConnection& connection, int rows, int budgetMs)
{
    std::vector<qint64> next;
    {
        TQuery query(connection, QStringLiteral("SELECT rowid FROM Docs WHERE rowid > :D ORDER BY rowid LIMIT :N"));
        query.Bind(QStringLiteral(":D"), DoneThrough(connection));
        query.Bind(QStringLiteral(":N"), rows);
        while (query.Next())
            next.push_back(query.Value(0).toLongLong());
    }
    if (next.empty())
        return 0;
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    connection.Exec(QStringLiteral("BEGIN"));
    try {
        qint64 last = 0;
        for (const qint64 rowid : next) {
            Refresh(connection, rowid);
            last = rowid;
            ++done;
            if (budgetMs >= 0 && clock.elapsed() >= budgetMs)
                break;
        }
        TQuery mark(connection, QStringLiteral("UPDATE Docs_text_state SET done_through = max(done_through, :R)"));
        mark.Bind(QStringLiteral(":R"), last);
        mark.Exec();
    } catch (...) {
        Commit(connection, false);
        throw;
    }
    Commit(connection, true);
    return done;
}

bool Build(TDatabaseConnection& connection, const std::function<void(int)>& progress, const std::function<bool()>& stop)
{
    Create(connection);
    const qint64 total = Rows(connection);
    qint64 left = Unindexed(connection);
    for (;;) {
        if (progress)
            progress(total > 0 ? int(qBound<qint64>(0, total - left, total) * 100 / total) : 100);
        if (stop && stop())
            return false;
        const int done = IndexNext(connection, BatchRows);
        if (done == 0)
            return true;
        left -= done;
    }
}

QString MatchQuery(const QString& text)
{
    // Each term is quoted, so AND, OR, NEAR and "-" are words; a trailing "*" makes it a prefix.
    QStringList terms;
    const auto add = [&terms](QString term, bool phrase) {
        const bool prefix = !phrase && term.endsWith(QLatin1Char('*'));
        term.remove(QLatin1Char('"')).remove(QLatin1Char('*'));
        bool wordy = false;
        for (const QChar c : term)
            wordy = wordy || c.isLetterOrNumber();
        if (wordy)
            terms << QStringLiteral("\"%1%2\"").arg(term, prefix ? QStringLiteral("*") : QString());
    };
    QString current;
    bool inPhrase = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) {
            add(current, inPhrase);
            current.clear();
            inPhrase = !inPhrase;
        } else if (!inPhrase && c.isSpace()) {
            add(current, false);
            current.clear();
        } else {
            current += c;
        }
    }
    add(current, inPhrase); // an unclosed quote runs to the end
    return terms.join(QLatin1Char(' '));
}

} // namespace TextIndex
