#include "core/archive/BackRest.h"

#include "support/ArchiveTestKit.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <gtest/gtest.h>

using namespace archivetest;

namespace {

std::vector<RefFile> Sorted(std::vector<RefFile> files)
{
    std::sort(files.begin(), files.end(), [](const RefFile& a, const RefFile& b) { return a.name < b.name; });
    return files;
}

std::vector<RefFile> Mixed()
{
    return Sorted({
        {"Docs.db", Random(3 * Block + 17, 1)},
        {".hidden", Text(1000)},
        {"empty", {}},
        {"one", "x"},
        {"exact", Text(Block)},
        {"exact plus one", Text(Block + 1)},
        {QByteArrayLiteral("заметки.html"), Text(2 * Block + 333)},
    });
}

QString Archive(const QString& name = QStringLiteral("backup архив.qba"))
{
    return qbtest::FreshFolder(QStringLiteral("archives")) + QStringLiteral("/") + name;
}

// A database folder that a bad restore must leave exactly as it was.
QString TargetWithContent()
{
    const QString target = qbtest::FreshFolder(QStringLiteral("target база"));
    Fill(target, {{"Docs.db", Random(700000, 9)}, {"notes", "keep me"}});
    EXPECT_TRUE(QDir(target).mkdir(QStringLiteral("sub")));
    Fill(target + QStringLiteral("/sub"), {{"inner", "stays"}});
    return target;
}

} // namespace

TEST(BackRest, WritesTheSameBytesAsTheReferenceWriterOnAnyNumberOfThreads)
{
    const QString folder = qbtest::FreshFolder();
    const auto files = Mixed();
    Fill(folder, files);
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("subfolder is not archived")));
    const QByteArray expected = RefWrite(files);

    for (int threads : {1, 2, 5}) {
        const QString archive = Archive();
        ASSERT_EQ(BackRest::BackupFolder(folder, archive, {}, threads), BackRest::Ok);
        EXPECT_EQ(qbtest::ReadAll(archive), expected) << "threads " << threads;
    }
    const RefArchive read = RefRead(expected);
    ASSERT_TRUE(read.ok) << read.why.toStdString();
    ASSERT_EQ(read.files.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(read.files[i].name, files[i].name);
        EXPECT_EQ(read.files[i].content, files[i].content);
    }
}

TEST(BackRest, RestoresWhatTheReferenceWriterMade)
{
    const auto files = Mixed();
    const QString archive = Archive();
    qbtest::WriteAll(archive, RefWrite(files));
    const QString target = TargetWithContent();
    ASSERT_EQ(BackRest::RestoreFolder(archive, target), BackRest::Ok);

    QMap<QString, QByteArray> expected;
    for (const RefFile& f : files)
        expected.insert(QString::fromUtf8(f.name), f.content);
    expected.insert(QStringLiteral("sub/"), {});
    expected.insert(QStringLiteral("sub/inner"), "stays");
    EXPECT_EQ(Snapshot(target), expected);
    EXPECT_EQ(Leftovers(target), QString());
}

TEST(BackRest, BlockBoundaries)
{
    for (const auto& [size, blocks] : {std::pair{Block, 1}, {Block + 1, 2}, {2 * Block, 2}, {1, 1}}) {
        const QString folder = qbtest::FreshFolder();
        Fill(folder, {{"f", Random(size, 3)}});
        const QString archive = Archive();
        ASSERT_EQ(BackRest::BackupFolder(folder, archive), BackRest::Ok);
        const RefArchive read = RefRead(qbtest::ReadAll(archive));
        ASSERT_TRUE(read.ok) << read.why.toStdString();
        EXPECT_EQ(read.blocksPerFile, std::vector<int>{blocks}) << size;
    }
}

TEST(BackRest, OneEmptyFileIsHeaderNameAndZeroSize)
{
    const QString folder = qbtest::FreshFolder();
    Fill(folder, {{"Docs.db", {}}});
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(folder, archive), BackRest::Ok);
    EXPECT_EQ(qbtest::ReadAll(archive), "BACKUP" + StoredBlock("Docs.db\r\n") + Le32(0));

    const QString target = qbtest::FreshFolder();
    ASSERT_EQ(BackRest::RestoreFolder(archive, target), BackRest::Ok);
    EXPECT_EQ(Snapshot(target), (QMap<QString, QByteArray>{{QStringLiteral("Docs.db"), {}}}));
}

TEST(BackRest, NothingToBackUp)
{
    const QString empty = qbtest::FreshFolder();
    ASSERT_TRUE(QDir(empty).mkdir(QStringLiteral("only a subfolder")));
    const QString archive = Archive();
    EXPECT_EQ(BackRest::BackupFolder(empty, archive), BackRest::NothingToBackUp);
    EXPECT_EQ(BackRest::BackupFolder(empty + QStringLiteral("/missing"), archive), BackRest::NothingToBackUp);
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_EQ(Siblings(archive), QStringList{}) << "no temporary file left";
}

TEST(BackRest, RestoringThreeFilesOverFiveLeavesTheThree)
{
    const QString source = qbtest::FreshFolder();
    const std::vector<RefFile> three = Sorted({{"a", "1"}, {"b", Text(900000)}, {"c", {}}});
    Fill(source, three);
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);

    const QString target = qbtest::FreshFolder();
    Fill(target, {{"a", "old"}, {"d", "4"}, {"e", "5"}, {".f", "6"}, {"g", Random(600000, 4)}});
    ASSERT_EQ(BackRest::RestoreFolder(archive, target + QStringLiteral("/")), BackRest::Ok);
    EXPECT_EQ(Snapshot(target), Snapshot(source));
}

TEST(BackRest, RestoreCreatesAMissingFolderButNotItsParent)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"x", "y"}});
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);

    const QString created = qbtest::FreshFolder() + QStringLiteral("/new база");
    ASSERT_EQ(BackRest::RestoreFolder(archive, created), BackRest::Ok);
    EXPECT_EQ(Snapshot(created), Snapshot(source));

    const QString orphan = qbtest::FreshFolder() + QStringLiteral("/no/such");
    EXPECT_EQ(BackRest::RestoreFolder(archive, orphan), BackRest::Failed);
    EXPECT_FALSE(QFileInfo::exists(orphan));
}

TEST(BackRest, MissingArchiveGives3AndChangesNothing)
{
    const QString target = TargetWithContent();
    const auto before = Snapshot(target);
    EXPECT_EQ(BackRest::RestoreFolder(target + QStringLiteral("-none.qba"), target), BackRest::NoArchive);
    EXPECT_EQ(BackRest::VerifyArchive(target + QStringLiteral("-none.qba")), BackRest::NoArchive);
    EXPECT_EQ(Snapshot(target), before);
}

// Every broken archive is refused with its code and leaves the target byte for byte as it was.
TEST(BackRest, DamagedArchivesLeaveTheTargetUntouched)
{
    const QByteArray good = RefWrite({{"Docs.db", Random(Block + 100, 5)}, {"z", Text(5000)}});
    const QByteArray fileA = Text(100);
    auto withList
        = [&](const QByteArray& list, const QByteArray& rest = {}) { return "BACKUP" + StoredBlock(list) + rest; };
    QByteArray oneByteOff = good;
    oneByteOff[3] = 'k';
    const QByteArray bigBlock = Random(Block + 1, 6);
    QByteArray bitFlip = good;
    bitFlip[good.size() - 10] = char(bitFlip[good.size() - 10] ^ 0x40);

    struct Row
    {
        const char* what;
        QByteArray archive;
        int code;
    };
    const std::vector<Row> rows = {
        {"one header byte changed", oneByteOff, BackRest::NotAnArchive},
        {"shorter than the header", "BACK", BackRest::NotAnArchive},
        {"empty file", "", BackRest::NotAnArchive},
        {"name with a separator", withList("../escape\r\n", Le32(1) + StoredBlock("x")), BackRest::NotAnArchive},
        {"name in a subfolder", withList("a/b\r\n", Le32(1) + StoredBlock("x")), BackRest::NotAnArchive},
        {"name ..", withList("..\r\n", Le32(0)), BackRest::NotAnArchive},
        {"empty name", withList("a\r\n\r\nb\r\n", Le32(0) + Le32(0) + Le32(0)), BackRest::NotAnArchive},
        {"same name twice", withList("a\r\na\r\n", Le32(1) + StoredBlock("1") + Le32(1) + StoredBlock("2")),
         BackRest::NotAnArchive},
        {"negative size", withList("a\r\n", Le32(-5)), BackRest::NotAnArchive},
        {"last block longer than the size", withList("a\r\n", Le32(3) + StoredBlock("four")), BackRest::NotAnArchive},
        {"block before the last too short",
         withList("a\r\n", Le32(Block + 2) + StoredBlock("ab") + StoredBlock(Text(Block))), BackRest::NotAnArchive},
        {"block inflating past 512 KiB", withList("a\r\n", Le32(Block + 1) + StoredBlock(bigBlock)), BackRest::Failed},
        {"name list inflating past 512 KiB", "BACKUP" + StoredBlock(Text(Block + 10)), BackRest::Failed},
        {"garbage after a block's stream",
         withList("a\r\n", Le32(1) + Le32(Stream("x").size() + 2) + Stream("x") + "zz"), BackRest::Failed},
        {"not a zlib stream", withList("a\r\n", Le32(4) + Le32(4) + "abcd"), BackRest::Failed},
        {"impossible block length", withList("a\r\n", Le32(4) + Le32(-1) + "abcd"), BackRest::Failed},
        {"flipped bit in content", bitFlip, BackRest::Failed},
        {"file missing at the end", withList("a\r\nb\r\n", Le32(1) + StoredBlock("1")), BackRest::Failed},
        {"good name, content of another file", withList("a\r\n", Le32(100) + StoredBlock(fileA.left(99))),
         BackRest::NotAnArchive},
    };
    for (const Row& row : rows) {
        const QString target = TargetWithContent();
        const auto before = Snapshot(target);
        const QString archive = Archive(QStringLiteral("bad.qba"));
        qbtest::WriteAll(archive, row.archive);
        QString why;
        EXPECT_EQ(BackRest::RestoreFolder(archive, target, {}, 2, &why), row.code) << row.what;
        EXPECT_FALSE(why.isEmpty()) << row.what;
        EXPECT_EQ(BackRest::VerifyArchive(archive), row.code) << row.what;
        EXPECT_EQ(Snapshot(target), before) << row.what;
        EXPECT_EQ(Leftovers(target), QString()) << row.what;
    }
    EXPECT_FALSE(QFileInfo::exists(qbtest::SandboxRoot() + QStringLiteral("/escape")));
}

TEST(BackRest, TruncatedArchivesFailAndLeaveTheTargetUntouched)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"Docs.db", Random(Block + 5000, 7)}, {"e", {}}, {"t", Text(40000)}});
    const QString full = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, full), BackRest::Ok);
    const QByteArray bytes = qbtest::ReadAll(full);
    const qsizetype n = bytes.size();
    const qsizetype listEnd = 6 + 4 + qsizetype(Stream("Docs.db\r\ne\r\nt\r\n").size());

    const QString target = TargetWithContent();
    const auto before = Snapshot(target);
    const std::vector<qsizetype> cuts = {0,           1,         5,           6,           8,           10,
                                         listEnd - 1, listEnd,   listEnd + 2, listEnd + 4, listEnd + 8, listEnd + 300,
                                         n / 2,       n - 40001, n - 4,       n - 1};
    for (qsizetype cut : cuts) {
        const QString archive = Archive(QStringLiteral("cut.qba"));
        qbtest::WriteAll(archive, bytes.left(cut));
        const int code = BackRest::RestoreFolder(archive, target);
        EXPECT_EQ(code, cut < 6 ? BackRest::NotAnArchive : BackRest::Failed) << "cut at " << cut;
        EXPECT_EQ(Snapshot(target), before) << "cut at " << cut;
    }
    EXPECT_EQ(BackRest::RestoreFolder(full, target), BackRest::Ok);
    EXPECT_EQ(Snapshot(target).value(QStringLiteral("t")), Text(40000));
}

TEST(BackRest, StoppingLeavesNothingBehind)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"big", Random(4 * Block, 8)}});
    const QString archive = Archive();
    qbtest::WriteAll(archive, "an older archive");
    int calls = 0;
    const BackRest::ProgressCallback stopAtOnce = [&](int, bool& stop) {
        ++calls;
        stop = true;
    };
    EXPECT_EQ(BackRest::BackupFolder(source, archive, stopAtOnce), BackRest::Stopped);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(qbtest::ReadAll(archive), "an older archive");
    EXPECT_EQ(Siblings(archive), QStringList{QFileInfo(archive).fileName()});

    const QString good = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, good), BackRest::Ok);
    const QString target = TargetWithContent();
    const auto before = Snapshot(target);
    calls = 0;
    EXPECT_EQ(BackRest::RestoreFolder(good, target, stopAtOnce), BackRest::Stopped);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_EQ(Leftovers(target), QString());
}

TEST(BackRest, ProgressRisesToOneHundred)
{
    const QString source = qbtest::FreshFolder();
    // Eight blocks in all: 12.5 % steps, where rounding half to even shows.
    Fill(source, {{"a", Random(3 * Block, 10)}, {"b", {}}, {"c", Text(5 * Block)}});
    std::vector<int> seen;
    const BackRest::ProgressCallback record = [&](int percent, bool&) { seen.push_back(percent); };
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, archive, record, 3), BackRest::Ok);
    EXPECT_EQ(seen, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));

    seen.clear();
    const QString target = qbtest::FreshFolder();
    ASSERT_EQ(BackRest::RestoreFolder(archive, target, record), BackRest::Ok);
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
}

TEST(BackRest, RoundedPercentHalvesToEven)
{
    EXPECT_EQ(BackRest::RoundedPercent(1, 8), 12); // 12.5
    EXPECT_EQ(BackRest::RoundedPercent(3, 8), 38); // 37.5
    EXPECT_EQ(BackRest::RoundedPercent(1, 200), 0); // 0.5
    EXPECT_EQ(BackRest::RoundedPercent(3, 200), 2); // 1.5
    EXPECT_EQ(BackRest::RoundedPercent(2, 3), 67);
    EXPECT_EQ(BackRest::RoundedPercent(1, 3), 33);
    EXPECT_EQ(BackRest::RoundedPercent(2147483647, 2147483647), 100);
}

TEST(BackRest, FoldersTheFormatCannotCarryAreRefusedBeforeWriting)
{
    const QString archive = Archive();
    qbtest::WriteAll(archive, "older");

    const QString lineBreak = qbtest::FreshFolder();
    Fill(lineBreak, {{"two\nlines", "x"}});
    EXPECT_EQ(BackRest::BackupFolder(lineBreak, archive), BackRest::Failed);

    // Names whose list exceeds one block: about 2,200 names of 240 bytes.
    const QString many = qbtest::FreshFolder(QStringLiteral("many"));
    for (int i = 0; i < 2200; ++i)
        Fill(many, {{QByteArray::number(i) + QByteArray(236, 'n'), {}}});
    EXPECT_EQ(BackRest::BackupFolder(many, archive), BackRest::Failed);

    // A sparse file of 2 GiB costs no disk.
    const QString huge = qbtest::FreshFolder();
    QFile sparse(huge + QStringLiteral("/huge"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(qint64(1) << 31));
    sparse.close();
    EXPECT_EQ(BackRest::BackupFolder(huge, archive), BackRest::Failed);

    EXPECT_EQ(qbtest::ReadAll(archive), "older");
}

TEST(BackRest, ListAndVerify)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, Mixed());
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);
    QList<BackRest::Entry> entries;
    ASSERT_EQ(BackRest::ListArchive(archive, entries), BackRest::Ok);
    const auto files = Mixed();
    ASSERT_EQ(entries.size(), qsizetype(files.size()));
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(entries[qsizetype(i)].name, files[i].name);
        EXPECT_EQ(entries[qsizetype(i)].size, files[i].content.size());
    }
    EXPECT_EQ(BackRest::VerifyArchive(archive), BackRest::Ok);

    QByteArray bytes = qbtest::ReadAll(archive);
    qbtest::WriteAll(archive, bytes.left(bytes.size() - 3));
    EXPECT_EQ(BackRest::ListArchive(archive, entries), BackRest::Failed);
}

TEST(BackRest, RefusesToRestoreAnArchiveIntoItsOwnFolder)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"a", "1"}});
    const QString target = qbtest::FreshFolder();
    const QString archive = target + QStringLiteral("/inside.qba");
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);
    const auto before = Snapshot(target);
    EXPECT_EQ(BackRest::RestoreFolder(archive, target), BackRest::Failed);
    EXPECT_EQ(Snapshot(target), before);
}

// A file that changes while it is archived: the listed size is what goes in, so the archive
// always reads back; a file that shrank is a failure, never a broken archive reported as made.
TEST(BackRest, FilesChangingDuringTheBackup)
{
    for (const bool shrink : {true, false}) {
        const QString source = qbtest::FreshFolder();
        const QByteArray first = Random(10 * Block, 12);
        const QByteArray second = Text(Block + 99);
        Fill(source, {{"a", first}, {"b", second}});
        bool changed = false;
        const BackRest::ProgressCallback change = [&](int, bool&) {
            if (changed)
                return;
            changed = true;
            QFile b(source + QStringLiteral("/b"));
            if (shrink) {
                ASSERT_TRUE(b.resize(1000));
            } else {
                ASSERT_TRUE(b.open(QIODevice::Append));
                b.write("grown meanwhile");
            }
        };
        const QString archive = Archive();
        const int code = BackRest::BackupFolder(source, archive, change, 1);
        ASSERT_TRUE(changed);
        if (shrink) {
            EXPECT_EQ(code, BackRest::Failed);
            EXPECT_FALSE(QFileInfo::exists(archive));
        } else {
            ASSERT_EQ(code, BackRest::Ok);
            const RefArchive read = RefRead(qbtest::ReadAll(archive));
            ASSERT_TRUE(read.ok) << read.why.toStdString();
            EXPECT_EQ(read.files[1].content, second);
        }
    }
}

TEST(BackRest, LinksAreNotFilesOfTheFolder)
{
    const QString source = qbtest::FreshFolder();
    const QString outside = qbtest::FreshFolder();
    Fill(outside, {{"secret", "not part of the database"}});
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/secret"), source + QStringLiteral("/link")));
    const QString archive = Archive();
    EXPECT_EQ(BackRest::BackupFolder(source, archive), BackRest::NothingToBackUp);
    Fill(source, {{"Docs.db", "x"}});
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);
    EXPECT_EQ(qbtest::ReadAll(archive), RefWrite({{"Docs.db", "x"}}));
}

// Running out of memory while reading, on the calling thread (the name list) or on a worker (a
// content block), is a failure like any other: the target stays and no staging folder is left.
TEST(BackRest, RunningOutOfMemoryDuringARestoreLeavesTheTargetAsItWas)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"Docs.db", Random(2 * Block, 11)}});
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);
    const QString target = TargetWithContent();
    const auto before = Snapshot(target);

    // An inflated block takes 524,289 bytes: the name list's first, then each content block's.
    for (int nth : {1, 2}) {
        AllocationFault::FailSized(size_t(Block) + 1, nth);
        const int code = BackRest::RestoreFolder(archive, target, {}, 2);
        AllocationFault::Off();
        EXPECT_EQ(code, BackRest::Failed) << "allocation " << nth;
        EXPECT_EQ(Snapshot(target), before) << "allocation " << nth;
        EXPECT_EQ(Leftovers(target), QString()) << "allocation " << nth;
    }
    EXPECT_EQ(BackRest::RestoreFolder(archive, target), BackRest::Ok);
    EXPECT_EQ(Snapshot(target).value(QStringLiteral("Docs.db")), Random(2 * Block, 11));
}

// What the old folder holds besides files and subfolders stays, but never in place of a restored file.
TEST(BackRest, AnOldLinkDoesNotReplaceARestoredFile)
{
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"Docs.db", "restored"}});
    const QString archive = Archive();
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);

    const QString outside = qbtest::FreshFolder();
    Fill(outside, {{"old.db", "old content"}});
    const QString target = qbtest::FreshFolder();
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/old.db"), target + QStringLiteral("/Docs.db")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/old.db"), target + QStringLiteral("/other link")));

    ASSERT_EQ(BackRest::RestoreFolder(archive, target), BackRest::Ok);
    const QFileInfo restored(target + QStringLiteral("/Docs.db"));
    EXPECT_FALSE(restored.isSymLink());
    EXPECT_EQ(qbtest::ReadAll(restored.filePath()), "restored");
    EXPECT_TRUE(QFileInfo(target + QStringLiteral("/other link")).isSymLink());
    EXPECT_EQ(qbtest::ReadAll(outside + QStringLiteral("/old.db")), "old content");
    EXPECT_EQ(Leftovers(target), QString());
}
