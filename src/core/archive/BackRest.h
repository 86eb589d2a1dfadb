#pragma once

#include "core/archive/ArchiveBlock.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

// The backup archive: "BACKUP", the name list as one block, then for each file its size
// (4 bytes, little-endian, signed) and its content in blocks of 524,288 bytes, every block a
// 4-byte length and one zlib stream at level 9. Names are the folder's regular files (hidden
// ones included, subfolders and links not), byte for byte as the file system holds them
// (UTF-8 here), sorted so that the same folder always gives the same archive.
namespace BackRest {

inline constexpr qint64 BlockSize = ArchiveBlockBytes;

// A stored name in quotes, for messages.
QString QuotedName(const QByteArray& name);

// Result codes. Callers that only care about success test for zero.
enum Code : int
{
    Ok = 0,
    Stopped = 1, // the callback asked to stop; nothing was left behind
    NothingToBackUp = 2, // the folder does not exist or holds no file; no archive was created
    NoArchive = 3, // the archive file does not exist; nothing was changed
    NotAnArchive = 4, // not "BACKUP", a bad name, or a file whose length differs from its size
    Failed = 5, // could not read, write, inflate or create; or the format cannot carry the folder
};

// Progress in percent (0 to 100, rounded half to even), called on the thread that called the
// operation, after each block. Setting stop to true ends the operation with code 1 once the
// call returns. A caller that stops from elsewhere keeps an std::atomic<bool> and copies it
// into stop here.
using ProgressCallback = std::function<void(int percent, bool& stop)>;

struct Entry
{
    QByteArray name; // as stored in the archive (UTF-8)
    qint64 size = 0;
};

// Writes an archive of the folder's files. The archive appears only when complete: it is
// written beside its final name and renamed over it, so a failure or a stop leaves no archive
// and any older archive of that name as it was. threads <= 0: one compressing thread per core;
// the bytes do not depend on it. error, when given, receives a one-line reason on failure.
// The engine's temporary files (IsEngineTemporary) are never archived; stale ones are removed
// first. A database in use by a running Quietbox, or one that must first recover from a crash
// (a hot journal), is refused with code 5. The database file is held with a shared lock while
// it is read, so nobody writes it meanwhile.
int BackupFolder(const QString& folder, const QString& archiveFile, const ProgressCallback& callback = {},
                 int threads = 0, QString* error = nullptr);

// Rebuilds the folder from the archive: afterwards it holds exactly the archived files (its
// subfolders stay). The archive is restored into a staging folder beside the target and swapped
// in only once it was read whole and checked, so any failure or stop leaves the target as it
// was. Where the folder cannot be swapped (a mount point, a parent the user cannot write) the
// staging folder goes inside it and the files are moved into place one by one, taken back on a
// failure. A folder that does not exist is created (its parent must exist). A database in the
// folder that is in use (opened by a running Quietbox) is refused with code 5. What an earlier,
// interrupted restore left is finished or taken back first (see RemoveStaleCompanions).
int RestoreFolder(const QString& archiveFile, const QString& folder, const ProgressCallback& callback = {},
                  int threads = 0, QString* error = nullptr);

// Reads and checks the whole archive, writing nothing. Same codes as RestoreFolder.
int VerifyArchive(const QString& archiveFile, const ProgressCallback& callback = {}, int threads = 0,
                  QString* error = nullptr);

// The names and sizes, without inflating the content (its blocks are skipped, not checked).
int ListArchive(const QString& archiveFile, QList<Entry>& entries, QString* error = nullptr);

// Removes what an interrupted run left in and beside a database folder: a journal of Docs.db that
// is not hot (a hot one is the engine's to roll back), an unfinished rewrite of Docs.db and its
// journal (both overwritten first: they may hold pages in clear), and the staging folders of an
// interrupted restore, which is finished or taken back as far as it got. Nothing that a running
// Quietbox or restore still holds is touched. Call it before opening the database. False, with
// the leftover folders named in error, when something of ours could not be cleared.
bool RemoveStaleCompanions(const QString& folder, QString* error = nullptr);

// Docs.db-journal, -wal, -shm, Docs.db.rewrite and its journal: engine files, never archived.
bool IsEngineTemporary(const QByteArray& name);

// A seam for tests: called before every folder creation ("mkdir", to empty) and rename
// ("rename") that a restore or a clean-up makes; a non-zero return fails that step with that
// errno. An empty hook (the default) lets everything through.
using FaultHook = std::function<int(const char* operation, const QByteArray& from, const QByteArray& to)>;
void SetFaultHook(FaultHook hook);

// part / whole x 100, rounded to the nearest integer, halves to even.
int RoundedPercent(qint64 part, qint64 whole);

// Why the database in folder must not be changed or removed now: another connection, in this
// process or another, holds it (the archive tool's "in use" text). Empty when nobody does.
QString InUseRefusal(const QString& folder);

} // namespace BackRest
