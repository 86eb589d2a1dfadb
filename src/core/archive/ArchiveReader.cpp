#include "core/archive/ArchiveReader.h"

#include "core/archive/BlockPool.h"

#include <QIODevice>
#include <QSet>
#include <deque>
#include <zlib.h>

namespace {

// A level-9 stream of 524,288 bytes never comes near this; anything longer is not a block.
constexpr qint32 MaxStoredBlock = 2 * BackRest::BlockSize;

} // namespace

ArchiveReader::ArchiveReader(QIODevice* device, int threads)
    : m_device(device)
    , m_threads(threads)
{
}

int ArchiveReader::Fail(int code, const QString& why)
{
    m_error = why;
    return code;
}

bool ArchiveReader::ReadExactly(char* data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 n = m_device->read(data + done, length - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

int ArchiveReader::ReadInt(qint32& value)
{
    unsigned char bytes[4];
    if (!ReadExactly(reinterpret_cast<char*>(bytes), 4))
        return Fail(BackRest::Failed, QStringLiteral("The archive ends too early"));
    value = static_cast<qint32>(quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16
                                | quint32(bytes[3]) << 24);
    return BackRest::Ok;
}

int ArchiveReader::ReadBlock(std::vector<char>& block)
{
    qint32 length = 0;
    if (const int rc = ReadInt(length))
        return rc;
    if (length < 0 || length > MaxStoredBlock)
        return Fail(BackRest::Failed, QStringLiteral("The archive holds a block of impossible length %1").arg(length));
    block.resize(static_cast<size_t>(length));
    if (!ReadExactly(block.data(), length))
        return Fail(BackRest::Failed, QStringLiteral("The archive ends too early"));
    return BackRest::Ok;
}

std::vector<QByteArray> ArchiveReader::SplitNames(const QByteArray& text)
{
    std::vector<QByteArray> names;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        names.push_back(text.mid(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        names.push_back(text.mid(start));
    return names;
}

bool ArchiveReader::IsSafeName(const QByteArray& name)
{
    // Anything else could reach outside the folder being restored, or is no file name at all.
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

int ArchiveReader::ReadHeader()
{
    char magic[6];
    if (!ReadExactly(magic, 6) || QByteArray(magic, 6) != "BACKUP")
        return Fail(BackRest::NotAnArchive,
                    QStringLiteral("This is not a backup archive (it does not start with BACKUP)"));
    std::vector<char> block;
    if (const int rc = ReadBlock(block))
        return rc;
    std::vector<char> text;
    // Ended on every way out: Inflate may throw when the output cannot grow.
    struct Stream
    {
        z_stream z{};
        bool ready = inflateInit(&z) == Z_OK;
        ~Stream()
        {
            if (ready)
                inflateEnd(&z);
        }
    } stream;
    if (!stream.ready)
        return Fail(BackRest::Failed, QStringLiteral("Out of memory"));
    const bool ok = BlockPool::Inflate(&stream.z, block, text, BackRest::BlockSize);
    if (!ok)
        return Fail(BackRest::Failed, QStringLiteral("The archive's name list is damaged"));
    m_names = SplitNames(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    QSet<QByteArray> seen;
    for (const QByteArray& name : m_names) {
        if (!IsSafeName(name))
            return Fail(
                BackRest::NotAnArchive,
                QStringLiteral("The archive holds a name that is no file name: %1").arg(BackRest::QuotedName(name)));
        if (seen.contains(name))
            return Fail(BackRest::NotAnArchive,
                        QStringLiteral("The archive holds the name %1 twice").arg(BackRest::QuotedName(name)));
        seen.insert(name);
    }
    return BackRest::Ok;
}

int ArchiveReader::ReadSizes(std::vector<qint64>& sizes)
{
    sizes.clear();
    for (const QByteArray& name : m_names) {
        qint32 size = 0;
        if (const int rc = ReadInt(size))
            return rc;
        if (size < 0)
            return Fail(BackRest::NotAnArchive,
                        QStringLiteral("%1 has a negative size").arg(BackRest::QuotedName(name)));
        sizes.push_back(size);
        for (qint64 left = size; left > 0; left -= BackRest::BlockSize) {
            qint32 length = 0;
            if (const int rc = ReadInt(length))
                return rc;
            if (length < 0 || length > MaxStoredBlock || m_device->skip(length) != length)
                return Fail(BackRest::Failed, QStringLiteral("The archive ends too early"));
        }
    }
    return BackRest::Ok;
}

int ArchiveReader::ReadFiles(Sink* sink, const BackRest::ProgressCallback& callback)
{
    struct Piece
    {
        size_t file;
        qint64 size; // the file's recorded size
        qint64 expected; // bytes this block must inflate to
        bool first;
        bool last;
        qint64 position; // archive read position after the block
    };
    BlockPool pool(BlockPool::Kind::Inflate, m_threads);
    std::deque<Piece> pieces; // one per pool job, same order
    const qint64 archiveSize = std::max<qint64>(1, m_device->size());
    bool stop = false;

    // Pieces are taken in archive order, so a fault is reported where a sequential read meets it.
    auto consume = [&](std::unique_ptr<BlockPool::Job> job) -> int {
        const Piece piece = pieces.front();
        pieces.pop_front();
        const QByteArray& name = m_names[piece.file];
        if (piece.first && sink && !sink->Begin(name, piece.size))
            return Fail(BackRest::Failed, sink->error);
        if (!job->passThrough) {
            if (!job->ok)
                return Fail(BackRest::Failed,
                            QStringLiteral("A block of %1 is damaged").arg(BackRest::QuotedName(name)));
            if (static_cast<qint64>(job->output.size()) != piece.expected)
                return Fail(
                    BackRest::NotAnArchive,
                    QStringLiteral("The length of %1 differs from its recorded size").arg(BackRest::QuotedName(name)));
            if (sink && !sink->Append(job->output.data(), static_cast<qint64>(job->output.size())))
                return Fail(BackRest::Failed, sink->error);
            if (callback && !stop)
                callback(BackRest::RoundedPercent(piece.position, archiveSize), stop);
        }
        if (piece.last && sink && !sink->End())
            return Fail(BackRest::Failed, sink->error);
        if (stop)
            return Fail(BackRest::Stopped, QStringLiteral("Stopped"));
        return BackRest::Ok;
    };
    auto drain = [&](bool all) -> int {
        while (all || pool.Full()) {
            auto job = pool.Take();
            if (!job)
                return BackRest::Ok;
            if (const int rc = consume(std::move(job)))
                return rc;
        }
        while (auto job = pool.TakeReady()) {
            if (const int rc = consume(std::move(job)))
                return rc;
        }
        return BackRest::Ok;
    };

    // A read fault found ahead of the inflating blocks waits until those are checked.
    int pending = BackRest::Ok;
    QString pendingWhy;
    for (size_t i = 0; i < m_names.size() && pending == BackRest::Ok; ++i) {
        qint32 size = 0;
        if (const int rc = ReadInt(size)) {
            pending = rc;
            pendingWhy = m_error;
            break;
        }
        if (size < 0) {
            pending = BackRest::NotAnArchive;
            pendingWhy = QStringLiteral("The length of %1 differs from its recorded size")
                             .arg(BackRest::QuotedName(m_names[i]));
            break;
        }
        if (size == 0) {
            pieces.push_back({i, 0, 0, true, true, m_device->pos()});
            pool.Push({}, 0, true);
        }
        for (qint64 offset = 0; offset < size; offset += BackRest::BlockSize) {
            std::vector<char> block;
            if (const int rc = ReadBlock(block)) {
                pending = rc;
                pendingWhy = m_error;
                break;
            }
            const qint64 expected = std::min<qint64>(BackRest::BlockSize, size - offset);
            pieces.push_back({i, size, expected, offset == 0, offset + expected == size, m_device->pos()});
            pool.Push(std::move(block), 0);
            if (const int rc = drain(false))
                return rc;
        }
        if (const int rc = drain(false))
            return rc;
    }
    if (const int rc = drain(true))
        return rc;
    if (pending != BackRest::Ok)
        return Fail(pending, pendingWhy);
    return BackRest::Ok;
}
