#include "support/ArchiveTestKit.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

using namespace archivetest;

namespace {

struct ToolRun
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun Tool(const QStringList& args)
{
    QProcess process;
    process.start(qEnvironmentVariable("QB_ARCHIVE_TOOL"), args);
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// Not on a terminal: a failure is one line on stderr, without progress bar remains.
void ExpectOneLineError(const ToolRun& run)
{
    EXPECT_TRUE(run.err.startsWith("quietbox-archive: ")) << run.err.constData();
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
    EXPECT_FALSE(run.err.contains('\r'));
}

} // namespace

TEST(ArchiveTool, BackupListVerifyRestore)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("QB_ARCHIVE_TOOL"));
    const QString source = qbtest::FreshFolder();
    Fill(source, {{"Docs.db", Random(Block + 1, 11)}, {"empty", {}}, {"пример", Text(2000)}});
    const QString archive = qbtest::FreshFolder() + QStringLiteral("/a b.qba");

    ToolRun run = Tool({QStringLiteral("backup"), source, archive});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_TRUE(run.err.isEmpty()) << "no progress bar off a terminal";
    EXPECT_TRUE(RefRead(qbtest::ReadAll(archive)).ok);

    run = Tool({QStringLiteral("list"), archive});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, QByteArray("524289\tDocs.db\n0\tempty\n2000\tпример\n"));

    run = Tool({QStringLiteral("--threads"), QStringLiteral("1"), QStringLiteral("verify"), archive});
    EXPECT_EQ(run.code, 0) << run.err.constData();

    const QString target = qbtest::FreshFolder();
    Fill(target, {{"other", "x"}});
    run = Tool({QStringLiteral("restore"), archive, target});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(Snapshot(target), Snapshot(source));
}

TEST(ArchiveTool, ExitStatusIsTheResultCode)
{
    const QString empty = qbtest::FreshFolder();
    const QString archive = qbtest::FreshFolder() + QStringLiteral("/x.qba");
    ToolRun run = Tool({QStringLiteral("backup"), empty, archive});
    EXPECT_EQ(run.code, 2);
    ExpectOneLineError(run);
    EXPECT_FALSE(QFileInfo::exists(archive));

    run = Tool({QStringLiteral("verify"), archive});
    EXPECT_EQ(run.code, 3);
    ExpectOneLineError(run);

    qbtest::WriteAll(archive, "BACKUQ" + StoredBlock("a\r\n") + Le32(0));
    const QString target = qbtest::FreshFolder();
    Fill(target, {{"Docs.db", "precious"}});
    run = Tool({QStringLiteral("restore"), archive, target});
    EXPECT_EQ(run.code, 4);
    ExpectOneLineError(run);
    EXPECT_EQ(qbtest::ReadAll(target + QStringLiteral("/Docs.db")), "precious");

    qbtest::WriteAll(archive, "BACKUP" + StoredBlock("a\r\n") + Le32(10) + Le32(3) + "xyz");
    run = Tool({QStringLiteral("verify"), archive});
    EXPECT_EQ(run.code, 5);
    ExpectOneLineError(run);
}

TEST(ArchiveTool, UsageErrorsAndHelp)
{
    for (const QStringList& args :
         {QStringList{}, QStringList{QStringLiteral("pack")},
          QStringList{QStringLiteral("backup"), QStringLiteral("only-one")},
          QStringList{QStringLiteral("--bogus"), QStringLiteral("list"), QStringLiteral("x")},
          QStringList{QStringLiteral("--threads"), QStringLiteral("0"), QStringLiteral("list"), QStringLiteral("x")}}) {
        const ToolRun run = Tool(args);
        EXPECT_EQ(run.code, 64) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("quietbox-archive: "));
    }
    const ToolRun help = Tool({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    for (const char* word :
         {"backup FOLDER ARCHIVE", "restore ARCHIVE FOLDER", "list ARCHIVE", "verify ARCHIVE", "Exit status", "64"})
        EXPECT_TRUE(help.out.contains(word)) << word;
}
