#include "core/archive/BackRest.h"

#include "core/archive/ArchiveReader.h"
#include "core/archive/PackStream.h"
#include "core/common/FileOps.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/SqlEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BackRest {

QString QuotedName(const QByteArray& name)
{
    return QStringLiteral("\"") + QString::fromUtf8(name) + QStringLiteral("\"");
}

namespace {

struct Listed
{
    QByteArray name;
    qint64 size;
};

using FileOps::Shred;
using FileOps::SystemError;
using FileOps::WriteFully;

int Report(QString* error, int code, const QString& why)
{
    if (error)
        *error = why;
    return code;
}

// Closes a descriptor on every path out of a scope.
class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// The folder's regular files, sorted by name. Links, subfolders and devices are not files of a database.
bool ListFiles(int dirFd, std::vector<Listed>& files)
{
    const int dupFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0)
        return false;
    DIR* dir = ::fdopendir(dupFd);
    if (!dir) {
        ::close(dupFd);
        return false;
    }
    ::rewinddir(dir); // the duplicate shares its position with dirFd
    bool ok = true;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st
        {
        };
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue; // gone since the listing
            ok = false;
            break;
        }
        if (S_ISREG(st.st_mode))
            files.push_back({name, static_cast<qint64>(st.st_size)});
        errno = 0;
    }
    if (ok && errno != 0)
        ok = false;
    ::closedir(dir);
    std::sort(files.begin(), files.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
    return ok;
}

QByteArray LittleEndian32(qint64 value)
{
    const auto v = static_cast<quint32>(value);
    const char bytes[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char((v >> 24) & 0xff)};
    return QByteArray(bytes, 4);
}

QString TrimmedFolder(const QString& folder)
{
    // QDir::cleanPath drops trailing separators, and keeps "/" for the root.
    return QDir::cleanPath(QDir(folder).absolutePath());
}

// Writes the restored files into the staging folder.
class FolderSink : public ArchiveReader::Sink
{
public:
    explicit FolderSink(int dirFd)
        : m_dirFd(dirFd)
    {
    }
    bool Begin(const QByteArray& name, qint64) override
    {
        m_name = name;
        m_fd.Reset(::openat(m_dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        return m_fd.Get() >= 0 || Fault(QStringLiteral("Cannot create"));
    }
    bool Append(const char* data, qint64 length) override
    {
        return WriteFully(m_fd.Get(), data, length) || Fault(QStringLiteral("Cannot write"));
    }
    bool End() override
    {
        // On disk before the swap: a crash after it must not leave empty files in place of the old ones.
        const int fd = m_fd.Release();
        bool ok = ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        return ok || Fault(QStringLiteral("Cannot write"));
    }

private:
    bool Fault(const QString& what)
    {
        error = QStringLiteral("%1 %2: %3").arg(what, QuotedName(m_name), SystemError());
        return false;
    }
    int m_dirFd;
    QByteArray m_name;
    Fd m_fd;
};

// ---- Paths and the test seam

FaultHook g_faultHook;

int Injected(const char* operation, const QByteArray& from, const QByteArray& to = {})
{
    return g_faultHook ? g_faultHook(operation, from, to) : 0;
}

QByteArray Join(const QByteArray& folder, const QByteArray& name)
{
    return folder + '/' + name;
}

QString Shown(const QByteArray& path)
{
    return QStringLiteral("\"") + QFile::decodeName(path) + QStringLiteral("\"");
}

bool Rename(const QByteArray& from, const QByteArray& to, unsigned flags = 0)
{
    if (const int e = Injected("rename", from, to)) {
        errno = e;
        return false;
    }
    if (flags != 0)
        return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags) == 0;
    return ::rename(from.constData(), to.constData()) == 0;
}

bool MakeFolder(const QByteArray& path)
{
    if (const int e = Injected("mkdir", path)) {
        errno = e;
        return false;
    }
    return ::mkdir(path.constData(), 0700) == 0;
}

// A new empty folder from a name ending in XXXXXX.
bool MakeTempFolder(QByteArray& path)
{
    if (const int e = Injected("mkdir", path)) {
        errno = e;
        return false;
    }
    return ::mkdtemp(path.data()) != nullptr;
}

// The type bits of what path names (links not followed); 0 when nothing is there.
mode_t Kind(const QByteArray& path)
{
    struct stat st
    {
    };
    return ::lstat(path.constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

std::vector<QByteArray> AllEntries(const QByteArray& folder)
{
    std::vector<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SyncFolder(const QByteArray& folder)
{
    FileOps::SyncPath(folder, true);
}

// A folder of ours carries an flock for as long as the run that made it lasts, so one that can be
// locked was abandoned. False when it is in use (errno EWOULDBLOCK) or cannot be opened.
bool LockFolder(const QByteArray& path, Fd& fd)
{
    fd.Reset(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() < 0)
        return false;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0)
        return true;
    const int e = errno;
    fd.Reset();
    errno = e;
    return false;
}

// Removes what a staging folder of ours holds besides subfolders, then the folder.
bool DropFolder(const QByteArray& path)
{
    for (const QByteArray& name : AllEntries(path)) {
        const QByteArray entry = Join(path, name);
        if (Kind(entry) != S_IFDIR)
            ::unlink(entry.constData());
    }
    return ::rmdir(path.constData()) == 0 || errno == ENOENT;
}

// Moves every entry of one folder into another, replacing what is there; false at the first failure.
bool MoveAll(const QByteArray& from, const QByteArray& to)
{
    for (const QByteArray& name : AllEntries(from)) {
        if (!Rename(Join(from, name), Join(to, name)))
            return false;
    }
    return true;
}

// Puts an old entry that is no file (a subfolder, a link) back into the restored folder, never in
// place of a restored file: one of the same name that is no folder gives way to the restored file.
void MoveBack(const QByteArray& from, const QByteArray& to)
{
    if (Rename(from, to, RENAME_NOREPLACE))
        return;
    if (errno == EINVAL) {
        // A file system without RENAME_NOREPLACE: look first.
        if (Kind(to) == 0) {
            Rename(from, to);
            return;
        }
        errno = EEXIST;
    }
    const mode_t kind = Kind(from);
    if (errno == EEXIST && kind != 0 && kind != S_IFDIR)
        ::unlink(from.constData());
}

// The old content after a swap: its files go, everything else returns to the folder. True when
// nothing of it is left.
bool FinishOld(const QByteArray& old, const QByteArray& target)
{
    for (const QByteArray& name : AllEntries(old)) {
        const QByteArray entry = Join(old, name);
        if (Kind(entry) == S_IFREG)
            ::unlink(entry.constData());
        else
            MoveBack(entry, Join(target, name));
    }
    SyncFolder(target);
    return ::rmdir(old.constData()) == 0;
}

bool SwapRefused(int e)
{
    return e == EBUSY || e == EXDEV || e == EACCES || e == EPERM || e == EROFS;
}

// Names of the staging folders: beside the target ".<name>.restore-XXXXXX" and ".<name>.old-XXXXXX";
// inside it ".qb-restore-X" (being filled), ".qb-new-X" (complete, moving in) and ".qb-old-X" (the
// files it replaces), one suffix X for the three of one run.
const QByteArray InsideRestore = ".qb-restore-";
const QByteArray InsideNew = ".qb-new-";
const QByteArray InsideOld = ".qb-old-";

bool IsStagingName(const QByteArray& entry, const QByteArray& prefix)
{
    return entry.size() == prefix.size() + 6 && entry.startsWith(prefix);
}

// Finishes or takes back what interrupted restores left in and beside target. Folders that a
// running restore holds stay. Names what could not be cleared in stays.
void CleanLeftovers(const QByteArray& target, QStringList& stays)
{
    const QFileInfo info(QFile::decodeName(target));
    const QByteArray parent = QFile::encodeName(info.absolutePath());
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.isEmpty())
        return;
    const std::vector<QByteArray> beside = AllEntries(parent);
    // An old folder first: one taken away between the two renames of a swap comes back.
    for (const QByteArray& kind : {QByteArray(".old-"), QByteArray(".restore-")}) {
        const QByteArray prefix = "." + name + kind;
        for (const QByteArray& entry : beside) {
            const QByteArray path = Join(parent, entry);
            Fd lock;
            if (!IsStagingName(entry, prefix) || !LockFolder(path, lock))
                continue;
            bool gone;
            if (Kind(target) == 0)
                gone = kind == ".old-" ? Rename(path, target) : DropFolder(path);
            else
                gone = FinishOld(path, target);
            if (!gone)
                stays << Shown(path);
        }
    }
    if (Kind(target) != S_IFDIR)
        return;
    std::set<QByteArray> suffixes;
    for (const QByteArray& entry : AllEntries(target)) {
        for (const QByteArray& prefix : {InsideRestore, InsideNew, InsideOld}) {
            if (IsStagingName(entry, prefix))
                suffixes.insert(entry.right(6));
        }
    }
    for (const QByteArray& suffix : suffixes) {
        const QByteArray restoring = Join(target, InsideRestore + suffix);
        const QByteArray fresh = Join(target, InsideNew + suffix);
        const QByteArray old = Join(target, InsideOld + suffix);
        std::vector<QByteArray> present;
        Fd locks[3];
        bool busy = false;
        int i = 0;
        for (const QByteArray& path : {restoring, fresh, old}) {
            if (Kind(path) != S_IFDIR)
                continue;
            present.push_back(path);
            busy = busy || !LockFolder(path, locks[i++]);
        }
        if (busy || present.empty())
            continue;
        bool ok = true;
        if (Kind(fresh) == S_IFDIR) {
            // The restored files were complete and moving in: finish moving them.
            ok = MoveAll(fresh, target) && ::rmdir(fresh.constData()) == 0;
            if (ok)
                SyncFolder(target);
            ok = ok && DropFolder(old) && DropFolder(restoring);
        } else if (Kind(old) == S_IFDIR && Kind(restoring) == S_IFDIR) {
            // The folder's files were moving out: put them back.
            ok = MoveAll(old, target) && ::rmdir(old.constData()) == 0;
            if (ok)
                SyncFolder(target);
            ok = ok && DropFolder(restoring);
        } else {
            ok = DropFolder(restoring) && DropFolder(old);
        }
        if (!ok) {
            for (const QByteArray& path : present) {
                if (Kind(path) == S_IFDIR)
                    stays << Shown(path);
            }
        }
    }
}

// ---- The engine's lock on Docs.db

// A lock on Docs.db taken through the engine's own file layer, so that it meets the engine's
// locks held in this process as well as in others: a running Quietbox holds its database
// exclusively. While held, the file is read through it: closing another descriptor of the file
// would drop every lock this process holds on it.
class EngineLock
{
public:
    EngineLock() = default;
    ~EngineLock() { Release(); }
    EngineLock(const EngineLock&) = delete;
    EngineLock& operator=(const EngineLock&) = delete;

    // Raises the lock to level (SQLITE_LOCK_SHARED, _RESERVED or _EXCLUSIVE). SQLITE_BUSY when
    // another holder excludes it; a refused level leaves the lock where it was.
    int Take(const QByteArray& path, int level)
    {
        if (!m_file) {
            m_vfs = sqlite3_vfs_find(nullptr);
            if (!m_vfs)
                return SQLITE_ERROR;
            m_path = path; // the file layer keeps a pointer to it
            m_memory.assign(size_t(m_vfs->szOsFile) / sizeof(sqlite3_int64) + 1, 0);
            auto* file = reinterpret_cast<sqlite3_file*>(m_memory.data());
            int flags = 0;
            const int rc
                = m_vfs->xOpen(m_vfs, m_path.constData(), file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MAIN_DB, &flags);
            if (rc != SQLITE_OK) {
                if (file->pMethods)
                    file->pMethods->xClose(file);
                return rc;
            }
            m_file = file;
        }
        for (int next = m_level + 1; next <= level; ++next) {
            if (next == SQLITE_LOCK_PENDING)
                continue;
            const int rc = m_file->pMethods->xLock(m_file, next);
            if (rc != SQLITE_OK) {
                if (next == SQLITE_LOCK_EXCLUSIVE) {
                    // A refused exclusive lock leaves a pending one, which would stop new readers.
                    m_file->pMethods->xUnlock(m_file, SQLITE_LOCK_SHARED);
                    m_level = SQLITE_LOCK_SHARED;
                }
                return rc;
            }
            m_level = next;
        }
        return SQLITE_OK;
    }
    void Shared()
    {
        if (m_file && m_level > SQLITE_LOCK_SHARED) {
            m_file->pMethods->xUnlock(m_file, SQLITE_LOCK_SHARED);
            m_level = SQLITE_LOCK_SHARED;
        }
    }
    // Whether a writer holds a reserved lock; asked while holding a shared one.
    bool ReservedElsewhere()
    {
        int reserved = 0;
        return m_file && (m_file->pMethods->xCheckReservedLock(m_file, &reserved) != SQLITE_OK || reserved != 0);
    }
    bool Held() const { return m_file && m_level >= SQLITE_LOCK_SHARED; }
    bool Read(char* data, qint64 length, qint64 offset)
    {
        return m_file->pMethods->xRead(m_file, data, int(length), offset) == SQLITE_OK;
    }
    void Release()
    {
        if (!m_file)
            return;
        m_file->pMethods->xUnlock(m_file, SQLITE_LOCK_NONE);
        m_file->pMethods->xClose(m_file);
        m_file = nullptr;
        m_level = SQLITE_LOCK_NONE;
    }

private:
    sqlite3_vfs* m_vfs = nullptr;
    std::vector<sqlite3_int64> m_memory;
    sqlite3_file* m_file = nullptr;
    QByteArray m_path;
    int m_level = SQLITE_LOCK_NONE;
};

QString InUse(const QByteArray& folder)
{
    return QStringLiteral("The database %1 is in use (another Quietbox has it open): close it there first.")
        .arg(Shown(folder));
}

// Whether a journal starts with a header: the engine zeroes it when a transaction ends.
bool HasJournalHeader(const QByteArray& db, const QByteArray& journal)
{
    struct stat dbInfo
    {
    };
    // Over an empty database the engine drops any journal.
    if (::stat(db.constData(), &dbInfo) != 0 || dbInfo.st_size == 0)
        return false;
    Fd fd(::open(journal.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    char first = 0;
    if (fd.Get() < 0)
        return errno != ENOENT; // unreadable: leave it to the engine
    const ssize_t n = ::pread(fd.Get(), &first, 1, 0);
    return n < 0 || (n == 1 && first != 0);
}

// Takes a shared lock on the folder's Docs.db into lock and removes the engine's stale files.
// Failed when the database is in use, or, with refuseHot, when it must first recover.
int TidyDatabase(const QByteArray& folder, EngineLock& lock, bool refuseHot, QString* error)
{
    const QByteArray db = Join(folder, QFile::encodeName(TDatabaseConnection::FileName));
    if (Kind(db) != S_IFREG)
        return Ok; // no database file: nothing of the engine's to judge
    const int rc = lock.Take(db, SQLITE_LOCK_SHARED);
    if (rc == SQLITE_BUSY)
        return Report(error, Failed, InUse(folder));
    if (rc != SQLITE_OK)
        return Ok; // unreadable: reading it says why
    const QByteArray journal = db + "-journal";
    const bool hasJournal = Kind(journal) == S_IFREG;
    // A writer's journal is alive; without one, a journal with a header is hot.
    const bool live = hasJournal && lock.ReservedElsewhere();
    const bool hot = hasJournal && !live && HasJournalHeader(db, journal);
    if (hot && refuseHot)
        return Report(error, Failed,
                      QStringLiteral("The database %1 was not closed properly: open it once so that it recovers, "
                                     "then try again.")
                          .arg(Shown(folder)));
    std::vector<QByteArray> stale;
    for (const QString& suffix : TDatabaseConnection::CompanionSuffixes()) {
        const QByteArray file = db + QFile::encodeName(suffix);
        if (suffix.startsWith(QLatin1Char('.')) && Kind(file) == S_IFREG) // a rewrite's, not the engine's own
            stale.push_back(file);
    }
    if (stale.empty() && (!hasJournal || live || hot))
        return Ok;
    // Removed under an exclusive lock only, so that nobody starts to use them meanwhile.
    if (lock.Take(db, SQLITE_LOCK_EXCLUSIVE) != SQLITE_OK)
        return Ok; // a reader: they stay, and are not archived
    if (hasJournal && !live && !HasJournalHeader(db, journal))
        stale.push_back(journal);
    for (const QByteArray& path : stale)
        Shred(path);
    SyncFolder(folder);
    lock.Shared();
    return Ok;
}

// Failed when a running Quietbox (or any writer) holds the folder's database.
int CheckNotInUse(const QByteArray& folder, QString* error)
{
    const QByteArray db = Join(folder, QFile::encodeName(TDatabaseConnection::FileName));
    EngineLock probe;
    if (Kind(db) == S_IFREG && probe.Take(db, SQLITE_LOCK_SHARED) == SQLITE_BUSY)
        return Report(error, Failed, InUse(folder));
    return Ok;
}

int OpenArchive(const QString& archiveFile, QFile& file, QString* error)
{
    const QFileInfo info(archiveFile);
    if (!info.exists())
        return Report(error, NoArchive, QStringLiteral("The archive %1 does not exist").arg(archiveFile));
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return Report(error, Failed, QStringLiteral("Cannot open the archive %1").arg(archiveFile));
    return Ok;
}

} // namespace

int RoundedPercent(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return 100;
    const qint64 scaled = part * 100;
    qint64 q = scaled / whole;
    const qint64 r = scaled % whole;
    if (2 * r > whole || (2 * r == whole && (q % 2) != 0))
        ++q;
    return static_cast<int>(q);
}

namespace {

// The operations proper; the public ones below turn what they throw into a result code.
int Backup(const QString& folder, const QString& archiveFile, const ProgressCallback& callback, int threads,
           QString* error)
{
    const QString path = TrimmedFolder(folder);
    Fd dir(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Report(error, NothingToBackUp, QStringLiteral("The folder %1 does not exist").arg(path));
        return Report(error, Failed, QStringLiteral("Cannot read the folder %1: %2").arg(path, SystemError()));
    }
    // An interrupted restore is finished first, unless the database is in use.
    if (const int rc = CheckNotInUse(QFile::encodeName(path), error))
        return rc;
    QStringList leftovers;
    CleanLeftovers(QFile::encodeName(path), leftovers);
    // Held to the end: nobody writes the database while it is read.
    EngineLock lock;
    if (const int rc = TidyDatabase(QFile::encodeName(path), lock, true, error))
        return rc;

    std::vector<Listed> files;
    if (!ListFiles(dir.Get(), files))
        return Report(error, Failed, QStringLiteral("Cannot list the folder %1: %2").arg(path, SystemError()));
    files.erase(std::remove_if(files.begin(), files.end(), [](const Listed& f) { return IsEngineTemporary(f.name); }),
                files.end());
    if (files.empty())
        return Report(error, NothingToBackUp, QStringLiteral("The folder %1 holds no file").arg(path));

    // What the format cannot carry is refused before anything is written.
    QByteArray list;
    qint64 total = 0;
    for (const Listed& f : files) {
        if (f.name.contains('\r') || f.name.contains('\n'))
            return Report(error, Failed, QStringLiteral("A file name holds a line break: %1").arg(QuotedName(f.name)));
        if (f.size > INT_MAX)
            return Report(error, Failed, QStringLiteral("%1 is 2 GiB or larger").arg(QuotedName(f.name)));
        total += f.size;
        list += f.name + "\r\n";
    }
    if (total > INT_MAX)
        return Report(error, Failed, QStringLiteral("The folder holds 2 GiB or more"));
    if (list.size() > BlockSize)
        return Report(error, Failed, QStringLiteral("The folder holds too many files for one archive"));

    QSaveFile archive(archiveFile);
    // The archive holds the database: its owner's alone, whatever the umask or an old file's mode.
    if (!archive.open(QIODevice::WriteOnly)
        || !archive.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return Report(error, Failed,
                      QStringLiteral("Cannot create the archive %1: %2").arg(archiveFile, archive.errorString()));

    const QByteArray dbName = QFile::encodeName(TDatabaseConnection::FileName);
    bool stop = false;
    try {
        TPackStream pack(&archive, threads);
        pack.WriteRaw("BACKUP", 6);
        pack.Write(list.constData(), list.size());
        pack.Flush();
        pack.Finish();

        qint64 done = 0;
        pack.BlockWritten = [&](qint64 bytes) {
            done += bytes;
            if (callback && !stop)
                callback(RoundedPercent(done, total), stop);
        };
        std::vector<char> chunk(static_cast<size_t>(BlockSize));
        for (const Listed& f : files) {
            const QByteArray size = LittleEndian32(f.size);
            pack.WriteRaw(size.constData(), 4);
            const bool throughLock = f.name == dbName && lock.Held();
            Fd in;
            if (!throughLock) {
                in.Reset(::openat(dir.Get(), f.name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
                if (in.Get() < 0)
                    throw QbError(QStringLiteral("Cannot open %1: %2").arg(QuotedName(f.name), SystemError()));
            }
            // Exactly the listed size goes in, so the archive always reads back; a file that
            // shrank meanwhile is a failure, not a silently broken archive.
            for (qint64 offset = 0; offset < f.size && !stop; offset += BlockSize) {
                const qint64 n = std::min(BlockSize, f.size - offset);
                if (!(throughLock ? lock.Read(chunk.data(), n, offset) : FileOps::ReadFully(in.Get(), chunk.data(), n)))
                    throw QbError(QStringLiteral("Cannot read %1 (did it change?)").arg(QuotedName(f.name)));
                pack.Write(chunk.data(), n);
            }
            pack.Flush();
            if (stop)
                break;
        }
        if (!stop)
            pack.Finish();
    } catch (const QbError& e) {
        archive.cancelWriting();
        return Report(error, Failed, e.Message());
    }
    if (stop) {
        archive.cancelWriting();
        return Report(error, Stopped, QStringLiteral("Stopped"));
    }
    if (!archive.commit())
        return Report(error, Failed,
                      QStringLiteral("Cannot write the archive %1: %2").arg(archiveFile, archive.errorString()));
    return Ok;
}

// Reads the whole archive into folder, from its start.
int Extract(QFile& archive, const QByteArray& folder, const ProgressCallback& callback, int threads,
            std::vector<QByteArray>& names, QString* error)
{
    if (!archive.seek(0))
        return Report(error, Failed, QStringLiteral("Cannot read the archive: %1").arg(archive.errorString()));
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0)
        return Report(error, Failed, QStringLiteral("Cannot open the folder %1: %2").arg(Shown(folder), SystemError()));
    ArchiveReader reader(&archive, threads);
    FolderSink sink(dir.Get());
    int rc = reader.ReadHeader();
    if (rc == Ok)
        rc = reader.ReadFiles(&sink, callback);
    if (rc == Ok && ::fsync(dir.Get()) != 0)
        return Report(error, Failed, QStringLiteral("Cannot write the restored files: %1").arg(SystemError()));
    if (rc != Ok)
        return Report(error, rc,
                      reader.Error().isEmpty() ? QStringLiteral("Cannot write the restored files") : reader.Error());
    names = reader.Names();
    return Ok;
}

// A restored file cannot take the place of a subfolder: refused before anything moves.
int CheckNothingInTheWay(const QByteArray& target, const std::vector<QByteArray>& names, QString* error)
{
    for (const QByteArray& name : names) {
        if (Kind(Join(target, name)) == S_IFDIR)
            return Report(error, Failed,
                          QStringLiteral("The folder %1 holds a subfolder %2 where the archive has a file")
                              .arg(Shown(target), QuotedName(name)));
    }
    return Ok;
}

// Until disarmed, takes a staging folder away on every way out, an exception included.
struct StagingGuard
{
    QByteArray path;
    bool armed = true;
    ~StagingGuard()
    {
        if (armed)
            DropFolder(path);
    }
    // Takes it away now; its name when it stays.
    QString Drop()
    {
        armed = false;
        return DropFolder(path) ? QString() : Shown(path);
    }
};

QStringList Named(const QString& path)
{
    return path.isEmpty() ? QStringList() : QStringList{path};
}

QString LeftOver(const QStringList& stays)
{
    return stays.isEmpty() ? QString()
                           : QStringLiteral(" Left over: %1; the next restore or opening of the database clears it.")
                                 .arg(stays.join(QStringLiteral(", ")));
}

// The restored files swapped in with the folder itself, staged beside it. insideInstead: the
// swap is impossible here (nothing was changed).
int RestoreBeside(QFile& archive, const QByteArray& target, bool targetExists, const ProgressCallback& callback,
                  int threads, bool& insideInstead, QString* error)
{
    const QFileInfo info(QFile::decodeName(target));
    const QByteArray parent = QFile::encodeName(info.absolutePath());
    const QByteArray prefix = parent + "/." + QFile::encodeName(info.fileName());
    StagingGuard staging{prefix + ".restore-XXXXXX"};
    if (!MakeTempFolder(staging.path)) {
        staging.armed = false;
        if (targetExists && SwapRefused(errno)) {
            insideInstead = true;
            return Ok;
        }
        return Report(error, Failed,
                      QStringLiteral("Cannot create a folder beside %1: %2").arg(Shown(target), SystemError()));
    }
    Fd stagingLock;
    LockFolder(staging.path, stagingLock);
    std::vector<QByteArray> names;
    if (const int rc = Extract(archive, staging.path, callback, threads, names, error))
        return rc;

    if (!targetExists) {
        if (!Rename(staging.path, target)) {
            const QString why = SystemError();
            return Report(error, Failed,
                          QStringLiteral("Cannot create the folder %1: %2.").arg(Shown(target), why)
                              + LeftOver(Named(staging.Drop())));
        }
        staging.armed = false;
        SyncFolder(parent);
        return Ok;
    }
    if (const int rc = CheckNothingInTheWay(target, names, error))
        return rc;
    struct stat st
    {
    };
    if (::stat(target.constData(), &st) == 0)
        ::chmod(staging.path.constData(), st.st_mode & 07777);

    // One atomic exchange where the file system offers it, else two renames with a way back.
    QByteArray old = staging.path; // the old content, once swapped
    if (!Rename(staging.path, target, RENAME_EXCHANGE)) {
        old = prefix + ".old-XXXXXX";
        if (!MakeTempFolder(old)) {
            if (SwapRefused(errno)) {
                insideInstead = true;
                return Ok;
            }
            return Report(error, Failed,
                          QStringLiteral("Cannot create a folder beside %1: %2").arg(Shown(target), SystemError()));
        }
        if (!Rename(target, old)) { // onto the empty folder just made
            const int e = errno;
            ::rmdir(old.constData());
            if (SwapRefused(e)) {
                insideInstead = true;
                return Ok;
            }
            errno = e;
            return Report(error, Failed,
                          QStringLiteral("Cannot replace the folder %1: %2").arg(Shown(target), SystemError()));
        }
        if (!Rename(staging.path, target)) {
            const QString why = SystemError();
            if (!Rename(old, target)) {
                staging.armed = false;
                return Report(error, Failed,
                              QStringLiteral("Cannot replace the folder %1: %2. Its content is in %3, the restored "
                                             "files are in %4; the next restore or opening of the database puts "
                                             "the content back.")
                                  .arg(Shown(target), why, Shown(old), Shown(staging.path)));
            }
            const QString stays = staging.Drop();
            return Report(error, Failed,
                          QStringLiteral("Cannot replace the folder %1: %2.").arg(Shown(target), why)
                              + LeftOver(Named(stays)));
        }
    }
    staging.armed = false;
    SyncFolder(parent);
    if (!FinishOld(old, target))
        Report(error, Ok, LeftOver({Shown(old)}).trimmed());
    return Ok;
}

// The restored files staged inside the folder and moved into place one by one: for a folder that
// cannot itself be replaced. Each step is checked and taken back on a failure; a run killed on
// the way is finished or taken back by the next one (CleanLeftovers) from the staging names.
int RestoreInside(QFile& archive, const QByteArray& target, const ProgressCallback& callback, int threads,
                  QString* error)
{
    StagingGuard staging{target + "/" + InsideRestore + "XXXXXX"};
    if (!MakeTempFolder(staging.path)) {
        staging.armed = false;
        return Report(error, Failed,
                      QStringLiteral("Cannot create a folder in %1: %2").arg(Shown(target), SystemError()));
    }
    const QByteArray suffix = staging.path.right(6);
    const QByteArray fresh = Join(target, InsideNew + suffix);
    const QByteArray old = Join(target, InsideOld + suffix);
    Fd stagingLock;
    LockFolder(staging.path, stagingLock);
    std::vector<QByteArray> names;
    if (const int rc = Extract(archive, staging.path, callback, threads, names, error))
        return rc;
    if (const int rc = CheckNothingInTheWay(target, names, error))
        return rc;

    // Out of the way: the folder's files, and whatever else stands where a restored file goes.
    const std::set<QByteArray> restored(names.begin(), names.end());
    std::vector<QByteArray> moving;
    for (const QByteArray& name : AllEntries(target)) {
        const mode_t kind = Kind(Join(target, name));
        if (kind == S_IFREG || (kind != S_IFDIR && restored.count(name)))
            moving.push_back(name);
    }
    if (!MakeFolder(old))
        return Report(error, Failed,
                      QStringLiteral("Cannot create a folder in %1: %2").arg(Shown(target), SystemError()));
    Fd oldLock;
    LockFolder(old, oldLock);

    std::vector<QByteArray> movedOut;
    std::vector<QByteArray> placed;
    QString why;
    // Takes everything back; what stays is named. The staging folder goes last: while the old
    // folder stays, the pair tells the next run to put the files back.
    auto fail = [&]() {
        QStringList stays;
        bool newBack = true;
        for (auto it = placed.rbegin(); it != placed.rend() && newBack; ++it)
            newBack = Rename(Join(target, *it), Join(fresh, *it));
        if (!placed.empty() || Kind(fresh) == S_IFDIR)
            newBack = newBack && Rename(fresh, staging.path);
        if (!newBack) {
            staging.armed = false;
            stays << Shown(fresh) << Shown(old);
        } else {
            bool oldBack = true;
            for (auto it = movedOut.rbegin(); it != movedOut.rend() && oldBack; ++it)
                oldBack = Rename(Join(old, *it), Join(target, *it));
            if (oldBack && ::rmdir(old.constData()) == 0) {
                const QString left = staging.Drop();
                if (!left.isEmpty())
                    stays << left;
            } else {
                staging.armed = false;
                stays << Shown(old) << Shown(staging.path);
            }
        }
        SyncFolder(target);
        return Report(error, Failed,
                      QStringLiteral("Cannot move the restored files into %1: %2.").arg(Shown(target), why)
                          + LeftOver(stays));
    };
    for (const QByteArray& name : moving) {
        if (!Rename(Join(target, name), Join(old, name))) {
            why = SystemError();
            return fail();
        }
        movedOut.push_back(name);
    }
    SyncFolder(old);
    SyncFolder(target);
    // The rename marks the point from which a killed run is finished rather than taken back.
    if (!Rename(staging.path, fresh)) {
        why = SystemError();
        return fail();
    }
    SyncFolder(target);
    for (const QByteArray& name : names) {
        if (!Rename(Join(fresh, name), Join(target, name))) {
            why = SystemError();
            return fail();
        }
        placed.push_back(name);
    }
    staging.armed = false;
    SyncFolder(target);
    QStringList stays;
    if (::rmdir(fresh.constData()) != 0)
        stays << Shown(fresh);
    if (!DropFolder(old))
        stays << Shown(old);
    SyncFolder(target);
    if (!stays.isEmpty())
        Report(error, Ok, LeftOver(stays).trimmed());
    return Ok;
}

int Restore(const QString& archiveFile, const QString& folder, const ProgressCallback& callback, int threads,
            QString* error)
{
    QFile archive(archiveFile);
    if (const int rc = OpenArchive(archiveFile, archive, error))
        return rc;

    QString target = TrimmedFolder(folder);
    if (!QFileInfo(target).exists() && !QFileInfo(target).isSymLink()) {
        // A folder taken away by an interrupted swap comes back first.
        QStringList stays;
        CleanLeftovers(QFile::encodeName(target), stays);
    }
    const QFileInfo targetInfo(target);
    const bool targetExists = targetInfo.exists() || targetInfo.isSymLink();
    if (targetExists) {
        if (!targetInfo.isDir())
            return Report(error, Failed, QStringLiteral("%1 is not a folder").arg(target));
        target = targetInfo.canonicalFilePath(); // the folder itself, not a link to it, is swapped
    }
    const QFileInfo resolved(target);
    const QString parent = resolved.absolutePath();
    if (resolved.fileName().isEmpty() || !QFileInfo(parent).isDir())
        return Report(error, Failed, QStringLiteral("Cannot create the folder %1").arg(target));
    if (targetExists && QFileInfo(archiveFile).canonicalPath() == target)
        return Report(error, Failed, QStringLiteral("The archive cannot be restored into its own folder"));

    const QByteArray targetName = QFile::encodeName(target);
    // Held to the end: nobody opens the old database, and no other restore runs into the folder.
    Fd folderLock;
    EngineLock lock;
    if (targetExists) {
        if (!LockFolder(targetName, folderLock) && errno == EWOULDBLOCK)
            return Report(error, Failed, QStringLiteral("Another restore into %1 is running").arg(Shown(targetName)));
        const QByteArray db = Join(targetName, QFile::encodeName(TDatabaseConnection::FileName));
        if (Kind(db) == S_IFREG) {
            // A file that cannot be written takes no exclusive lock, but its shared one still meets a holder.
            if (lock.Take(db, SQLITE_LOCK_EXCLUSIVE) == SQLITE_BUSY)
                return Report(error, Failed, InUse(targetName));
        }
    }
    QStringList leftovers;
    CleanLeftovers(targetName, leftovers);

    // A mount point cannot be renamed: stage inside it from the start.
    struct stat self
    {
    }, above{};
    bool inside = targetExists && ::stat(targetName.constData(), &self) == 0
        && ::stat(QFile::encodeName(parent).constData(), &above) == 0 && self.st_dev != above.st_dev;
    if (!inside) {
        const int rc = RestoreBeside(archive, targetName, targetExists, callback, threads, inside, error);
        if (!inside)
            return rc;
    }
    return RestoreInside(archive, targetName, callback, threads, error);
}

int Verify(const QString& archiveFile, const ProgressCallback& callback, int threads, QString* error)
{
    QFile archive(archiveFile);
    if (const int rc = OpenArchive(archiveFile, archive, error))
        return rc;
    ArchiveReader reader(&archive, threads);
    int rc = reader.ReadHeader();
    if (rc == Ok)
        rc = reader.ReadFiles(nullptr, callback);
    return Report(error, rc, reader.Error());
}

int List(const QString& archiveFile, QList<Entry>& entries, QString* error)
{
    entries.clear();
    QFile archive(archiveFile);
    if (const int rc = OpenArchive(archiveFile, archive, error))
        return rc;
    ArchiveReader reader(&archive, 1);
    std::vector<qint64> sizes;
    int rc = reader.ReadHeader();
    if (rc == Ok)
        rc = reader.ReadSizes(sizes);
    if (rc != Ok)
        return Report(error, rc, reader.Error());
    for (size_t i = 0; i < sizes.size(); ++i)
        entries.append({reader.Names()[i], sizes[i]});
    return Ok;
}

// Out of memory, or no thread to be had: a failure like any other, never an exception
// escaping to a caller that only expects a code (or to a worker thread, where it would end
// the program).
template <typename Operation> int Guarded(QString* error, Operation operation)
{
    try {
        return operation();
    } catch (const std::exception& e) {
        return Report(error, Failed,
                      QStringLiteral("Cannot complete the operation: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

} // namespace

int BackupFolder(const QString& folder, const QString& archiveFile, const ProgressCallback& callback, int threads,
                 QString* error)
{
    return Guarded(error, [&] { return Backup(folder, archiveFile, callback, threads, error); });
}

int RestoreFolder(const QString& archiveFile, const QString& folder, const ProgressCallback& callback, int threads,
                  QString* error)
{
    return Guarded(error, [&] { return Restore(archiveFile, folder, callback, threads, error); });
}

int VerifyArchive(const QString& archiveFile, const ProgressCallback& callback, int threads, QString* error)
{
    return Guarded(error, [&] { return Verify(archiveFile, callback, threads, error); });
}

int ListArchive(const QString& archiveFile, QList<Entry>& entries, QString* error)
{
    return Guarded(error, [&] { return List(archiveFile, entries, error); });
}

bool RemoveStaleCompanions(const QString& folder, QString* error)
{
    return Guarded(error,
                   [&] {
                       const QByteArray path = QFile::encodeName(TrimmedFolder(folder));
                       // What a running Quietbox holds is its own.
                       if (CheckNotInUse(path, nullptr) != Ok)
                           return int(Ok);
                       QStringList stays;
                       CleanLeftovers(path, stays);
                       EngineLock lock;
                       TidyDatabase(path, lock, false, nullptr);
                       if (stays.isEmpty())
                           return int(Ok);
                       return Report(error, Failed,
                                     QStringLiteral("Cannot clear what an interrupted restore left: %1")
                                         .arg(stays.join(QStringLiteral(", "))));
                   })
        == Ok;
}

bool IsEngineTemporary(const QByteArray& name)
{
    const QByteArray db = QFile::encodeName(TDatabaseConnection::FileName);
    for (const QString& suffix : TDatabaseConnection::CompanionSuffixes()) {
        if (name == db + QFile::encodeName(suffix))
            return true;
    }
    return false;
}

void SetFaultHook(FaultHook hook)
{
    g_faultHook = std::move(hook);
}

QString InUseRefusal(const QString& folder)
{
    QString why;
    CheckNotInUse(QFile::encodeName(folder), &why);
    return why;
}

} // namespace BackRest
