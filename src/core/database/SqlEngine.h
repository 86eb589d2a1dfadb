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
// verdicts on probe names): an index made under another order is found by its name and
// replaced, since an index sorted by rules other than the connection's would be corrupt.
// Other SQLite programs can read such a database; to change it they drop the index first.
inline constexpr const char* NameOrderIndexPrefix = "Docs_name_order_";
QString NameOrderIndex(); // worked out afresh: the locale is the connection's
QString NameOrderIndexSql(const QString& name); // CREATE INDEX name, in that order

} // namespace SqlEngine
