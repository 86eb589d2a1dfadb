#include "core/archive/BlockPool.h"

#include "core/archive/StoredStream.h"

#include <new>
#include <optional>
#include <zlib.h>

namespace {

constexpr size_t BlockBytes = 524288;

// Level 9, or the stored stream for a block the probe finds not worth it.
bool Compress(z_stream* stream, CompressProbe& probe, const std::vector<char>& in, std::vector<char>& out)
{
    if (probe.WorthCompressing(in.data(), in.size()))
        return BlockPool::Deflate(stream, in, out);
    WriteStoredStream(in.data(), in.size(), out);
    return true;
}

} // namespace

BlockPool::BlockPool(Kind kind, int threads)
    : m_kind(kind)
{
    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // Two jobs per worker keep every core busy while the owner writes the finished ones.
    m_capacity = static_cast<size_t>(threads) * 2 + 1;
    m_spare.reserve(m_capacity * 2); // so that a worker's Recycle() never allocates
    try {
        m_workers.reserve(static_cast<size_t>(threads));
        for (int i = 0; i < threads; ++i)
            m_workers.emplace_back([this] { Run(); });
    } catch (...) {
        // No destructor runs for a half-built pool: the workers already started must end here.
        StopWorkers();
        throw;
    }
}

BlockPool::~BlockPool()
{
    StopWorkers();
}

void BlockPool::StopWorkers()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_todo.clear();
    }
    m_workReady.notify_all();
    for (auto& worker : m_workers)
        worker.join();
    m_workers.clear();
}

void BlockPool::Push(std::vector<char> input, long long tag, bool passThrough)
{
    auto job = std::make_unique<Job>();
    job->input = std::move(input);
    job->tag = tag;
    job->passThrough = passThrough;
    std::unique_lock lock(m_mutex);
    if (passThrough) {
        job->output = std::move(job->input);
        job->ok = true;
        job->done = true;
        m_queue.push_back(std::move(job));
        return;
    }
    m_todo.push_back(job.get());
    m_queue.push_back(std::move(job));
    lock.unlock();
    m_workReady.notify_one();
}

bool BlockPool::Full() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size() >= m_capacity;
}

bool BlockPool::Empty() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.empty();
}

std::unique_ptr<BlockPool::Job> BlockPool::TakeReady()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty() || !m_queue.front()->done)
        return nullptr;
    auto job = std::move(m_queue.front());
    m_queue.pop_front();
    return job;
}

std::unique_ptr<BlockPool::Job> BlockPool::Take()
{
    std::unique_lock lock(m_mutex);
    if (m_queue.empty())
        return nullptr;
    m_jobDone.wait(lock, [this] { return m_queue.front()->done; });
    auto job = std::move(m_queue.front());
    m_queue.pop_front();
    return job;
}

std::vector<char> BlockPool::Spare()
{
    std::lock_guard lock(m_mutex);
    if (m_spare.empty())
        return {};
    std::vector<char> buffer = std::move(m_spare.back());
    m_spare.pop_back();
    return buffer;
}

void BlockPool::Recycle(std::vector<char> buffer)
{
    if (buffer.capacity() < BufferBytes)
        return;
    std::lock_guard lock(m_mutex);
    if (m_spare.size() < m_capacity * 2)
        m_spare.push_back(std::move(buffer));
}

void BlockPool::Run()
{
    z_stream stream{};
    const bool ready = m_kind == Kind::Deflate
        ? deflateInit2(&stream, 9, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK
        : inflateInit(&stream) == Z_OK;
    std::optional<CompressProbe> probe;
    if (m_kind == Kind::Deflate)
        probe.emplace();
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_workReady.wait(lock, [this] { return m_quit || !m_todo.empty(); });
            if (m_quit)
                break;
            job = m_todo.front();
            m_todo.pop_front();
        }
        // The job stays owned by the queue: only this worker touches it until done is set.
        bool ok = false;
        job->output = Spare();
        if (ready) {
            try {
                if (m_kind == Kind::Inflate) {
                    ok = Inflate(&stream, job->input, job->output, BlockBytes);
                } else {
                    job->output.reserve(BufferBytes);
                    ok = Compress(&stream, *probe, job->input, job->output);
                }
            } catch (const std::bad_alloc&) {
                // No room for the output: this block fails, and the owner reports it.
                ok = false;
            }
        }
        Recycle(std::move(job->input));
        {
            std::lock_guard lock(m_mutex);
            job->ok = ok;
            job->done = true;
        }
        m_jobDone.notify_all();
    }
    if (ready) {
        if (m_kind == Kind::Deflate)
            deflateEnd(&stream);
        else
            inflateEnd(&stream);
    }
}

bool BlockPool::Deflate(void* streamPtr, const std::vector<char>& in, std::vector<char>& out)
{
    auto* stream = static_cast<z_stream*>(streamPtr);
    if (deflateReset(stream) != Z_OK)
        return false;
    out.resize(deflateBound(stream, static_cast<uLong>(in.size())));
    stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream->avail_in = static_cast<uInt>(in.size());
    stream->next_out = reinterpret_cast<Bytef*>(out.data());
    stream->avail_out = static_cast<uInt>(out.size());
    if (deflate(stream, Z_FINISH) != Z_STREAM_END)
        return false;
    out.resize(stream->total_out);
    return true;
}

bool BlockPool::Inflate(void* streamPtr, const std::vector<char>& in, std::vector<char>& out, size_t maxOut)
{
    auto* stream = static_cast<z_stream*>(streamPtr);
    if (inflateReset(stream) != Z_OK)
        return false;
    // One spare byte tells a block that inflates past the limit from one that just fills it.
    out.resize(maxOut + 1);
    stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream->avail_in = static_cast<uInt>(in.size());
    stream->next_out = reinterpret_cast<Bytef*>(out.data());
    stream->avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(stream, Z_FINISH);
    if (rc != Z_STREAM_END || stream->avail_in != 0 || stream->total_out > maxOut)
        return false;
    out.resize(stream->total_out);
    return true;
}
