#include "core/archive/PackStream.h"

#include "core/common/QbError.h"
#include "support/ArchiveTestKit.h"
#include "support/FailDevice.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <memory>
#include <new>

using namespace archivetest;

namespace {

// Many small files and raw sizes between the blocks: the order must hold on any number of threads.
QByteArray WriteFiles(QIODevice* device, int threads, const std::vector<RefFile>& files,
                      std::vector<qint64>* written = nullptr)
{
    TPackStream pack(device, threads);
    if (written)
        pack.BlockWritten = [written](qint64 n) { written->push_back(n); };
    pack.WriteRaw("BACKUP", 6);
    QByteArray list;
    for (const RefFile& f : files)
        list += f.name + "\r\n";
    pack.Write(list.constData(), list.size());
    pack.Flush();
    for (const RefFile& f : files) {
        const QByteArray size = Le32(static_cast<qint32>(f.content.size()));
        pack.WriteRaw(size.constData(), 4);
        // Odd write sizes: the buffer, not the caller, decides where blocks end.
        for (qsizetype at = 0; at < f.content.size(); at += 100000)
            pack.Write(f.content.constData() + at, std::min<qsizetype>(100000, f.content.size() - at));
        pack.Flush();
    }
    pack.Finish();
    return {};
}

std::vector<RefFile> ManyFiles()
{
    std::vector<RefFile> files;
    for (int i = 0; i < 40; ++i)
        files.push_back({"f" + QByteArray::number(i), i % 3 == 0 ? Random(i * 40000, quint32(i)) : Text(i * 30000)});
    files.push_back({"big", Text(3 * Block + 5)});
    return files;
}

} // namespace

TEST(PackStream, KeepsOrderAndBytesOnAnyNumberOfThreads)
{
    const auto files = ManyFiles();
    const QByteArray expected = RefWrite(files);
    for (int threads : {1, 2, 7}) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        std::vector<qint64> written;
        WriteFiles(&out, threads, files, &written);
        EXPECT_EQ(out.data(), expected) << "threads " << threads;
        qint64 total = 0;
        for (qint64 n : written)
            total += n;
        qint64 expectedTotal = 0;
        for (const RefFile& f : files)
            expectedTotal += f.content.size() + f.name.size() + 2;
        EXPECT_EQ(total, expectedTotal);
    }
}

TEST(PackStream, ReportsAFailingDeviceAtEveryPoint)
{
    const auto files = ManyFiles();
    const qsizetype full = RefWrite(files).size();
    for (qint64 failAfter : {qint64(0), qint64(3), qint64(6), qint64(100), qint64(full / 2), qint64(full - 1)}) {
        qbtest::FailDevice device(failAfter);
        device.open(QIODevice::WriteOnly);
        EXPECT_THROW(WriteFiles(&device, 2, files), QbError) << "fail after " << failAfter;
        EXPECT_LE(device.BytesWritten(), failAfter);
    }
    qbtest::FailDevice roomy(full);
    roomy.open(QIODevice::WriteOnly);
    EXPECT_NO_THROW(WriteFiles(&roomy, 2, files));
    EXPECT_EQ(roomy.data(), RefWrite(files));
}

TEST(PackStream, FlushOnAnEmptyBufferWritesNothing)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    {
        TPackStream pack(&out, 2);
        pack.Flush();
        pack.WriteRaw("ab", 2);
        pack.Flush();
        pack.Write("cd", 2);
        pack.Flush();
        pack.Flush();
        pack.Finish();
    }
    EXPECT_EQ(out.data(), "ab" + StoredBlock("cd"));
}

// A worker that cannot be started stops the ones already running, instead of ending the program.
TEST(PackStream, APoolThatCannotStartEveryWorkerThrowsCleanly)
{
    int refused = 0;
    for (int nth = 1; nth <= 12; ++nth) {
        std::unique_ptr<BlockPool> pool;
        AllocationFault::FailNthHere(nth);
        try {
            pool = std::make_unique<BlockPool>(BlockPool::Kind::Deflate, 4);
        } catch (const std::bad_alloc&) {
            ++refused;
        }
        AllocationFault::Off();
        if (!pool)
            continue;
        pool->Push(std::vector<char>(1000, 'x'), 7);
        const auto job = pool->Take();
        ASSERT_TRUE(job);
        EXPECT_TRUE(job->ok);
        EXPECT_EQ(job->tag, 7);
    }
    EXPECT_GE(refused, 3) << "failures after some workers had started are among them";
}
