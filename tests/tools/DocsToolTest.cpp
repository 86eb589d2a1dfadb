#include "core/database/Connection.h"
#include "core/documents/FakeObjectServer.h"
#include "core/settings/SettingsFile.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct ToolRun
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun Docs(const QStringList& args, const QByteArray& password = QByteArray())
{
    QProcess process;
    process.start(qEnvironmentVariable("QB_DOCS_TOOL"), args);
    process.write(password);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

const QStringList Stdin = {QStringLiteral("--password-fd"), QStringLiteral("0")};

} // namespace

TEST(DocsTool, ExitStatuses)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("QB_DOCS_TOOL"));
    const QString plain = qbtest::FreshDatabase();
    const QString locked = qbtest::FreshDatabase(QStringLiteral("secret"));
    // A registered name stands for its folder.
    QDir().mkpath(QFileInfo(TSettingsFile::SettingsFileName()).path());
    qbtest::WriteAll(
        TSettingsFile::SettingsFileName(),
        QStringLiteral("<SETTINGS><BASE_LIST><BASE NAME=\"Registered\" PATH=\"%1\"/></BASE_LIST></SETTINGS>")
            .arg(plain)
            .toUtf8());
    qbtest::TempDatabase held; // opened below: a running Quietbox holds it
    ASSERT_NO_THROW(held.Connection.Open());
    struct Case
    {
        const char* what;
        QStringList args;
        QByteArray password;
        int code;
    };
    const Case cases[] = {
        {"success", Stdin + QStringList{QStringLiteral("list"), plain}, {}, 0},
        {"a registered name", {QStringLiteral("list"), QStringLiteral("Registered")}, {}, 0},
        {"the right password", Stdin + QStringList{QStringLiteral("list"), locked}, "secret\n", 0},
        {"no such database", {QStringLiteral("list"), QStringLiteral("no such name")}, {}, 2},
        {"a folder without a database", {QStringLiteral("list"), qbtest::FreshFolder()}, {}, 2},
        {"no such document", {QStringLiteral("cat"), plain, QStringLiteral("nothing")}, {}, 3},
        {"no file to import", {QStringLiteral("import"), plain, QStringLiteral("/no/such/file")}, {}, 3},
        {"nothing matches", {QStringLiteral("search"), plain, QStringLiteral("nothing")}, {}, 3},
        {"wrong password", Stdin + QStringList{QStringLiteral("list"), locked}, "wrong\n", 4},
        {"no password", Stdin + QStringList{QStringLiteral("list"), locked}, {}, 4},
        {"in use", {QStringLiteral("list"), held.Folder}, {}, 5},
        {"usage", {QStringLiteral("list")}, {}, 64},
        {"search without a word", {QStringLiteral("search"), plain, QStringLiteral("\"*\"")}, {}, 64},
    };
    for (const Case& c : cases) {
        const ToolRun run = Docs(c.args, c.password);
        EXPECT_EQ(run.code, c.code) << c.what << ": " << run.err.constData();
        if (c.code != 0) {
            EXPECT_TRUE(run.err.startsWith("quietbox-docs: ")) << c.what;
        }
    }
    // Wrong passwords from the tool never drop a database, however many.
    EXPECT_EQ(qbtest::CountDocuments(locked, QStringLiteral("secret")), 0);
    EXPECT_TRUE(QFileInfo::exists(locked + QStringLiteral("/Docs.db")));
}

TEST(DocsTool, ImportExportListCat)
{
    qbtest::AddFakeServer(QStringLiteral("org.test.binary"), "true", QStringLiteral("application/octet-stream"));
    const QString db = qbtest::FreshDatabase(QStringLiteral("pw"));
    const QString in = qbtest::FreshFolder();
    QByteArray object(300 * 1024, '\0');
    for (int i = 0; i < object.size(); ++i)
        object[i] = char(i * 7 % 251);
    qbtest::WriteAll(in + QStringLiteral("/blob.bin"), object);
    qbtest::WriteAll(in + QStringLiteral("/note.txt"), "hello\nworld\n");

    ToolRun run = Docs(Stdin
                           + QStringList{QStringLiteral("import"), db, in + QStringLiteral("/blob.bin"),
                                         in + QStringLiteral("/note.txt")},
                       "pw\n");
    ASSERT_EQ(run.code, 0) << run.err.constData();
    run = Docs(Stdin + QStringList{QStringLiteral("list"), db}, "pw\n");
    EXPECT_TRUE(run.out.contains("\tblob.bin\n")) << run.out.constData();
    EXPECT_TRUE(run.out.startsWith("\t") || run.out.contains("\n\t")) << "an object has an empty type";
    EXPECT_TRUE(run.out.contains("TXT\t")) << run.out.constData();
    run = Docs(Stdin + QStringList{QStringLiteral("cat"), db, QStringLiteral("note.txt")}, "pw\n");
    EXPECT_EQ(run.out, QByteArray("hello\nworld\n"));
    // Builds the index, then reads the words as the search window does.
    const struct
    {
        QStringList words;
        QByteArray out;
    } searches[] = {
        {{QStringLiteral("WORLD"), QStringLiteral("hel*")}, "note.txt\n"},
        {{QStringLiteral("\"hello world\"")}, "note.txt\n"},
        {{QStringLiteral("\"world hello\"")}, ""},
    };
    for (const auto& search : searches) {
        run = Docs(Stdin + QStringList{QStringLiteral("search"), db} + search.words, "pw\n");
        EXPECT_EQ(run.out, search.out) << search.words.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.code, search.out.isEmpty() ? 3 : 0);
    }

    const QString out = qbtest::FreshFolder();
    run = Docs(Stdin + QStringList{QStringLiteral("export"), db, out}, "pw\n");
    ASSERT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(qbtest::ReadAll(out + QStringLiteral("/blob.bin")), object);
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/note.txt.html")));
    run = Docs(Stdin + QStringList{QStringLiteral("export"), db, out, QStringLiteral("blob.bin")}, "pw\n");
    EXPECT_EQ(run.code, 6) << "an existing file is never replaced";
    EXPECT_EQ(qbtest::ReadAll(out + QStringLiteral("/blob.bin")), object);
}
