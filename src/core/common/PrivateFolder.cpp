#include "core/common/PrivateFolder.h"

#include "core/common/FileOps.h"
#include "core/common/QbError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

QString Cause()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A folder of this user that nobody else may enter.
bool IsPrivateFolder(const QString& path)
{
    struct stat st;
    return ::stat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 0777) == 0700;
}

QString UsableRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime) ? QDir::cleanPath(runtime)
                                                                                           : QString();
}

QString CacheFallback()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/private");
}

QString LockPathOf(const QString& folder)
{
    const int slash = int(folder.lastIndexOf(QLatin1Char('/')));
    return folder.left(slash + 1) + QLatin1Char('.') + folder.mid(slash + 1) + QStringLiteral(".lock");
}

// The descriptor still names the file at path: a sweep did not remove it before it was locked.
bool StillAt(int fd, const QString& path)
{
    struct stat held;
    struct stat named;
    return ::fstat(fd, &held) == 0 && ::lstat(Native(path).constData(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}

int OpenLock(const QString& path, int flags)
{
    return ::open(Native(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | flags, 0600);
}

bool TryLock(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

int SweepBase(const QString& base, const QString& prefix)
{
    if (base.isEmpty() || !IsPrivateFolder(base))
        return 0;
    int wiped = 0;
    const QDir dir(base);
    for (const QString& name : dir.entryList({prefix + QLatin1Char('*')},
                                             QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks)) {
        const QString folder = dir.filePath(name);
        const QString lockPath = LockPathOf(folder);
        const int fd = OpenLock(lockPath, 0);
        if (fd >= 0 && !TryLock(fd)) {
            ::close(fd); // a running Quietbox holds it
            continue;
        }
        // No lock file: made by a version without locks, or its removal was cut short.
        TPrivateFolder::WipeFolder(folder);
        if (fd >= 0) {
            if (StillAt(fd, lockPath))
                ::unlink(Native(lockPath).constData());
            ::close(fd);
        }
        ++wiped;
    }
    // Locks whose folder is gone: removed under the lock, so that a folder being made is not hit.
    for (const QString& name : dir.entryList({QLatin1Char('.') + prefix + QStringLiteral("*.lock")},
                                             QDir::Files | QDir::Hidden | QDir::System)) {
        const QString lockPath = dir.filePath(name);
        const QString folder = dir.filePath(name.mid(1, name.size() - 6));
        const int fd = OpenLock(lockPath, 0);
        if (fd < 0)
            continue;
        if (TryLock(fd) && !QFileInfo::exists(folder) && StillAt(fd, lockPath))
            ::unlink(Native(lockPath).constData());
        ::close(fd);
    }
    return wiped;
}

} // namespace

QString TPrivateFolder::Base()
{
    const QString runtime = UsableRuntimeFolder();
    if (!runtime.isEmpty())
        return runtime;
    // No per-user tmpfs: a folder of our own in the user's cache, never the shared /tmp.
    const QString fallback = CacheFallback();
    if (fallback.isEmpty())
        throw QbError(QStringLiteral("There is no private folder for decrypted content: XDG_RUNTIME_DIR is not "
                                     "usable and there is no cache folder."));
    QDir().mkpath(QFileInfo(fallback).path());
    if (::mkdir(Native(fallback).constData(), 0700) != 0 && errno != EEXIST)
        throw QbError(QStringLiteral("Can not make the private folder \"%1\": %2").arg(fallback, Cause()),
                      QbErrorKind::Io);
    struct stat st;
    if (::lstat(Native(fallback).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
        ::chmod(Native(fallback).constData(), 0700); // whatever the umask was
    if (!IsPrivateFolder(fallback) || QFileInfo(fallback).isSymLink())
        throw QbError(
            QStringLiteral("The folder \"%1\" is not private to this user (owner and mode 0700).").arg(fallback),
            QbErrorKind::Io);
    return fallback;
}

TPrivateFolder::TPrivateFolder(const QString& prefix)
{
    const QString base = Base();
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = prefix;
        for (int i = 0; i < 8; ++i)
            name += QLatin1Char(Letters[QRandomGenerator::system()->bounded(int(sizeof(Letters) - 1))]);
        const QString path = base + QLatin1Char('/') + name;
        const QString lockPath = LockPathOf(path);
        const int fd = OpenLock(lockPath, O_CREAT | O_EXCL);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw QbError(QStringLiteral("Can not make a private folder in \"%1\": %2").arg(base, Cause()),
                          QbErrorKind::Io);
        }
        if (::flock(fd, LOCK_EX) != 0 || !StillAt(fd, lockPath)) {
            ::close(fd); // a sweep took the lock file before it was locked
            continue;
        }
        if (::mkdir(Native(path).constData(), 0700) != 0) {
            const int error = errno;
            ::unlink(Native(lockPath).constData());
            ::close(fd);
            if (error == EEXIST)
                continue;
            errno = error;
            throw QbError(QStringLiteral("Can not make a private folder in \"%1\": %2").arg(base, Cause()),
                          QbErrorKind::Io);
        }
        ::chmod(Native(path).constData(), 0700);
        m_path = path;
        m_lockPath = lockPath;
        m_lock = fd;
        return;
    }
    throw QbError(QStringLiteral("Can not make a private folder in \"%1\".").arg(base), QbErrorKind::Io);
}

TPrivateFolder::~TPrivateFolder()
{
    Wipe();
}

void TPrivateFolder::Wipe()
{
    if (m_lock < 0)
        return;
    WipeFolder(m_path);
    ::unlink(Native(m_lockPath).constData());
    ::close(m_lock);
    m_lock = -1;
}

int TPrivateFolder::SweepLeftovers(const QString& prefix)
{
    int wiped = 0;
    QStringList bases{UsableRuntimeFolder(), CacheFallback()};
    bases.removeDuplicates();
    for (const QString& base : bases)
        wiped += SweepBase(base, prefix);
    return wiped;
}

void TPrivateFolder::WipeFolder(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        FileOps::Shred(Native(it.next()));
    QDir(folder).removeRecursively();
}
