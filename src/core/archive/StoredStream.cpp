#include "core/archive/StoredStream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <numbers>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t MaxDeflateStoredBlock = 65535;
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

uint32_t Adler32(const char* data, size_t size)
{
#if defined(__SSE2__)
    constexpr uint64_t Base = 65521;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    uint64_t a = 1, b = 0;
    // 32 bytes a step: a gains their sum; b gains 32 x (a before the step) plus the bytes weighted
    // 32 down to 1. Pieces of 4,096 bytes keep every 32-bit lane far from overflowing.
    const __m128i zero = _mm_setzero_si128();
    const __m128i w1 = _mm_setr_epi16(32, 31, 30, 29, 28, 27, 26, 25);
    const __m128i w2 = _mm_setr_epi16(24, 23, 22, 21, 20, 19, 18, 17);
    const __m128i w3 = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i w4 = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (size >= 32) {
        const size_t piece = std::min<size_t>(size, 4096) & ~size_t(31);
        __m128i sum = zero; // bytes so far, in lanes 0 and 2
        __m128i before = zero; // sum at the start of every step, added up
        __m128i weighted = zero;
        for (size_t i = 0; i < piece; i += 32) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
            before = _mm_add_epi32(before, sum);
            sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_sad_epu8(x, zero), _mm_sad_epu8(y, zero)));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), w1));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), w2));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(y, zero), w3));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(y, zero), w4));
        }
        uint32_t s[4], f[4], w[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s), sum);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(f), before);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w), weighted);
        b = (b + piece * a + 32 * (uint64_t(f[0]) + f[2]) + uint64_t(w[0]) + w[1] + w[2] + w[3]) % Base;
        a = (a + s[0] + s[2]) % Base;
        p += piece;
        size -= piece;
    }
    for (size_t i = 0; i < size; ++i) {
        a += p[i];
        b += a;
    }
    return uint32_t((b % Base) << 16 | (a % Base));
#else
    return uint32_t(adler32_z(1, reinterpret_cast<const Bytef*>(data), size));
#endif
}

void WriteStoredStream(const char* data, size_t size, std::vector<char>& out)
{
    const size_t blocks = std::max<size_t>(1, (size + MaxDeflateStoredBlock - 1) / MaxDeflateStoredBlock);
    out.resize(2 + 5 * blocks + size + 4);
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    *p++ = 0x78;
    *p++ = 0xDA;
    size_t at = 0;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t n = std::min(MaxDeflateStoredBlock, size - at);
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
    const uint32_t adler = Adler32(data, size);
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
