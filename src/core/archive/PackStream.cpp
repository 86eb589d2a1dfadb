#include "core/archive/PackStream.h"

#include "core/common/QbError.h"

#include <QFileDevice>
#include <QIODevice>
#include <cstring>

#if defined(__linux__)
#include <fcntl.h>
#endif

namespace {

constexpr long long RawTag = -1;
// Written bytes are handed to the disk in steps of this size; see Put().
constexpr qint64 WritebackStep = 8 << 20;

} // namespace

TPackStream::TPackStream(QIODevice* device, int threads)
    : m_device(device)
    , m_pool(BlockPool::Kind::Deflate, threads)
{
    if (auto* file = qobject_cast<QFileDevice*>(device)) {
        m_fd = file->handle();
        m_written = m_writtenBack = device->pos();
    }
    m_buffer.reserve(BlockPool::BufferBytes);
}

TPackStream::~TPackStream() = default;

qint64 TPackStream::Write(const char* data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 room = BufferSize - static_cast<qint64>(m_buffer.size());
        const qint64 n = std::min(room, length - done);
        m_buffer.insert(m_buffer.end(), data + done, data + done + n);
        done += n;
        if (static_cast<qint64>(m_buffer.size()) == BufferSize)
            Flush();
    }
    return length;
}

void TPackStream::Flush()
{
    if (m_buffer.empty())
        return;
    const auto size = static_cast<long long>(m_buffer.size());
    std::vector<char> block = m_pool.Spare();
    block.clear();
    block.reserve(BlockPool::BufferBytes);
    block.swap(m_buffer);
    m_pool.Push(std::move(block), size);
    Drain(false);
}

void TPackStream::WriteRaw(const char* data, qint64 length)
{
    Q_ASSERT(m_buffer.empty());
    m_pool.Push(std::vector<char>(data, data + length), RawTag, true);
    Drain(false);
}

void TPackStream::Finish()
{
    Drain(true);
}

void TPackStream::Drain(bool all)
{
    for (;;) {
        std::unique_ptr<BlockPool::Job> job;
        if (all || m_pool.Full())
            job = m_pool.Take();
        else
            job = m_pool.TakeReady();
        if (!job)
            return;
        if (!job->ok)
            throw QbError(QStringLiteral("Compression failed"));
        if (job->passThrough) {
            Put(job->output);
            continue;
        }
        const auto length = static_cast<quint32>(job->output.size());
        const char prefix[4] = {char(length & 0xff), char((length >> 8) & 0xff), char((length >> 16) & 0xff),
                                char((length >> 24) & 0xff)};
        Put(std::vector<char>(prefix, prefix + 4));
        Put(job->output);
        m_pool.Recycle(std::move(job->output));
        if (BlockWritten)
            BlockWritten(job->tag);
    }
}

void TPackStream::Put(const std::vector<char>& bytes)
{
    if (bytes.empty())
        return;
    if (m_device->write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        throw QbError(QStringLiteral("Cannot write the archive: %1").arg(m_device->errorString()));
    m_written += static_cast<qint64>(bytes.size());
#if defined(__linux__)
    // The system would start writing only at the closing fsync, and the backup would then wait
    // for all of it; started as the archive grows, the disk works while the blocks are made.
    // Only a hint: the fsync still reports any failure.
    if (m_fd >= 0 && m_written - m_writtenBack >= WritebackStep) {
        ::sync_file_range(m_fd, m_writtenBack, m_written - m_writtenBack, SYNC_FILE_RANGE_WRITE);
        m_writtenBack = m_written;
    }
#endif
}
