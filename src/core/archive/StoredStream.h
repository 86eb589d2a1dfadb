#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Encrypted database pages and other random-looking bytes do not shrink under deflate, yet level
// 9 spends most of a backup's time trying. CompressProbe tells such blocks apart cheaply, and
// WriteStoredStream writes them as a zlib stream of stored deflate blocks that every zlib
// reader inflates unchanged.

// Writes data as one zlib stream: the header 0x78 0xDA (as level 9 writes it), stored deflate
// blocks of at most 65,535 bytes (one empty final block for no data), and the Adler-32 of data.
void WriteStoredStream(const char* data, size_t size, std::vector<char>& out);

// The value of zlib's adler32(1, data, size), with SSE2 where there is SSE2: zlib 1.2's byte
// loop would be the slowest step of storing a block.
uint32_t Adler32(const char* data, size_t size);

// One per thread: it keeps a small deflate state for its trials.
class CompressProbe
{
public:
    CompressProbe();
    ~CompressProbe();
    CompressProbe(const CompressProbe&) = delete;
    CompressProbe& operator=(const CompressProbe&) = delete;

    // False when the block looks random: each of 16 windows spread over it has a nearly flat
    // byte distribution, and a fast deflate trial on one window finds no repeats. Text,
    // pictures and database pages in the clear fail the first test at once. A compressible
    // stretch shorter than the gap between two windows (32 KiB) can go unseen; that block is then
    // stored, a few percent larger than level 9 would make it.
    bool WorthCompressing(const char* data, size_t size);

    // Bytes of the deflate trial.
    static constexpr size_t TrialWindow = 4096;

private:
    bool TrialShrinks(const char* data, size_t size);

    void* m_trial = nullptr; // z_stream, null when it could not be set up
    std::array<unsigned char, TrialWindow + 1024> m_out{}; // more than the trial's deflate bound
};
