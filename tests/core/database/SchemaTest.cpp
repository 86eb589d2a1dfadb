#include "core/database/Schema.h"

#include "core/common/QbError.h"
#include "core/database/DBactions.h"
#include "core/database/Query.h"
#include "support/DialogScript.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

TEST(Schema, CreateDocsTableMakesAnOpenableEmptyDatabase)
{
    const QString folder = qbtest::FreshFolder();
    QString shown;
    ASSERT_TRUE(Schema::CreateDocsTable(folder, [&](const QString& text) { shown = text; })) << shown.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Docs.db")});

    TDatabaseConnection connection;
    connection.SetParams(folder);
    connection.Open();
    TQuery count(connection, QStringLiteral("select count(*) from Docs"));
    ASSERT_TRUE(count.Next());
    EXPECT_EQ(count.Value(0).toInt(), 0);
    connection.Close();

    // A second create fails with the engine's message and leaves the database alone.
    const QByteArray before = qbtest::ReadAll(connection.FilePath());
    EXPECT_FALSE(Schema::CreateDocsTable(folder, [&](const QString& text) { shown = text; }));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Помилка виконання:\n\n"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("already exists"))) << shown.toStdString();
    EXPECT_EQ(qbtest::ReadAll(connection.FilePath()), before);
}

TEST(Schema, RunSqlFailureReportsThroughTheDialogSeamAndLeavesNoFile)
{
    const QString folder = qbtest::FreshFolder();
    DialogScript::Start();
    EXPECT_FALSE(RunSql({QStringLiteral("CREATE TABLE broken ("), QStringLiteral(")")}, folder));
    const QString shown = DialogScript::LastShown();
    DialogScript::Stop();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Помилка виконання:\n\n")));
    EXPECT_GT(shown.size(), 20);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // A blank database name means the current folder, which is restored afterwards.
    const QString start = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    const bool created = RunSql(Schema::DocsTableLines(), QStringLiteral("  "));
    QDir::setCurrent(start);
    EXPECT_TRUE(created);
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QStringLiteral("Docs.db"))));
}

TEST(Schema, AnchorTableIsCreatedAfreshInTheUserDataFolder)
{
    const QString start = QDir::currentPath();
    Schema::CreateAnchorTable();
    const QString path = Schema::AnchorTablePath();
    EXPECT_TRUE(path.startsWith(qbtest::SandboxRoot())) << path.toStdString();
    EXPECT_TRUE(path.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    EXPECT_FALSE(QFile::exists(QDir(start).filePath(QStringLiteral("anch.db"))));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO anch (anch_id) VALUES ('x')", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    Schema::CreateAnchorTable();
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM anch", -1, &stmt, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 0);
    sqlite3_finalize(stmt);
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA table_info(anch)", -1, &stmt, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), "anch_id");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)), "CHAR(32)");
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}
