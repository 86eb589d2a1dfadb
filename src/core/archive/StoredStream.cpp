#include "core/archive/StoredStream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <numbers>
#include <zlib.h>

namespace {

constexpr size_t MaxStoredBlock = 65535;
// Below this, level 9 takes microseconds; it also keeps name lists and small files as before.
constexpr size_t SmallBlock = 4096;
// The byte histogram looks at this many windows spread over the block, about 6% of its bytes.
constexpr size_t Window = 2048;
constexpr size_t Windows = 16;
// Random windows measure 8.00 +- 0.01 bits per byte; below 7.9 deflate's Huffman stage alone
// saves more than 1%.
constexpr double FlatBits = 7.9;
// Repeats of random bytes keep the histogram flat; a level-1 trial on a window sees them.
constexpr size_t TrialWindow = CompressProbe::TrialWindow;
constexpr double TrialShrunk = 0.97;

// c * log2(c) for every count a window can hold.
const std::array<double, Window + 1>& CountLog()
{
    static const auto table = [] {
        std::array<double, Window + 1> t{};
        for (size_t c = 1; c <= Window; ++c)
            t[c] = double(c) * std::log2(double(c));
        return t;
    }();
    return table;
}

// Order-0 entropy of n <= Window bytes in bits per byte, with the Miller-Madow correction for
// the bias of a small sample.
double Entropy(const unsigned char* p, size_t n)
{
    uint32_t counts[256] = {};
    for (size_t i = 0; i < n; ++i)
        ++counts[p[i]];
    const auto& countLog = CountLog();
    double sum = 0;
    int used = 0;
    for (uint32_t c : counts) {
        sum += countLog[c];
        used += c != 0;
    }
    const double nd = double(n);
    return std::log2(nd) - sum / nd + double(used - 1) / (2 * nd * std::numbers::ln2);
}

} // namespace

void WriteStoredStream(const char* data, size_t size, std::vector<char>& out)
{
    const size_t blocks = std::max<size_t>(1, (size + MaxStoredBlock - 1) / MaxStoredBlock);
    out.resize(2 + 5 * blocks + size + 4);
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    *p++ = 0x78;
    *p++ = 0xDA;
    size_t at = 0;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t n = std::min(MaxStoredBlock, size - at);
        *p++ = b + 1 == blocks ? 1 : 0; // BFINAL on the last, BTYPE 00 (stored), padded to the byte
        *p++ = static_cast<unsigned char>(n & 0xff);
        *p++ = static_cast<unsigned char>(n >> 8);
        *p++ = static_cast<unsigned char>(~n & 0xff);
        *p++ = static_cast<unsigned char>((~n >> 8) & 0xff);
        if (n != 0)
            std::memcpy(p, data + at, n);
        p += n;
        at += n;
    }
    const uLong adler = adler32_z(1, reinterpret_cast<const Bytef*>(data), size);
    for (int shift = 24; shift >= 0; shift -= 8)
        *p++ = static_cast<unsigned char>((adler >> shift) & 0xff);
}

CompressProbe::CompressProbe()
{
    // Built on a worker thread, where an exception would end the program: without memory the
    // probe is off and every block is compressed.
    auto* stream = new (std::nothrow) z_stream{};
    // Raw deflate with a window just the trial's size keeps the per-trial reset small.
    if (stream && deflateInit2(stream, 1, Z_DEFLATED, -12, 6, Z_DEFAULT_STRATEGY) != Z_OK) {
        delete stream;
        stream = nullptr;
    }
    m_trial = stream;
}

CompressProbe::~CompressProbe()
{
    if (auto* stream = static_cast<z_stream*>(m_trial)) {
        deflateEnd(stream);
        delete stream;
    }
}

bool CompressProbe::WorthCompressing(const char* data, size_t size)
{
    if (size < SmallBlock || !m_trial)
        return true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const size_t windows = std::min(Windows, size / Window);
    const size_t step = size / windows;
    for (size_t i = 0; i < windows; ++i) {
        if (Entropy(bytes + i * step, Window) < FlatBits)
            return true;
    }
    const size_t trial = std::min(TrialWindow, size / 2);
    return TrialShrinks(data + size / 2, trial);
}

bool CompressProbe::TrialShrinks(const char* data, size_t size)
{
    auto* stream = static_cast<z_stream*>(m_trial);
    if (deflateReset(stream) != Z_OK)
        return true;
    stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream->avail_in = static_cast<uInt>(size);
    stream->next_out = m_out.data();
    stream->avail_out = static_cast<uInt>(m_out.size());
    // Output that does not fit did not shrink.
    if (deflate(stream, Z_FINISH) != Z_STREAM_END)
        return true;
    return double(stream->total_out) < TrialShrunk * double(size);
}
