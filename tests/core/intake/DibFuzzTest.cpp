// Random, mutated and cut-short bitmap blocks for the drop decoder; built with the sanitizers,
// any read outside a block fails the run.
#include "core/intake/DibBlocks.h"
#include "core/intake/DropFormats.h"

#include <gtest/gtest.h>
#include <random>

using qbtest::BmpFile;
using qbtest::DibLayout;
using qbtest::MakeDib;

namespace {

QList<QByteArray> Samples()
{
    const QList<QRgb> grey{qRgb(0, 0, 0), qRgb(85, 85, 85), qRgb(170, 170, 170), qRgb(255, 255, 255)};
    return {
        MakeDib({9, 3, 1, 0, 0, 40, grey.mid(0, 2), {}, QByteArray(12, '\x5a')}),
        MakeDib({9, -3, 4, 0, 4, 40, grey, {}, QByteArray(24, '\x31')}),
        MakeDib({5, 3, 8, 0, 4, 40, grey, {}, QByteArray(24, '\x02')}),
        MakeDib({3, 3, 16, 3, 0, 40, {}, {0xF800, 0x07E0, 0x001F}, QByteArray(24, '\x77')}),
        MakeDib({3, 2, 24, 0, 0, 108, {}, {}, QByteArray(24, '\x10')}),
        MakeDib({2, 2, 32, 0, 0, 40, {}, {}, QByteArray(16, '\x44')}),
        MakeDib({6,
                 3,
                 8,
                 1,
                 4,
                 40,
                 grey,
                 {},
                 QByteArray("\x06\x01\x00\x00\x00\x04\x01\x02\x03\x00\x00\x00\x02\x01\x00\x01", 16)}),
        MakeDib({6, 2, 4, 2, 4, 40, grey, {}, QByteArray("\x06\x12\x00\x00\x00\x05\x12\x31\x20\x00\x00\x01", 12)}),
    };
}

TEST(DibFuzz, EveryCutOfAValidBlockIsRefused)
{
    for (const QByteArray& block : Samples()) {
        const QImage whole = DropFormats::DecodeDib(block);
        ASSERT_FALSE(whole.isNull()) << block.toHex().constData();
        for (qsizetype size = 0; size < block.size(); ++size)
            EXPECT_TRUE(DropFormats::DecodeDib(block.left(size)).isNull()) << size << " of " << block.size();
    }
}

TEST(DibFuzz, MutatedAndRandomBlocksDecodeOrAreRefused)
{
    std::mt19937 random(20261208);
    auto below = [&random](qsizetype n) { return qsizetype(random() % quint32(n)); };
    const QList<QByteArray> samples = Samples();
    const quint32 extremes[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x10000, 40, 124};
    int decoded = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray block = samples.at(below(samples.size()));
        switch (round % 4) {
            case 0: // bytes flipped anywhere
                for (int i = 0, n = 1 + int(below(6)); i < n; ++i)
                    block[below(block.size())] = char(random());
                break;
            case 1: // a header field set to an extreme value
                qbtest::Put32(block, int(below(10)) * 4, extremes[below(std::size(extremes))]);
                break;
            case 2: // cut short, or grown with noise
                if (random() % 2)
                    block.truncate(below(block.size()));
                else
                    for (int i = 0, n = int(below(64)); i < n; ++i)
                        block += char(random());
                break;
            default: // noise behind a plausible header size
                block = QByteArray(below(300), '\0');
                for (char& c : block)
                    c = char(random());
                if (block.size() >= 4)
                    qbtest::Put32(block, 0, 40);
                break;
        }
        for (const QImage& image : {DropFormats::DecodeDib(block), DropFormats::DecodeBmpFile(BmpFile(block))}) {
            if (image.isNull())
                continue;
            ++decoded;
            // A decoded picture is as large as its header says, and never larger than the limit.
            const qint64 height = qint32(qFromLittleEndian<quint32>(block.constData() + 8));
            EXPECT_EQ(image.width(), qint32(qFromLittleEndian<quint32>(block.constData() + 4)));
            EXPECT_EQ(image.height(), height < 0 ? -height : height);
            EXPECT_LE(qint64(image.width()) * image.height(), DropFormats::MaxPixels);
        }
    }
    EXPECT_GT(decoded, 1000) << "the mutations should leave many blocks decodable";
}

TEST(DibFuzz, OversizedDimensionsAreRefusedBeforeAllocating)
{
    // A few bytes of run-length codes may claim any size.
    const QByteArray end("\x00\x01", 2);
    for (const auto& [width, height] : {std::pair{65536, 65536}, {INT32_MAX, 1}, {1, INT32_MAX}, {8193, 8193}})
        EXPECT_TRUE(DropFormats::DecodeDib(MakeDib({width, height, 8, 1, 1, 40, {0}, {}, end})).isNull())
            << width << " x " << height;
    EXPECT_FALSE(DropFormats::DecodeDib(MakeDib({8192, 8192, 8, 1, 1, 40, {0}, {}, end})).isNull());
}

} // namespace
