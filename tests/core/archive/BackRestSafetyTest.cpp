#include "core/archive/BackRest.h"
#include "support/ArchiveTestKit.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace archivetest;

namespace {

struct Hook
{
    explicit Hook(BackRest::FaultHook hook) { BackRest::SetFaultHook(std::move(hook)); }
    ~Hook() { BackRest::SetFaultHook({}); }
};

QString ArchiveOf(const std::vector<RefFile>& files)
{
    const QString archive = qbtest::FreshFolder(QStringLiteral("archives")) + QStringLiteral("/a.qba");
    qbtest::WriteAll(archive, RefWrite(files));
    return archive;
}

const std::vector<RefFile> Restored = {{"Docs.db", Random(Block + 9, 21)}, {"notes", "new"}};

QString Target()
{
    const QString target = qbtest::FreshFolder(QStringLiteral("target база"));
    Fill(target, {{"Docs.db", Random(5000, 22)}, {"old only", "old"}, {"notes", "old notes"}});
    EXPECT_TRUE(QDir(target).mkdir(QStringLiteral("sub")));
    Fill(target + QStringLiteral("/sub"), {{"inner", "stays"}});
    return target;
}

QMap<QString, QByteArray> Expected()
{
    return {{QStringLiteral("Docs.db"), Restored[0].content},
            {QStringLiteral("notes"), "new"},
            {QStringLiteral("sub/"), {}},
            {QStringLiteral("sub/inner"), "stays"}};
}

// The folder itself cannot be renamed (a mount point), or nothing can be made beside it (a parent
// the user cannot write).
BackRest::FaultHook Unswappable(const QString& target, bool busy)
{
    const QByteArray self = QFile::encodeName(target);
    const QByteArray beside = QFile::encodeName(QFileInfo(target).absolutePath() + QStringLiteral("/."));
    return [=](const char* op, const QByteArray& from, const QByteArray& to) {
        if (busy)
            return (qstrcmp(op, "rename") == 0 && (from == self || to == self)) ? EBUSY : 0;
        return (qstrcmp(op, "mkdir") == 0 && from.startsWith(beside)) ? EACCES : 0;
    };
}

} // namespace

TEST(BackRestSafety, RestoresInsideAFolderThatCannotBeSwapped)
{
    for (const bool busy : {true, false}) {
        const QString target = Target();
        const auto before = Snapshot(target);
        Hook hook(Unswappable(target, busy));

        QByteArray damaged = RefWrite(Restored);
        damaged[damaged.size() - 20] = char(damaged[damaged.size() - 20] ^ 1);
        const QString bad = qbtest::FreshFolder() + QStringLiteral("/bad.qba");
        qbtest::WriteAll(bad, damaged);
        EXPECT_EQ(BackRest::RestoreFolder(bad, target), BackRest::Failed) << busy;
        EXPECT_EQ(Snapshot(target), before) << busy;

        QString why;
        EXPECT_EQ(BackRest::RestoreFolder(ArchiveOf(Restored), target, {}, 0, &why), BackRest::Ok)
            << busy << why.toStdString();
        EXPECT_EQ(Snapshot(target), Expected()) << busy;
        EXPECT_EQ(Leftovers(target), QString()) << busy;
    }
}

// Inside the folder, a failure at any move is taken back: the folder stays as it was.
TEST(BackRestSafety, AFailedMoveInsideTheFolderIsTakenBack)
{
    const QString archive = ArchiveOf(Restored);
    int failAt = 1;
    for (bool done = false; !done; ++failAt) {
        const QString target = Target();
        const auto before = Snapshot(target);
        const QByteArray inside = QFile::encodeName(target) + "/";
        int renames = 0;
        Hook hook([&, busy = Unswappable(target, true)](const char* op, const QByteArray& from, const QByteArray& to) {
            if (const int e = busy(op, from, to))
                return e;
            return (qstrcmp(op, "rename") == 0 && from.startsWith(inside) && ++renames == failAt) ? EIO : 0;
        });
        const int code = BackRest::RestoreFolder(archive, target);
        done = code == BackRest::Ok;
        EXPECT_EQ(Snapshot(target), done ? Expected() : before) << "failing move " << failAt;
        ASSERT_LT(failAt, 20);
    }
    EXPECT_GT(failAt, 5); // three files out, the marker, two files in
}

// When even the way back fails, the error names what is left, and the next run ends the job: it
// puts the old content back, or, once every restored file was in the folder, moves them in.
TEST(BackRestSafety, LeftoversAreNamedAndClearedByTheNextRun)
{
    enum Where
    {
        Beside, // no atomic exchange; the second rename and the way back fail
        InsideBack, // the first restored file cannot move in, the old files cannot move back
        InsideForward, // nothing moves out of the complete restored files
    };
    for (const Where where : {Beside, InsideBack, InsideForward}) {
        const QString target = Target();
        const auto before = Snapshot(target);
        const QByteArray self = QFile::encodeName(target);
        {
            Hook hook([&, busy = Unswappable(target, true)](const char* op, const QByteArray& from,
                                                            const QByteArray& to) {
                if (qstrcmp(op, "rename") != 0)
                    return 0;
                if (where == Beside)
                    return (to == self) ? EIO : 0;
                if (const int e = busy(op, from, to))
                    return e;
                if (where == InsideForward)
                    return from.contains("/.qb-new-") ? EIO : 0;
                return ((from.contains("/.qb-new-") || from.contains("/.qb-old-")) && !to.contains("/.qb-")) ? EIO : 0;
            });
            QString why;
            EXPECT_EQ(BackRest::RestoreFolder(ArchiveOf(Restored), target, {}, 0, &why), BackRest::Failed);
            EXPECT_TRUE(why.contains(where == Beside ? QStringLiteral(".old-") : QStringLiteral(".qb-old-")))
                << why.toStdString();
        }
        QString why;
        EXPECT_TRUE(BackRest::RemoveStaleCompanions(target, &why)) << why.toStdString();
        EXPECT_EQ(Snapshot(target), where == InsideForward ? Expected() : before) << where;
        EXPECT_EQ(Leftovers(target), QString()) << where;
    }
}

TEST(BackRestSafety, ADatabaseInUseIsRefused)
{
    qbtest::TempDatabase db;
    const auto before = Snapshot(db.Folder);
    const QString archive = qbtest::FreshFolder() + QStringLiteral("/b.qba");
    QString why;
    EXPECT_EQ(BackRest::BackupFolder(db.Folder, archive, {}, 0, &why), BackRest::Failed);
    EXPECT_TRUE(why.contains(QStringLiteral("in use"))) << why.toStdString();
    EXPECT_FALSE(QFileInfo::exists(archive));

    why.clear();
    EXPECT_EQ(BackRest::RestoreFolder(ArchiveOf(Restored), db.Folder, {}, 0, &why), BackRest::Failed);
    EXPECT_TRUE(why.contains(QStringLiteral("in use"))) << why.toStdString();
    EXPECT_EQ(Snapshot(db.Folder), before);
    db.Connection.Exec(QStringLiteral("CREATE TABLE stillWritable(x)"));

    db.Connection.Close();
    EXPECT_EQ(BackRest::BackupFolder(db.Folder, archive), BackRest::Ok);
}

TEST(BackRestSafety, StaleCompanionsGoAndEngineFilesAreNeverArchived)
{
    const QString folder = qbtest::FreshDatabase();
    const QString db = folder + QStringLiteral("/Docs.db");
    const QString parent = QFileInfo(folder).absolutePath() + QStringLiteral("/.") + QFileInfo(folder).fileName();
    qbtest::WriteAll(db + QStringLiteral("-journal"), QByteArray(28, '\0') + "old page in clear");
    qbtest::WriteAll(db + QStringLiteral(".rewrite"), "unencrypted copy");
    qbtest::WriteAll(db + QStringLiteral("-shm"), "x");
    ASSERT_TRUE(QDir().mkpath(parent + QStringLiteral(".restore-abc123")));
    qbtest::WriteAll(parent + QStringLiteral(".restore-abc123/Docs.db"), "half restored");
    // One still held by a running restore stays.
    ASSERT_TRUE(QDir().mkpath(parent + QStringLiteral(".restore-held12")));
    const int held = ::open(QFile::encodeName(parent + QStringLiteral(".restore-held12")).constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    const QString archive = qbtest::FreshFolder() + QStringLiteral("/c.qba");
    ASSERT_EQ(BackRest::BackupFolder(folder, archive), BackRest::Ok);
    QList<BackRest::Entry> entries;
    ASSERT_EQ(BackRest::ListArchive(archive, entries), BackRest::Ok);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, "Docs.db");
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-journal")));
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral(".rewrite")));
    EXPECT_EQ(Leftovers(folder), QFileInfo(parent).fileName() + QStringLiteral(".restore-held12"));
    ::close(held);

    // A hot journal is the engine's to roll back: kept, and no backup before that.
    qbtest::WriteAll(db + QStringLiteral("-journal"), QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7") + "pages");
    QString why;
    EXPECT_EQ(BackRest::BackupFolder(folder, archive, {}, 0, &why), BackRest::Failed);
    EXPECT_TRUE(why.contains(QStringLiteral("not closed properly"))) << why.toStdString();
    EXPECT_TRUE(BackRest::RemoveStaleCompanions(folder));
    EXPECT_TRUE(QFileInfo::exists(db + QStringLiteral("-journal")));
    EXPECT_EQ(Leftovers(folder), QString());
}
