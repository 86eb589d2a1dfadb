#include "core/database/Connection.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

namespace {

using Snapshot = QMap<QString, QByteArray>;

// Every file of a folder with its bytes: "nothing written" means an equal snapshot.
Snapshot TakeSnapshot(const QString& folder)
{
    Snapshot files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        files.insert(name, qbtest::ReadAll(dir.filePath(name)));
    return files;
}

QbErrorKind g_lastKind = QbErrorKind::Other; // the kind of the last error OpenError saw

QString OpenError(TDatabaseConnection& connection)
{
    try {
        connection.Open();
    } catch (const QbError& e) {
        g_lastKind = e.Kind();
        return e.Message();
    }
    return QString();
}

QString OpenError(const QString& folder, const QString& password = QString())
{
    TDatabaseConnection connection;
    connection.SetParams(folder);
    connection.AddPassword(password);
    const QString message = OpenError(connection);
    EXPECT_EQ(connection.IsOpen(), message.isEmpty());
    return message;
}

// Writes a plain SQLite file with the given schema, outside the connection under test.
void MakeSqliteFile(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// Whether a plain handle of this process can take the write lock of the file.
bool CanLock(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const bool ok = sqlite3_exec(db, "BEGIN EXCLUSIVE; COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Whether this process still has the file open (a database handle left behind).
bool HeldOpen(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    return false;
}

QByteArray RandomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace

TEST(ConnectionBadInput, EachBadFolderFailsCleanlyAndStaysUntouched)
{
    struct Row
    {
        const char* name;
        std::function<void(const QString& file)> make;
        const char* expected;
        QbErrorKind kind = QbErrorKind::NotADatabase;
    };
    const std::vector<Row> rows = {
        {"missing Docs.db", [](const QString&) {}, "does not exist"},
        {"empty file", [](const QString& f) { qbtest::WriteAll(f, QByteArray()); }, "holds no table Docs"},
        {"random bytes, whole pages", [](const QString& f) { qbtest::WriteAll(f, RandomBytes(8192)); },
         "Insufficient table rights", QbErrorKind::WrongKey},
        {"random bytes, odd size", [](const QString& f) { qbtest::WriteAll(f, RandomBytes(1000)); }, "not a database"},
        {"text file", [](const QString& f) { qbtest::WriteAll(f, QByteArray(1024, 'x')); }, "Insufficient",
         QbErrorKind::WrongKey},
        {"SQLite without Docs", [](const QString& f) { MakeSqliteFile(f, "CREATE TABLE Other (a TEXT)"); },
         "holds no table Docs"},
        {"Docs with other columns",
         [](const QString& f) { MakeSqliteFile(f, "CREATE TABLE Docs (Doc_id TEXT, Title TEXT, Body BLOB)"); },
         "expected columns"},
        {"Docs with one column more",
         [](const QString& f) {
             MakeSqliteFile(f,
                            "CREATE TABLE Docs (Doc_id, Doc_type, Doc_name, C_date, L_date, Dsc, OLEobj, "
                            "Image, Extra)");
         },
         "expected columns"},
        {"Docs is a view",
         [](const QString& f) {
             MakeSqliteFile(f,
                            "CREATE TABLE t (Doc_id, Doc_type, Doc_name, C_date, L_date, Dsc, OLEobj, Image);"
                            "CREATE VIEW Docs AS SELECT * FROM t");
         },
         "holds no table Docs"},
        {"a WAL file",
         [](const QString& f) {
             MakeSqliteFile(f,
                            "PRAGMA journal_mode=WAL; CREATE TABLE Docs (Doc_id, Doc_type, Doc_name, C_date, "
                            "L_date, Dsc, OLEobj, Image)");
         },
         "journal mode"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString folder = qbtest::FreshFolder();
        const QString file = QDir(folder).filePath(QStringLiteral("Docs.db"));
        row.make(file);
        const Snapshot before = TakeSnapshot(folder);

        const QString message = OpenError(folder, QStringLiteral("SOME PASSWORD"));
        EXPECT_TRUE(message.contains(QString::fromLatin1(row.expected))) << message.toStdString();
        EXPECT_EQ(g_lastKind, row.kind);
        EXPECT_EQ(TakeSnapshot(folder), before);
        if (QFile::exists(file)) {
            EXPECT_FALSE(HeldOpen(file)) << "the failed open left the file open";
        }
    }
}

TEST(ConnectionBadInput, MissingFolderOrNoFolderGivesAnError)
{
    EXPECT_TRUE(OpenError(qbtest::SandboxRoot() + QStringLiteral("/no such folder"))
                    .contains(QStringLiteral("does not exist")));
    TDatabaseConnection connection;
    EXPECT_FALSE(OpenError(connection).isEmpty());
}

TEST(ConnectionOpen, OpensAndLeavesOnlyDocsDbAtRest)
{
    qbtest::TempDatabase db;
    EXPECT_TRUE(db.Connection.IsOpen());
    EXPECT_EQ(db.Connection.TableType(), QStringLiteral("SQLITE"));
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("a"), QStringLiteral("TXT"));
    store.WriteContentBytes(id, QStringLiteral("Image"), QByteArray(100000, 'c'));
    store.DeleteDocument(id);
    db.Connection.Close();
    EXPECT_EQ(QDir(db.Folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Docs.db")});
    EXPECT_THROW(db.Connection.TableType(), QbError);
}

TEST(ConnectionOpen, SecondConnectionOfThisProcessIsRefused)
{
    qbtest::TempDatabase db;
    // Opened again: the first open wrote the name order index, and its journal stays while open.
    db.Connection.Close();
    db.Connection.Open();
    const Snapshot before = TakeSnapshot(db.Folder);
    const QString message = OpenError(db.Folder);
    EXPECT_TRUE(message.contains(QStringLiteral("in use"))) << message.toStdString();
    EXPECT_FALSE(CanLock(QDir(db.Folder).filePath(QStringLiteral("Docs.db"))));
    EXPECT_TRUE(HeldOpen(db.Connection.FilePath()));
    // Even reading is refused: the lock is exclusive, not merely a write lock.
    sqlite3* raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(db.Connection.FilePath()).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    EXPECT_NE(sqlite3_exec(raw, "SELECT count(*) FROM Docs", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    db.Connection.Close();
    EXPECT_FALSE(HeldOpen(db.Connection.FilePath()));
    EXPECT_EQ(TakeSnapshot(db.Folder), before);
    EXPECT_TRUE(OpenError(db.Folder).isEmpty());
}

// Child side of the two-process tests: runs only when the parent starts this binary with
// QB_PROBE_DB set. "try" reports whether an open succeeds; "hold" keeps the database open
// until its standard input closes.
TEST(ConnectionProbe, ChildProcess)
{
    const QString folder = qEnvironmentVariable("QB_PROBE_DB");
    if (folder.isEmpty())
        GTEST_SKIP() << "only run as a child process";
    TDatabaseConnection connection;
    connection.SetParams(folder);
    const QString message = OpenError(connection);
    QTextStream out(stdout);
    out << (message.isEmpty() ? QStringLiteral("OPENED") : QStringLiteral("FAILED ") + message) << '\n';
    out.flush();
    if (qEnvironmentVariable("QB_PROBE_MODE") == QStringLiteral("hold")) {
        QTextStream in(stdin);
        in.readLine();
    }
}

namespace {

void StartProbe(QProcess& child, const QString& folder, const char* mode)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QB_PROBE_DB"), folder);
    env.insert(QStringLiteral("QB_PROBE_MODE"), QString::fromLatin1(mode));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=ConnectionProbe.*")});
    ASSERT_TRUE(child.waitForStarted());
}

QString ProbeLine(QProcess& child)
{
    // The test framework prints its own lines first.
    for (;;) {
        while (!child.canReadLine() && child.waitForReadyRead(60000)) { }
        if (!child.canReadLine())
            return QString();
        const QString line = QString::fromUtf8(child.readLine()).trimmed();
        if (line.startsWith(QStringLiteral("OPENED")) || line.startsWith(QStringLiteral("FAILED")))
            return line;
    }
}

} // namespace

TEST(ConnectionOpen, AnotherProcessCanNotOpenAnOpenDatabase)
{
    qbtest::TempDatabase db;
    QProcess child;
    StartProbe(child, db.Folder, "try");
    const QString line = ProbeLine(child);
    EXPECT_TRUE(line.startsWith(QStringLiteral("FAILED")) && line.contains(QStringLiteral("in use")))
        << line.toStdString();
    ASSERT_TRUE(child.waitForFinished(60000));
}

TEST(ConnectionOpen, DatabaseHeldByAnotherProcessIsRefusedUntilReleased)
{
    const QString folder = qbtest::FreshDatabase();
    QProcess child;
    StartProbe(child, folder, "hold");
    ASSERT_EQ(ProbeLine(child), QStringLiteral("OPENED"));
    const Snapshot before = TakeSnapshot(folder);
    const QString message = OpenError(folder);
    EXPECT_TRUE(message.contains(QStringLiteral("in use"))) << message.toStdString();
    EXPECT_EQ(g_lastKind, QbErrorKind::InUse);
    EXPECT_EQ(TakeSnapshot(folder), before);

    child.closeWriteChannel();
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_TRUE(OpenError(folder).isEmpty());
}

TEST(ConnectionPassword, HookDeclinesOrSuppliesThePassword)
{
    const QString folder = qbtest::FreshDatabase(QStringLiteral("Secret Пароль"));
    TDatabaseConnection connection;
    connection.SetParams(folder);
    const Snapshot before = TakeSnapshot(folder);

    // No hook, no password.
    EXPECT_TRUE(OpenError(connection).contains(QStringLiteral("Insufficient table rights")));
    EXPECT_EQ(g_lastKind, QbErrorKind::WrongKey);

    // Wrong password, hook declines.
    int asked = 0;
    connection.AddPassword(QStringLiteral("WRONG"));
    connection.SetPasswordRequest([&](QString&) {
        ++asked;
        return false;
    });
    EXPECT_TRUE(OpenError(connection).contains(QStringLiteral("Insufficient table rights")));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(TakeSnapshot(folder), before);

    // Passwords reach the engine as given: no case folding.
    connection.AddPassword(QStringLiteral("SECRET ПАРОЛЬ"));
    asked = 0;
    EXPECT_FALSE(OpenError(connection).isEmpty());
    EXPECT_EQ(asked, 1);

    // An empty answer declines, so a careless hook can not loop forever.
    asked = 0;
    connection.SetPasswordRequest([&](QString& password) {
        ++asked;
        password.clear();
        return true;
    });
    EXPECT_TRUE(OpenError(connection).contains(QStringLiteral("Insufficient table rights")));
    EXPECT_EQ(asked, 1);

    // The hook answers wrongly once, then rightly.
    QStringList answers = {QStringLiteral("secret пароль"), QStringLiteral("Secret Пароль")};
    asked = 0;
    connection.SetPasswordRequest([&](QString& password) {
        ++asked;
        password = answers.takeFirst();
        return true;
    });
    EXPECT_EQ(OpenError(connection), QString());
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(connection.TableType(), QStringLiteral("SQLCIPHER"));
    // The password is spent: the engine proves it, and another open needs it again.
    EXPECT_TRUE(connection.IsKeyedWith(QStringLiteral("Secret Пароль")));
    EXPECT_FALSE(connection.IsKeyedWith(QStringLiteral("secret пароль")));
    EXPECT_FALSE(connection.IsKeyedWith(QString()));
    connection.SetPasswordRequest({});
    EXPECT_TRUE(OpenError(connection).contains(QStringLiteral("Insufficient table rights")));
}

TEST(ConnectionPassword, UnprotectedDatabaseIgnoresAGivenPassword)
{
    const QString folder = qbtest::FreshDatabase();
    EXPECT_EQ(OpenError(folder, QStringLiteral("ANY")), QString());
}

TEST(ConnectionEngine, VersionHasCipher)
{
    EXPECT_EQ(TDatabaseConnection::EngineVersion(), sqlite3_libversion_number());
    EXPECT_TRUE(TDatabaseConnection::EngineUsable()) << "the build links SQLCipher 3 or later";
}

TEST(ConnectionQuery, ValuesAreBoundNotPastedAndClosedQueriesFail)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString nasty = QStringLiteral("x'); DROP TABLE Docs; --");
    const QString id = store.CreateDocumentRecord(nasty, QStringLiteral("TXT"));
    TQuery query(db.Connection, QStringLiteral("select Doc_name from Docs where Doc_name = :name"));
    query.Bind(QStringLiteral(":name"), nasty);
    ASSERT_TRUE(query.Next());
    EXPECT_EQ(query.Text(QStringLiteral("DOC_NAME")), nasty);
    EXPECT_THROW(query.Bind(QStringLiteral(":nope"), 1), QbError);
    EXPECT_THROW(query.Value(QStringLiteral("nope")), QbError);
    EXPECT_THROW(TQuery(db.Connection, QStringLiteral("select nonsense from")), QbError);
    EXPECT_THROW(TQuery(db.Connection, QStringLiteral("select 1; select 2")), QbError);

    db.Connection.Close();
    EXPECT_THROW(query.Next(), QbError);
    EXPECT_THROW(TQuery(db.Connection, QStringLiteral("select 1")), QbError);
}
