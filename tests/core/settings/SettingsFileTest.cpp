#include "core/settings/SettingsFile.h"

#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

const QByteArray kDefaultFile = "\r\n<SETTINGS ALIGN=\"1\">\r\n\t<OLE_SERVERS/>\r\n\t<BASE_LIST/>\r\n</SETTINGS>";

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        name = TSettingsFile::SettingsFileName();
        QDir().mkpath(QFileInfo(name).absolutePath());
        QFile::remove(name);
        QFile::remove(name + QStringLiteral(".bad"));
    }
    QString name;
};

TEST_F(SettingsFileTest, LivesInTheUsersConfigurationFolder)
{
    EXPECT_TRUE(name.startsWith(qbtest::SandboxRoot())) << name.toStdString();
    EXPECT_TRUE(name.endsWith(QStringLiteral("/quietbox/quietbox.SET"))) << name.toStdString();
}

TEST_F(SettingsFileTest, DefaultTreeIsWrittenByteForByte)
{
    TSettingsFile file;
    EXPECT_FALSE(file.Load());
    TSettingsFile::FillDefaults(file.Root());
    ASSERT_TRUE(file.Save());
    EXPECT_EQ(qbtest::ReadAll(name), kDefaultFile);
    EXPECT_FALSE(QFileInfo::exists(name + QStringLiteral(".bad"))) << "a missing file is no bad file";
}

TEST_F(SettingsFileTest, LowerCaseKeysAreFound)
{
    qbtest::WriteAll(name, "<settings align=\"2\"><base_list><base name=\"Home\" path=\"/x\"/></base_list></settings>");
    TSettingsFile file;
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.Root().GetAttr(QStringLiteral("ALIGN")), QStringLiteral("2"));
    const TOrbPigger* list = file.Root().FindChild(QStringLiteral("BASE_LIST"));
    ASSERT_NE(list, nullptr);
    EXPECT_NE(list->FindChildByAttr(QStringLiteral("name"), QStringLiteral("HOME")), nullptr);
}

TEST_F(SettingsFileTest, UnparsableFileIsKeptAsBadBeforeDefaultsReplaceIt)
{
    const QByteArray truncated = "\r\n<SETTINGS ALIGN=\"1\">\r\n\t<BASE_LIST>\r\n\t\t<BASE NAME=\"Private\" PA";
    qbtest::WriteAll(name, truncated);
    TSettingsFile file;
    EXPECT_FALSE(file.Load());
    EXPECT_EQ(qbtest::ReadAll(name + QStringLiteral(".bad")), truncated);
    TSettingsFile::FillDefaults(file.Root());
    ASSERT_TRUE(file.Save());
    EXPECT_EQ(qbtest::ReadAll(name), kDefaultFile);

    // A second bad file replaces the older copy rather than failing.
    qbtest::WriteAll(name, "<A><B></C>");
    TSettingsFile again;
    EXPECT_FALSE(again.Load());
    EXPECT_EQ(qbtest::ReadAll(name + QStringLiteral(".bad")), QByteArray("<A><B></C>"));
}

TEST_F(SettingsFileTest, EmptyOrBlankFileCountsAsDamaged)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\r\n\t  \r\n"), QByteArray("no markup at all")}) {
        qbtest::WriteAll(name, bytes);
        TSettingsFile file;
        EXPECT_FALSE(file.Load()) << bytes.constData();
        EXPECT_EQ(qbtest::ReadAll(name + QStringLiteral(".bad")), bytes);
    }
}

TEST_F(SettingsFileTest, FailedSaveLeavesTheOldFileAsItWas)
{
    qbtest::WriteAll(name, kDefaultFile);
    TSettingsFile file;
    ASSERT_TRUE(file.Load());
    file.Root().SetAttr(QStringLiteral("DEFAULT_DB"), QString(20000, QLatin1Char('x')));

    // A full disk, as root too: no file of this process may grow past 4 KiB.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = file.Save();
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(saved);
    EXPECT_EQ(qbtest::ReadAll(name), kDefaultFile);
    const QStringList entries = QDir(QFileInfo(name).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, QStringList{QStringLiteral("quietbox.SET")}) << "no temporary file is left behind";
}

TEST_F(SettingsFileTest, SaveReplacesTheFileWholeAndLeavesNoTemporaryFiles)
{
    TSettingsFile file;
    TSettingsFile::FillDefaults(file.Root());
    file.Root()
        .FindChild(QStringLiteral("BASE_LIST"))
        ->AddChild(QStringLiteral("BASE"))
        ->SetAttr(QStringLiteral("NAME"), QStringLiteral("Дом"));
    ASSERT_TRUE(file.Save());
    TSettingsFile back;
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.Root().GetText(), file.Root().GetText());
    const QStringList entries = QDir(QFileInfo(name).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, QStringList{QStringLiteral("quietbox.SET")});
}

TEST_F(SettingsFileTest, EightBitFileIsReadAsLatin1AndLosesNothing)
{
    // "Café" and "Größe" as a Latin-1 editor saves them; a UTF-8 file stays as it is.
    qbtest::WriteAll(name,
                     "<SETTINGS ALIGN=\"1\"><BASE_LIST><BASE NAME=\"Caf\xe9\" PATH=\"/gr\xf6\xdf"
                     "e\"/></BASE_LIST>"
                     "</SETTINGS>");
    TSettingsFile file;
    ASSERT_TRUE(file.Load());
    const TOrbPigger* base = file.Root().FindChild(QStringLiteral("BASE_LIST"))->FindChild(QStringLiteral("BASE"));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->GetAttr(QStringLiteral("NAME")), QStringLiteral("Café"));
    EXPECT_EQ(base->GetAttr(QStringLiteral("PATH")), QStringLiteral("/größe"));
    ASSERT_TRUE(file.Save());
    EXPECT_TRUE(qbtest::ReadAll(name).contains("NAME=\"Caf\xc3\xa9\"")) << "saved as UTF-8";

    qbtest::WriteAll(name, "<SETTINGS><BASE_LIST><BASE NAME=\"Caf\xc3\xa9\"/></BASE_LIST></SETTINGS>");
    TSettingsFile utf8;
    ASSERT_TRUE(utf8.Load());
    EXPECT_EQ(utf8.Root()
                  .FindChild(QStringLiteral("BASE_LIST"))
                  ->FindChild(QStringLiteral("BASE"))
                  ->GetAttr(QStringLiteral("NAME")),
              QStringLiteral("Café"));
}

// Two runs (or a run and a tool) that read the file, change it and write it in turn.
TEST_F(SettingsFileTest, TwoWritersKeepEachOthersChangesAndTheNewerWinsPerAttribute)
{
    qbtest::WriteAll(name,
                     "<SETTINGS ALIGN=\"1\" DEFAULT_DB=\"D\" RP_MODE=\"OPEN_DEFAULT\" DELAY=\"500\"><BASE_LIST>"
                     "<BASE NAME=\"D\" PATH=\"/d\"/><BASE NAME=\"K\" PATH=\"/k\"/></BASE_LIST></SETTINGS>");
    TSettingsFile a;
    TSettingsFile b;
    ASSERT_TRUE(a.Load());
    ASSERT_TRUE(b.Load());
    const auto list = [](TSettingsFile& f) { return f.Root().FindChild(QStringLiteral("BASE_LIST")); };
    const auto add = [&list](TSettingsFile& f, const char* db) {
        TOrbPigger* e = list(f)->AddChild(QStringLiteral("BASE"));
        e->SetAttr(QStringLiteral("NAME"), QString::fromLatin1(db));
        e->SetAttr(QStringLiteral("PATH"), QStringLiteral("/") + QString::fromLatin1(db));
    };

    // A creates X and drops the default D; B creates Y and changes the delay; both rename K's path.
    add(a, "X");
    delete list(a)->FindChildByAttr(QStringLiteral("NAME"), QStringLiteral("D"));
    a.Root().DeleteAttr(QStringLiteral("DEFAULT_DB"));
    a.Root().DeleteAttr(QStringLiteral("RP_MODE"));
    list(a)
        ->FindChildByAttr(QStringLiteral("NAME"), QStringLiteral("K"))
        ->SetAttr(QStringLiteral("PATH"), QStringLiteral("/a"));
    ASSERT_TRUE(a.Save());
    add(b, "Y");
    b.Root().SetAttr(QStringLiteral("DELAY"), QStringLiteral("900"));
    list(b)
        ->FindChildByAttr(QStringLiteral("NAME"), QStringLiteral("K"))
        ->SetAttr(QStringLiteral("PATH"), QStringLiteral("/b"));
    ASSERT_TRUE(b.Save());

    TSettingsFile result;
    ASSERT_TRUE(result.Load());
    TOrbPigger* entries = list(result);
    ASSERT_NE(entries, nullptr);
    QStringList names;
    for (int i = 0; i < entries->ChildCount(); ++i)
        names << entries->Child(i)->GetAttr(QStringLiteral("NAME")) + QLatin1Char('=')
                + entries->Child(i)->GetAttr(QStringLiteral("PATH"));
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("K=/b"), QStringLiteral("X=/X"), QStringLiteral("Y=/Y")}));
    EXPECT_EQ(result.Root().GetAttr(QStringLiteral("DEFAULT_DB")), QString()) << "the drop is not undone";
    EXPECT_EQ(result.Root().GetAttr(QStringLiteral("RP_MODE")), QString());
    EXPECT_EQ(result.Root().GetAttr(QStringLiteral("DELAY")), QStringLiteral("900"));
    // B's own tree now holds what A wrote, too.
    EXPECT_NE(list(b)->FindChildByAttr(QStringLiteral("NAME"), QStringLiteral("X")), nullptr);

    // A later write by A, who did not touch the delay again, keeps B's.
    a.Root().SetAttr(QStringLiteral("GS"), QStringLiteral("NO"));
    ASSERT_TRUE(a.Save());
    ASSERT_TRUE(result.Load());
    EXPECT_EQ(result.Root().GetAttr(QStringLiteral("DELAY")), QStringLiteral("900"));
    EXPECT_EQ(list(result)->ChildCount(), 3);
}

// The helper side: registers databases QB_SETTINGS_WRITER 0..19 in the settings of the
// configuration folder QB_SETTINGS_CONFIG, writing the settings after each.
TEST(SettingsWriterProbe, Register)
{
    const QString writer = qEnvironmentVariable("QB_SETTINGS_WRITER");
    if (writer.isEmpty())
        GTEST_SKIP() << "run as the helper of another test";
    qputenv("XDG_CONFIG_HOME", qgetenv("QB_SETTINGS_CONFIG"));
    TSettingsFile settings;
    ASSERT_TRUE(settings.Load());
    TOrbPigger* list = settings.Root().FindChild(QStringLiteral("BASE_LIST"));
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 20; ++i) {
        TOrbPigger* entry = list->AddChild(QStringLiteral("BASE"));
        entry->SetAttr(QStringLiteral("NAME"), QStringLiteral("%1%2").arg(writer).arg(i));
        entry->SetAttr(QStringLiteral("PATH"), QStringLiteral("/db/%1%2").arg(writer).arg(i));
        ASSERT_TRUE(settings.Save());
    }
}

TEST_F(SettingsFileTest, TwoProcessesWritingAtOnceKeepEveryRegistration)
{
    qbtest::WriteAll(name, kDefaultFile);
    QProcess writers[2];
    for (int w = 0; w < 2; ++w) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QB_SETTINGS_WRITER"), QStringLiteral("W%1_").arg(w));
        env.insert(QStringLiteral("QB_SETTINGS_CONFIG"), qEnvironmentVariable("XDG_CONFIG_HOME"));
        writers[w].setProcessEnvironment(env);
        writers[w].start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--gtest_filter=SettingsWriterProbe.Register")});
    }
    for (QProcess& writer : writers) {
        ASSERT_TRUE(writer.waitForFinished(60000));
        EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardOutput().constData();
    }
    TSettingsFile result;
    ASSERT_TRUE(result.Load());
    EXPECT_EQ(result.Root().FindChild(QStringLiteral("BASE_LIST"))->ChildCount(), 40);
}

TEST(IntOrZero, ReadsDecimalOrGivesZero)
{
    EXPECT_EQ(TSettingsFile::IntOrZero(QStringLiteral("900")), 900);
    EXPECT_EQ(TSettingsFile::IntOrZero(QStringLiteral("-12")), -12);
    EXPECT_EQ(TSettingsFile::IntOrZero(QString()), 0);
    EXPECT_EQ(TSettingsFile::IntOrZero(QStringLiteral("12a")), 0);
    EXPECT_EQ(TSettingsFile::IntOrZero(QStringLiteral("99999999999")), 0);
}

} // namespace
