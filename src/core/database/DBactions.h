// Rewrites of a whole database file: pack, adding or changing its password.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Asked now and then during a rewrite; yes abandons it with the old file untouched (QbError of
// the kind Stopped). Empty: never stop.
using StopCheck = std::function<bool()>;

class TDatabaseConnection;

// Shows a message text in a plain message box.
using PlainMessageHandler = std::function<void(const QString& text)>;

// Runs the lines of one statement (or several, for schema text) on a database: "ADB" is the
// shared connection; a folder path means that folder's Docs.db, created when missing; a blank
// name means the current folder. True on success. On an engine error `show` (else the dialog
// seam's plain message box) gets "Помилка виконання:\n\n" + the engine's message, and
// the result is false; a Docs.db created by this call is then removed again.
bool RunSql(const QStringList& lines, const QString& database, const PlainMessageHandler& show = {});

// Packs the open table of `table`: an unencrypted, compacted rewrite. The password is gone
// afterwards and the table is open again. Raises QbError ("Table must be opened to pack").
void PackTable(TDatabaseConnection& table, const StopCheck& stop = {});

// Puts a master password on the open table of `table` (encrypting it, or changing the key of
// an encrypted one) and reopens it with that password. The password reaches the engine as
// given; it must be 1 to 31 characters. On failure the table keeps its old password and data.
void AddMasterPassword(TDatabaseConnection& table, const QString& password, const StopCheck& stop = {});

// Points the closed connection `adb` at folder, opens it (with oldPassword when the database
// already has one), puts `password` on it and closes it again.
void SetDatabasePassword(TDatabaseConnection& adb, const QString& folder, const QString& password,
                         const QString& oldPassword = QString(), const StopCheck& stop = {});
