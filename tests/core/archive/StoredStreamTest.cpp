#include "core/archive/StoredStream.h"

#include "core/archive/BackRest.h"
#include "support/ArchiveTestKit.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace archivetest;

namespace {

QByteArray Stored(const QByteArray& data)
{
    std::vector<char> out;
    WriteStoredStream(data.constData(), size_t(data.size()), out);
    return QByteArray(out.data(), qsizetype(out.size()));
}

// Rows of 24-bit pixels: a ramp plus a little sensor noise, as a scanned picture has.
QByteArray NoisyRamp(qsizetype size)
{
    const QByteArray noise = Random(size, 77);
    QByteArray b(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char((i % 4800) / 19 + (static_cast<unsigned char>(noise[i]) % 9));
    return b;
}

QByteArray Repeated(const QByteArray& page, qsizetype size)
{
    QByteArray b;
    while (b.size() < size)
        b += page;
    return b.left(size);
}

} // namespace

TEST(StoredStream, WritesValidStoredBlocksAtEverySize)
{
    for (qsizetype size : {0, 1, 65535, 65536, 524288}) {
        SCOPED_TRACE(size);
        const QByteArray data = Random(size, quint32(size) + 3);
        const QByteArray stream = Stored(data);
        ASSERT_GE(stream.size(), 2 + 5 + 4);
        EXPECT_EQ(stream.left(2), QByteArray("\x78\xDA", 2));

        // Walk the deflate blocks by hand: each stored, at most 65,535 bytes, BFINAL on the last only.
        const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(stream[i]); };
        qsizetype at = 2;
        QByteArray carried;
        int blocks = 0;
        bool final = false;
        while (!final) {
            ASSERT_LE(at + 5, stream.size());
            EXPECT_EQ(byte(at) & ~1, 0) << "stored type, no stray bits";
            final = byte(at) & 1;
            const unsigned len = byte(at + 1) | byte(at + 2) << 8;
            const unsigned nlen = byte(at + 3) | byte(at + 4) << 8;
            EXPECT_EQ(len ^ 0xffffu, nlen);
            EXPECT_TRUE(final || len == 65535) << "only the last block is short";
            ASSERT_LE(at + 5 + qsizetype(len), stream.size());
            carried += stream.mid(at + 5, len);
            at += 5 + len;
            ++blocks;
        }
        EXPECT_EQ(blocks, std::max<qsizetype>(1, (size + 65534) / 65535));
        EXPECT_EQ(carried, data);
        ASSERT_EQ(at + 4, stream.size());
        const uLong adler = adler32(1, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
        EXPECT_EQ(quint32(byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3)), adler);

        // zlib's own inflate, and zlib's own stored blocks, agree.
        QByteArray inflated(size + 1, '\0');
        uLongf inflatedSize = uLongf(inflated.size());
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &inflatedSize,
                             reinterpret_cast<const Bytef*>(stream.constData()), uLong(stream.size())),
                  Z_OK);
        EXPECT_EQ(inflated.left(qsizetype(inflatedSize)), data);
        EXPECT_EQ(stream, RefStored(data));
    }
}

// All 0xFF bytes give the largest sums, where a lane would overflow first.
TEST(StoredStream, Adler32AgreesWithZlib)
{
    for (const QByteArray& bytes : {Random(Block + 3, 21), QByteArray(Block + 3, char(0xFF))}) {
        for (qsizetype size : {0, 1, 31, 32, 33, 4095, 4096, 4097, 5553, 65536, Block}) {
            for (qsizetype offset : {0, 3}) {
                const char* data = bytes.constData() + offset;
                EXPECT_EQ(Adler32(data, size_t(size)), adler32_z(1, reinterpret_cast<const Bytef*>(data), size_t(size)))
                    << "size " << size << " offset " << offset << (bytes[0] == char(0xFF) ? " all 0xFF" : "");
            }
        }
    }
}

TEST(StoredStream, ProbeStoresOnlyBlocksThatLookRandomThroughout)
{
    const QByteArray random = Random(Block, 5);
    QByteArray zeroRun = random;
    zeroRun.replace(200000, 65536, QByteArray(65536, '\0'));
    const struct
    {
        const char* what;
        QByteArray block;
        bool worth;
    } rows[] = {
        {"random", random, false},
        {"random, 8 KiB", Random(8192, 6), false},
        {"text", Text(Block), true},
        {"a noisy picture", NoisyRamp(Block), true},
        {"random with a 64 KiB run of zeros", zeroRun, true},
        {"half random, half text", random.left(Block / 2) + Text(Block / 2), true},
        {"text, then random", Text(Block / 8) + random.left(Block - Block / 8), true},
        {"a random 2 KiB page over and over", Repeated(Random(2048, 7), Block), true},
        {"random but too small to matter", Random(3000, 8), true},
    };
    CompressProbe probe;
    for (const auto& row : rows)
        EXPECT_EQ(probe.WorthCompressing(row.block.constData(), size_t(row.block.size())), row.worth) << row.what;
}

TEST(StoredStream, ArchivesReadBackAlikeThroughEveryReader)
{
    const QByteArray random = Random(Block, 11);
    const struct
    {
        const char* what;
        std::vector<RefFile> files;
    } cases[] = {
        {"random blocks", {{"Docs.db", Random(3 * Block + 70000, 12)}, {"tail", Random(9000, 13)}}},
        {"compressible blocks", {{"notes.html", Text(2 * Block + 77)}, {"scan.bmp", NoisyRamp(Block + 1000)}}},
        {"mixed blocks",
         {{"Docs.db",
           random + Text(Block) + random.left(Block / 2) + Text(Block / 2) + Repeated(Random(2048, 14), Block)
               + Random(100, 15)},
          {"one", "x"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = qbtest::FreshFolder(QStringLiteral("source"));
        Fill(folder, c.files);
        const QString archive = qbtest::FreshFolder(QStringLiteral("archives")) + QStringLiteral("/db.qba");
        ASSERT_EQ(BackRest::BackupFolder(folder, archive, {}, 2), BackRest::Ok);
        const QByteArray bytes = qbtest::ReadAll(archive);

        // Level 9 where it shrinks a block, byte for byte; the stored stream elsewhere.
        EXPECT_EQ(bytes, RefWrite(c.files));

        const RefArchive read = RefRead(bytes);
        ASSERT_TRUE(read.ok) << read.why.toStdString();
        ASSERT_EQ(read.files.size(), c.files.size());
        for (size_t i = 0; i < c.files.size(); ++i)
            EXPECT_EQ(read.files[i].content, c.files[i].content) << c.files[i].name.constData();

        const QString target = qbtest::FreshFolder(QStringLiteral("restored"));
        ASSERT_EQ(BackRest::RestoreFolder(archive, target), BackRest::Ok);
        EXPECT_EQ(Snapshot(target), Snapshot(folder));
    }
}
