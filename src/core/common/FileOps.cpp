// Small POSIX file operations shared by the database and the archive code.
#include "core/common/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace FileOps {

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

namespace {

// Repeats a read or write until length bytes have moved; false on a failure or an early end.
template <typename Data, typename Call> bool Fully(Data data, qint64 length, Call call)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = call(data + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool WriteFully(int fd, const char* data, qint64 length)
{
    return Fully(data, length, [fd](const char* at, size_t n) { return ::write(fd, at, n); });
}

bool ReadFully(int fd, char* data, qint64 length)
{
    return Fully(data, length, [fd](char* at, size_t n) { return ::read(fd, at, n); });
}

bool SyncPath(const QByteArray& path, bool folder)
{
    const int fd = ::open(path.constData(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool Rename(const QByteArray& from, const QByteArray& to)
{
    return ::rename(from.constData(), to.constData()) == 0;
}

void Shred(const QByteArray& path)
{
    constexpr qint64 Block = 1024 * 1024;
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1) {
        // A file of ours made read-only is still ours to overwrite.
        if ((st.st_mode & S_IWUSR) == 0)
            ::fchmodat(AT_FDCWD, path.constData(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW);
        const int fd = ::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        // Judged again on what was opened: the name may have changed meanwhile.
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1) {
            const std::vector<char> zeros(size_t(std::min<qint64>(st.st_size, Block)), 0);
            for (qint64 done = 0; done < st.st_size;) {
                const qint64 n = std::min<qint64>(Block, st.st_size - done);
                if (!WriteFully(fd, zeros.data(), n))
                    break;
                done += n;
            }
            ::fsync(fd);
        }
        if (fd >= 0)
            ::close(fd);
    }
    ::unlink(path.constData());
}

} // namespace FileOps
