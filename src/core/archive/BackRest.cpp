#include "core/archive/BackRest.h"

#include "core/archive/ArchiveReader.h"
#include "core/archive/PackStream.h"
#include "core/common/QbError.h"

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

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

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

// Reads exactly length bytes; false on a failure or an early end.
bool ReadFully(int fd, char* data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd, data + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool WriteFully(int fd, const char* data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
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

// Removes the staging folder's regular files and the folder itself, as far as they are ours.
void RemoveStaging(const QByteArray& path)
{
    Fd dir(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.Get() < 0)
        return;
    std::vector<Listed> files;
    ListFiles(dir.Get(), files);
    for (const Listed& f : files)
        ::unlinkat(dir.Get(), f.name.constData(), 0);
    ::rmdir(path.constData());
}

// Puts an old entry that is no file (a subfolder, a link) back into the restored folder, never in
// place of a restored file: one of the same name that is no folder gives way to the restored file.
void MoveBack(int oldDir, int newDir, const QByteArray& name)
{
    if (::renameat2(oldDir, name.constData(), newDir, name.constData(), RENAME_NOREPLACE) == 0)
        return;
    if (errno == EINVAL) {
        // A file system without RENAME_NOREPLACE: look first.
        struct stat there
        {
        };
        if (::fstatat(newDir, name.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
            ::renameat(oldDir, name.constData(), newDir, name.constData());
            return;
        }
        errno = EEXIST;
    }
    struct stat old
    {
    };
    if (errno == EEXIST && ::fstatat(oldDir, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(old.st_mode))
        ::unlinkat(oldDir, name.constData(), 0);
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
    std::vector<Listed> files;
    if (!ListFiles(dir.Get(), files))
        return Report(error, Failed, QStringLiteral("Cannot list the folder %1: %2").arg(path, SystemError()));
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
    if (!archive.open(QIODevice::WriteOnly))
        return Report(error, Failed,
                      QStringLiteral("Cannot create the archive %1: %2").arg(archiveFile, archive.errorString()));

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
            Fd in(::openat(dir.Get(), f.name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (in.Get() < 0)
                throw QbError(QStringLiteral("Cannot open %1: %2").arg(QuotedName(f.name), SystemError()));
            // Exactly the listed size goes in, so the archive always reads back; a file that
            // shrank meanwhile is a failure, not a silently broken archive.
            for (qint64 offset = 0; offset < f.size && !stop; offset += BlockSize) {
                const qint64 n = std::min(BlockSize, f.size - offset);
                if (!ReadFully(in.Get(), chunk.data(), n))
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

int Restore(const QString& archiveFile, const QString& folder, const ProgressCallback& callback, int threads,
            QString* error)
{
    QFile archive(archiveFile);
    if (const int rc = OpenArchive(archiveFile, archive, error))
        return rc;

    QString target = TrimmedFolder(folder);
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

    QByteArray staging
        = QFile::encodeName(parent + QStringLiteral("/.") + resolved.fileName() + QStringLiteral(".restore-XXXXXX"));
    if (!::mkdtemp(staging.data()))
        return Report(error, Failed, QStringLiteral("Cannot create a folder beside %1: %2").arg(target, SystemError()));
    // Until the swap, every way out (an exception included) takes the staging folder away.
    struct StagingGuard
    {
        const QByteArray& path;
        bool armed = true;
        ~StagingGuard()
        {
            if (armed)
                RemoveStaging(path);
        }
    } stagingGuard{staging};

    int rc = Ok;
    {
        Fd stagingFd(::open(staging.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (stagingFd.Get() < 0) {
            return Report(error, Failed, QStringLiteral("Cannot open the staging folder: %1").arg(SystemError()));
        }
        ArchiveReader reader(&archive, threads);
        FolderSink sink(stagingFd.Get());
        rc = reader.ReadHeader();
        if (rc == Ok)
            rc = reader.ReadFiles(&sink, callback);
        if (rc == Ok && ::fsync(stagingFd.Get()) != 0)
            rc = Report(nullptr, Failed, {});
        if (rc != Ok) {
            const QString why
                = reader.Error().isEmpty() ? QStringLiteral("Cannot write the restored files") : reader.Error();
            return Report(error, rc, why);
        }
    }
    archive.close();
    stagingGuard.armed = false;

    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray parentName = QFile::encodeName(parent);
    if (!targetExists) {
        if (::rename(staging.constData(), targetName.constData()) != 0) {
            const QString why = SystemError();
            RemoveStaging(staging);
            return Report(error, Failed, QStringLiteral("Cannot create the folder %1: %2").arg(target, why));
        }
    } else {
        struct stat st
        {
        };
        if (::stat(targetName.constData(), &st) == 0)
            ::chmod(staging.constData(), st.st_mode & 07777);
        // One atomic exchange where the file system offers it, else two renames with a way back.
        if (::renameat2(AT_FDCWD, staging.constData(), AT_FDCWD, targetName.constData(), RENAME_EXCHANGE) != 0) {
            QByteArray old = QFile::encodeName(parent + QStringLiteral("/.") + resolved.fileName()
                                               + QStringLiteral(".old-XXXXXX"));
            bool moved = false;
            if (::mkdtemp(old.data()) && ::rmdir(old.constData()) == 0
                && ::rename(targetName.constData(), old.constData()) == 0) {
                if (::rename(staging.constData(), targetName.constData()) == 0)
                    moved = true;
                else
                    ::rename(old.constData(), targetName.constData());
            }
            if (!moved) {
                const QString why = SystemError();
                RemoveStaging(staging);
                return Report(error, Failed, QStringLiteral("Cannot replace the folder %1: %2").arg(target, why));
            }
            staging = old;
        }
        // staging now holds the old content: its subfolders and other non-files stay with the
        // database folder, its files go.
        Fd oldDir(::open(staging.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        Fd newDir(::open(targetName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (oldDir.Get() >= 0 && newDir.Get() >= 0) {
            std::vector<Listed> files;
            ListFiles(oldDir.Get(), files);
            for (const Listed& f : files)
                ::unlinkat(oldDir.Get(), f.name.constData(), 0);
            if (DIR* rest = ::fdopendir(::fcntl(oldDir.Get(), F_DUPFD_CLOEXEC, 0))) {
                ::rewinddir(rest);
                std::vector<QByteArray> others;
                while (const dirent* entry = ::readdir(rest)) {
                    const QByteArray name(entry->d_name);
                    if (name != "." && name != "..")
                        others.push_back(name);
                }
                ::closedir(rest);
                for (const QByteArray& name : others)
                    MoveBack(oldDir.Get(), newDir.Get(), name);
            }
            ::fsync(newDir.Get());
        }
        ::rmdir(staging.constData()); // stays only if something in it could not be moved back
    }
    Fd parentFd(::open(parentName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentFd.Get() >= 0)
        ::fsync(parentFd.Get());
    return Ok;
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

} // namespace BackRest
