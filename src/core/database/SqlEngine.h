#pragma once

// Internal to the database subsystem: the one place that includes SQLCipher's header.
#define SQLITE_HAS_CODEC 1
#include <QString>
#include <sqlcipher/sqlite3.h>

namespace SqlEngine {

// Rounds of key derivation set with every key, so a database opens the same everywhere.
constexpr int KdfIter = 256000;

// "what: <engine message>" for the last error of db (or only what, without a handle).
QString ErrorText(sqlite3* db, const QString& what);

// Key settings after sqlite3_key (forDefaults false), or the defaults that an
// ATTACH ... KEY uses (forDefaults true). Throws QbError.
void ApplyKeySettings(sqlite3* db, bool forDefaults);

// PRAGMA cipher_version; empty when the engine has no cipher.
QString CipherVersion();
// Its major number; 0 without a cipher.
int CipherMajorVersion();

// The collation that orders document names as a reader expects: by the user's locale (its
// common rules when the locale is C), ignoring case; names equal that way are ordered by
// their characters, so the order is total. Registered on every connection.
inline constexpr const char* NameCollation = "DOCNAME";
void RegisterNameCollation(sqlite3* db); // throws QbError

// The index that keeps Docs in that order, so the list and the search walk it instead of
// sorting every name. Its name ends in a fingerprint of the order (locale, Qt, the collator's
// verdicts on probe names) and of its definition: an index made under another order is found
// by its name and replaced, since an index sorted by rules other than the connection's would be
// corrupt. It covers every row but is partial in form (WHERE EveryRow), so the engine uses it
// only for statements that carry that very term: other SQLite programs, which lack the
// collation, read the table as if it were not there. They still cannot change the table
// without the collation; to do so they drop the index first.
inline constexpr const char* NameOrderIndexPrefix = "Docs_name_order_";
// True of every row, and a term that no query of another program holds or implies.
inline constexpr const char* EveryRow = "typeof(Doc_name) <> 'name order'";
QString NameOrderIndex(); // worked out afresh: the locale is the connection's
QString NameOrderIndexSql(const QString& name); // CREATE INDEX name, in that order
// Whether the index's entries, walked in its order, are in the order of this process's
// collation: a false name or a collator that changed under the fingerprint shows here. Reads
// the index alone. Throws QbError when it cannot be read.
bool NameOrderSound(sqlite3* db, const QString& index);

} // namespace SqlEngine
