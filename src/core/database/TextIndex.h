#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QIODevice;
class TDatabaseConnection;

// The index of words for the search in the text: an FTS4 table inside Docs.db, so it is
// encrypted with the documents and travels with the file (pack, backup). One entry a document,
// its docid the row's rowid: the name and, for rich text, the plain text; for an embedded
// object, the name of its file (the name with the object's suffix, "Scan.pdf"). The program
// builds it in the background at the first open of a database that lacks it (TTextIndexer);
// until it is complete, the search in the text builds the rest first.
//
// Every write of TDocStore keeps an existing index in step within the write's own transaction.
// A build fills it in batches, each one transaction, and records how far it came: every row up
// to Docs_text_state.done_through is indexed, so a stopped build resumes there, and rows that
// another program appended show up as not yet indexed. Raises QbError.
namespace TextIndex {

inline constexpr const char* Table = "Docs_text";
inline constexpr const char* StateTable = "Docs_text_state";

bool Exists(TDatabaseConnection& connection);
// Whether every document is indexed (false without the index).
bool Complete(TDatabaseConnection& connection);

// The words of a document besides its name: the plain text of rich text (type "TXT"), read by
// the bounded rich-text loader; nothing for other types or unreadable content.
QString PlainText(const QString& type, const QByteArray& content);

// The words of an embedded object besides its name: the name of its file, the name with the
// suffix stored in the object's header (read from cell); empty when cell holds no object.
QString ObjectFileName(const QString& name, QIODevice& cell);

// Brings the entry of one row in line with it; a row that is gone loses its entry. Does nothing
// without the index. Run it inside the write's transaction.
void Refresh(TDatabaseConnection& connection, qint64 rowid);

// Creates the index when missing (an empty one, nothing indexed yet).
void Create(TDatabaseConnection& connection);
// The rows in all and those not yet indexed (all without the index). The second costs in
// proportion to what is left.
qint64 Rows(TDatabaseConnection& connection);
qint64 Unindexed(TDatabaseConnection& connection);
// Indexes the next rows not yet indexed in one transaction: at most rows of them, and no more
// once budgetMs milliseconds have passed (at least one). Needs the index. Returns how many it
// indexed: 0 when complete.
int IndexNext(TDatabaseConnection& connection, int rows, int budgetMs = -1);

// Creates the index when missing and indexes the rows not yet indexed. progress gets 0..100;
// stop answering true ends the build after the current batch, which stays. True when complete.
bool Build(TDatabaseConnection& connection, const std::function<void(int)>& progress = {},
           const std::function<bool()>& stop = {});

// The user's words as an FTS query: words, prefixes (lett*) and phrases in double quotes, every
// one required; operators and stray punctuation are taken as text. Empty when nothing is left.
QString MatchQuery(const QString& text);

} // namespace TextIndex
