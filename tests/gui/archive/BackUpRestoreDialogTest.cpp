#include "core/jobs/JobRunner.h"
#include "gui/archive/backUpRestore.h"
#include "gui/widgets/OrbFileEdit.h"
#include "support/ArchiveTestKit.h"
#include "support/Child.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace qbtest;
using archivetest::Snapshot;

namespace {

class BackUpRestoreDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DialogScript::Start();
        start = FreshFolder(QStringLiteral("start начало"));
        previous = QDir::currentPath();
        QDir::setCurrent(start);
    }
    void TearDown() override
    {
        QDir::setCurrent(previous);
        DialogScript::Stop();
    }

    // OK, and the operation it started run to its end.
    static void Ok(TFBackUpRestore& dialog)
    {
        dialog.OKBtnClick();
        for (int i = 0; i < 12000 && dialog.Busy(); ++i)
            QTest::qWait(5);
        ASSERT_FALSE(dialog.Busy());
    }
    // The same with the archive field of the page shown filled in first.
    static void Ok(TFBackUpRestore& dialog, const QString& archive)
    {
        Child<QStackedWidget>(&dialog, "PageControl1")->currentWidget()->findChild<TOrbFileEdit*>()->setText(archive);
        Ok(dialog);
    }

    QString start;
    QString previous;
};

TEST(BackUpRestoreNamesTest, DefaultArchiveNameStopsAtTheFirstDot)
{
    EXPECT_EQ(TFBackUpRestore::DefaultArchiveName(QStringLiteral("/data/Work.2005")), QStringLiteral("Work.qba"));
    EXPECT_EQ(TFBackUpRestore::DefaultArchiveName(QStringLiteral("/data/a.b.c/")), QStringLiteral("a.qba"));
    EXPECT_EQ(TFBackUpRestore::DefaultArchiveName(QStringLiteral("/data/мої документи")),
              QStringLiteral("мої документи.qba"));
    EXPECT_EQ(TFBackUpRestore::DefaultArchiveName(QStringLiteral("Work")), QStringLiteral("Work.qba"));
}

TEST_F(BackUpRestoreDialogTest, SameFolderResolvesLikeChangingIntoIt)
{
    const QString db = FreshFolder(QStringLiteral("db база"));
    ASSERT_TRUE(QDir(db).mkdir(QStringLiteral("sub")));
    EXPECT_TRUE(SameFolder(db, db + QStringLiteral("/sub/.."), start));
    EXPECT_TRUE(SameFolder(db + QStringLiteral("/"), db, start));
    EXPECT_FALSE(SameFolder(db, db + QStringLiteral("/sub"), start));
    // Relative paths start at the start folder; missing or empty ones lead to it.
    EXPECT_TRUE(SameFolder(QStringLiteral("."), start, start));
    EXPECT_TRUE(SameFolder(QString(), start, start));
    EXPECT_TRUE(SameFolder(start + QStringLiteral("/no such"), start, start));
    EXPECT_FALSE(SameFolder(start + QStringLiteral("/no such"), db, start));
    const QString link = start + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(db, link));
    EXPECT_TRUE(SameFolder(QStringLiteral("link"), db, start)) << "links are followed";
}

TEST_F(BackUpRestoreDialogTest, RefusesAnArchiveInTheDatabaseFolder)
{
    const QString db = FreshDatabase();
    const auto before = Snapshot(db);
    TFBackUpRestore dialog;
    dialog.PrepareBackUp(db);
    Ok(dialog, db + QStringLiteral("/x.qba"));
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("The archive and the database can not be placed in the same folder"));
    EXPECT_EQ(dialog.LastCode(), -1) << "nothing ran";

    // A bare name is taken from the start folder: refused when that is the database folder.
    QDir::setCurrent(db);
    dialog.PrepareBackUp(db);
    EXPECT_EQ(Child<TOrbFileEdit>(&dialog, "OrbFileEdit1")->FileName(), TFBackUpRestore::DefaultArchiveName(db));
    Ok(dialog);
    EXPECT_EQ(DialogScript::Shown().size(), 2);
    EXPECT_EQ(dialog.LastCode(), -1);
    EXPECT_EQ(Snapshot(db), before);

    dialog.PrepareRestore(db, false);
    Ok(dialog, QStringLiteral("missing folder/x.qba")); // resolves to the start folder
    EXPECT_EQ(DialogScript::Shown().size(), 3);
    EXPECT_EQ(dialog.LastCode(), -1);
    EXPECT_EQ(Snapshot(db), before);
}

TEST_F(BackUpRestoreDialogTest, BacksUpAndRestoresWithTheArchivesProtection)
{
    TempDatabase source(QStringLiteral("FIRST"));
    source.Connection.Close();
    const QString target = FreshDatabase(QStringLiteral("SECOND"));

    TFBackUpRestore dialog;
    dialog.PrepareBackUp(source.Folder);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Back Up"));
    Ok(dialog, QStringLiteral("копія.qba")); // relative: lands in the start folder
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Archive created"));
    EXPECT_EQ(Child<QProgressBar>(&dialog, "ProgressBar1")->value(), 0);
    const QString archive = start + QStringLiteral("/копія.qba");
    ASSERT_TRUE(QFileInfo::exists(archive));

    dialog.PrepareRestore(target, false);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Restore"));
    EXPECT_FALSE(Child<QLabel>(&dialog, "Label_attention")->isHidden());
    Ok(dialog, archive);
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Database restored"));
    EXPECT_EQ(Child<QProgressBar>(&dialog, "ProgressBar2")->value(), 0);
    EXPECT_EQ(Snapshot(target), Snapshot(source.Folder)) << "the archive's file, with its password";

    dialog.PrepareRestore(target, true);
    EXPECT_TRUE(Child<QLabel>(&dialog, "Label_attention")->isHidden());
}

// That a failed restore, or one of a database in use, leaves it as it was, and that a damaged
// archive gives a reason, is BackRestTest's.
TEST_F(BackUpRestoreDialogTest, AFailedRestoreTellsWhy)
{
    const QString db = FreshDatabase(QStringLiteral("KEEP"));
    TFBackUpRestore dialog;
    for (const QString& name : {start + QStringLiteral("/absent.qba"), QString()}) {
        dialog.PrepareRestore(db, false);
        Ok(dialog, name);
        // The fixed text, and the reason beneath it.
        const QString shown = DialogScript::LastShown();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("Database restore error\n"))) << shown.toStdString();
        EXPECT_GT(shown.size(), 23) << name.toStdString();
        EXPECT_NE(dialog.LastCode(), 0);
    }
}

TEST_F(BackUpRestoreDialogTest, RefusesToRestoreOverAFolderWithoutADatabase)
{
    const QString other = FreshFolder(QStringLiteral("photos фото"));
    archivetest::Fill(other, {{"holiday.jpg", QByteArray("jpeg")}});
    const QString archive = start + QStringLiteral("/a.qba");
    ASSERT_EQ(BackRest::BackupFolder(FreshDatabase(), archive), BackRest::Ok);
    const auto before = Snapshot(other);

    TFBackUpRestore dialog;
    dialog.PrepareRestore(other, false);
    Ok(dialog, archive);
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("holds no database")))
        << DialogScript::LastShown().toStdString();
    EXPECT_EQ(Snapshot(other), before);
}

TEST_F(BackUpRestoreDialogTest, ProgressMovesWhileTheWindowRunsAndStopLeavesNoArchive)
{
    const QString folder = FreshFolder(QStringLiteral("big велике"));
    archivetest::Fill(folder, {{"Docs.db", archivetest::Random(24 * 524288, 3)}});
    const QString archive = start + QStringLiteral("/big.qba");

    TFBackUpRestore dialog;
    auto* bar = Child<QProgressBar>(&dialog, "ProgressBar1");
    auto* stop = Child<QPushButton>(&dialog, "SB_stop");
    QList<int> seen;
    bool stopEnabled = false;
    QObject::connect(bar, &QProgressBar::valueChanged, &dialog, [&](int v) {
        seen << v;
        stopEnabled = stopEnabled || stop->isEnabled();
        if (v > 0)
            stop->click();
    });
    dialog.PrepareBackUp(folder);
    Ok(dialog, archive);
    EXPECT_EQ(dialog.LastCode(), BackRest::Stopped);
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Archive creation error\nStopped"));
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_TRUE(stopEnabled) << "Stop is offered while the work runs";
    EXPECT_FALSE(stop->isEnabled());
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_GT(seen.constFirst(), 0);
    EXPECT_LT(seen.constFirst(), 100);

    // The modal run: OK does the work and closes the dialog.
    seen.clear();
    QObject::disconnect(bar, nullptr, &dialog, nullptr);
    QObject::connect(bar, &QProgressBar::valueChanged, &dialog, [&](int v) { seen << v; });
    OnModal<TFBackUpRestore>([&](TFBackUpRestore* d) {
        Child<TOrbFileEdit>(d, "OrbFileEdit1")->setText(archive);
        Child<QPushButton>(d, "OKBtn")->click();
    });
    dialog.BackUp(folder);
    EXPECT_EQ(dialog.LastCode(), BackRest::Ok);
    EXPECT_TRUE(seen.contains(100));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(QFileInfo::exists(archive));
}

// A job that throws on the worker thread is a failed job; the window goes on.
TEST_F(BackUpRestoreDialogTest, AnExceptionInTheWorkIsAFailureNotACrash)
{
    TJobRunner runner;
    QList<int> seen;
    int code = -1;
    ASSERT_TRUE(StartArchiveJob(
        runner,
        [](const BackRest::ProgressCallback& cb) -> int {
            bool stop = false;
            cb(40, stop);
            throw std::runtime_error("out of luck");
        },
        [&](int percent) { seen << percent; }, [&](int c) { code = c; }));
    QSignalSpy finished(&runner, &TJobRunner::Finished);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(code, BackRest::Failed);
    EXPECT_EQ(seen, QList<int>{40});
}

} // namespace
