#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Compresses (or inflates) independent archive blocks on worker threads and hands the results
// back in submission order. The queue is bounded, so memory stays O(threads x block size)
// whatever the amount of data pushed through. Only the owning thread may call the public
// methods; the workers touch nothing but the jobs. A deflate pool writes a block that looks
// random as a stored zlib stream instead (CompressProbe, WriteStoredStream).
class BlockPool
{
public:
    enum class Kind
    {
        Deflate,
        Inflate
    };

    struct Job
    {
        std::vector<char> input;
        std::vector<char> output;
        bool passThrough = false; // bytes that go to the output as they are (sizes, header)
        bool ok = false;
        long long tag = 0; // the caller's bookkeeping, returned untouched
        bool done = false;
    };

    // Room for a block of 524,288 bytes in any of its forms (plain, level 9 or stored).
    static constexpr size_t BufferBytes = 524288 + 4096;

    // threads <= 0: one worker per core.
    BlockPool(Kind kind, int threads);
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    int Threads() const { return static_cast<int>(m_workers.size()); }

    // Queues a block. The caller keeps the queue bounded: while Full(), it takes the oldest job.
    void Push(std::vector<char> input, long long tag, bool passThrough = false);
    bool Full() const;
    bool Empty() const;
    // The oldest job when it is finished, else null; never waits.
    std::unique_ptr<Job> TakeReady();
    // The oldest job, waiting for it; null when nothing is queued.
    std::unique_ptr<Job> Take();

    // Block-sized buffers go round instead of being freed: a fresh one costs a page fault and a
    // cleared page per 4 KiB, which is a large share of the time for blocks that are only copied.
    // Spare() gives a buffer back (old size and bytes left as they are) or an empty one.
    std::vector<char> Spare();
    void Recycle(std::vector<char> buffer);

    // Deflate level 9, default window and memory: the same bytes compress2() gives.
    static bool Deflate(void* stream, const std::vector<char>& in, std::vector<char>& out);
    // A whole zlib stream, inflating to at most maxOut bytes, with nothing after its end.
    static bool Inflate(void* stream, const std::vector<char>& in, std::vector<char>& out, size_t maxOut);

private:
    void Run();
    void StopWorkers();

    Kind m_kind;
    size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_jobDone;
    std::deque<std::unique_ptr<Job>> m_queue; // in submission order
    std::deque<Job*> m_todo; // not started yet
    std::vector<std::vector<char>> m_spare; // at most m_capacity * 2
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};
