#include "core/common/QbError.h"
#include "core/database/DBactions.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString NameMarker = QStringLiteral("ZebraNameMarker-Жук");
const QByteArray ContentMarker = QByteArrayLiteral("QuokkaContentMarker-0123456789");

// Fills a database with documents whose names and contents are easy to find in the file.
void AddDocuments(TDatabaseConnection& connection, int count)
{
    TDocStore store(connection);
    for (int i = 0; i < count; ++i) {
        const QString id = store.CreateDocumentRecord(NameMarker + QString::number(i), QStringLiteral("TXT"));
        store.WriteContentBytes(id, QStringLiteral("Image"), ContentMarker.repeated(50) + QByteArray::number(i));
    }
}

// Every document is there with its name and content.
void ExpectDocuments(TDatabaseConnection& connection, int count)
{
    TDocStore store(connection);
    const auto rows = store.ListDocuments();
    ASSERT_EQ(int(rows.size()), count);
    for (const TDocRow& row : rows) {
        const QString number = row.Name.mid(NameMarker.size());
        EXPECT_EQ(row.Name, NameMarker + number);
        EXPECT_EQ(store.ReadContentBytes(row.Id, QStringLiteral("Image")),
                  ContentMarker.repeated(50) + number.toUtf8());
    }
}

QString DocsFile(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("Docs.db"));
}

QStringList FolderFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

bool HoldsClearText(const QByteArray& bytes)
{
    return bytes.contains(NameMarker.toUtf8()) || bytes.contains(ContentMarker)
        || bytes.contains(QByteArrayLiteral("Doc_name"));
}

void Reopen(TDatabaseConnection& connection, const QString& password)
{
    connection.Close();
    connection.ClearPasswords();
    connection.AddPassword(password);
    connection.Open();
}

struct stat StatOf(const QString& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st;
}

QString ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const QbError& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

TEST(Restructure, PasswordEncryptsTheWholeFileAndPlainFilesStayPlain)
{
    qbtest::TempDatabase db;
    AddDocuments(db.Connection, 20);
    db.Connection.Close();
    const QByteArray plain = qbtest::ReadAll(DocsFile(db.Folder));
    EXPECT_TRUE(plain.startsWith(QByteArray("SQLite format 3\0", 16)));
    EXPECT_TRUE(HoldsClearText(plain));

    SetDatabasePassword(db.Connection, db.Folder, QStringLiteral("PW 1"));
    EXPECT_FALSE(db.Connection.IsOpen());
    EXPECT_EQ(FolderFiles(db.Folder), QStringList{QStringLiteral("Docs.db")});
    const QByteArray encrypted = qbtest::ReadAll(DocsFile(db.Folder));
    EXPECT_FALSE(encrypted.startsWith(QByteArray("SQLite format 3")));
    EXPECT_FALSE(HoldsClearText(encrypted));

    Reopen(db.Connection, QStringLiteral("PW 1"));
    EXPECT_EQ(db.Connection.TableType(), QStringLiteral("SQLCIPHER"));
    ExpectDocuments(db.Connection, 20);
    // The index came along.
    TQuery index(db.Connection, QStringLiteral("select count(*) from sqlite_master where name = 'Docs_Doc_name'"));
    ASSERT_TRUE(index.Next());
    EXPECT_EQ(index.Value(0).toInt(), 1);

    db.Connection.Close();
    EXPECT_TRUE(ErrorOf([&] {
                    Reopen(db.Connection, QStringLiteral("pw 1"));
                }).contains(QStringLiteral("Insufficient table rights")));
    EXPECT_TRUE(
        ErrorOf([&] { Reopen(db.Connection, QString()); }).contains(QStringLiteral("Insufficient table rights")));
}

TEST(Restructure, ChangingThePasswordKeepsEverything)
{
    qbtest::TempDatabase db(QStringLiteral("OLD"));
    AddDocuments(db.Connection, 5);
    db.Connection.Close();

    // The old password must be given to open the protected database first.
    EXPECT_TRUE(ErrorOf([&] {
                    SetDatabasePassword(db.Connection, db.Folder, QStringLiteral("NEW"));
                }).contains(QStringLiteral("Insufficient table rights")));
    EXPECT_FALSE(db.Connection.IsOpen());
    SetDatabasePassword(db.Connection, db.Folder, QStringLiteral("NEW"), QStringLiteral("OLD"));

    EXPECT_FALSE(HoldsClearText(qbtest::ReadAll(DocsFile(db.Folder))));
    EXPECT_FALSE(ErrorOf([&] { Reopen(db.Connection, QStringLiteral("OLD")); }).isEmpty());
    Reopen(db.Connection, QStringLiteral("NEW"));
    ExpectDocuments(db.Connection, 5);
    EXPECT_EQ(FolderFiles(db.Folder), QStringList{QStringLiteral("Docs.db")});
}

TEST(Restructure, NoPageInClearOutlivesAddingThePassword)
{
    const QString folder = qbtest::FreshDatabase();
    // What a plain database killed after edits leaves: a journal with old pages in clear.
    qbtest::WriteAll(DocsFile(folder) + QStringLiteral("-journal"), QByteArray(28, '\0') + ContentMarker);
    TDatabaseConnection adb;
    SetDatabasePassword(adb, folder, QStringLiteral("PW"));
    EXPECT_EQ(FolderFiles(folder), QStringList{QStringLiteral("Docs.db")});
}

TEST(Restructure, PackKeepsEveryDocumentAndRemovesThePassword)
{
    qbtest::TempDatabase db(QStringLiteral("PACK ME"));
    AddDocuments(db.Connection, 30);
    // Free pages that a pack gives back.
    TDocStore store(db.Connection);
    const QString big = store.CreateDocumentRecord(QStringLiteral("big"), QStringLiteral("IMG"));
    store.WriteContentBytes(big, QStringLiteral("Image"), QByteArray(2 * 1024 * 1024, 'b'));
    store.DeleteDocument(big);
    const qint64 sizeBefore = QFileInfo(DocsFile(db.Folder)).size();

    PackTable(db.Connection);
    EXPECT_TRUE(db.Connection.IsOpen());
    EXPECT_EQ(db.Connection.TableType(), QStringLiteral("SQLITE"));
    ExpectDocuments(db.Connection, 30);

    Reopen(db.Connection, QString());
    ExpectDocuments(db.Connection, 30);
    db.Connection.Close();
    EXPECT_TRUE(qbtest::ReadAll(DocsFile(db.Folder)).startsWith(QByteArray("SQLite format 3\0", 16)));
    EXPECT_LT(QFileInfo(DocsFile(db.Folder)).size(), sizeBefore / 2);
    EXPECT_EQ(FolderFiles(db.Folder), QStringList{QStringLiteral("Docs.db")});

    EXPECT_EQ(ErrorOf([&] { PackTable(db.Connection); }), QStringLiteral("Table must be opened to pack"));
    EXPECT_EQ(ErrorOf([&] { AddMasterPassword(db.Connection, QStringLiteral("X")); }),
              QStringLiteral("Table must be opened in exclusive mode to add passwords"));
}

TEST(Restructure, AFailedRenameOrAStopMidwayLosesNothing)
{
    // Adding a password to a plain database, and packing a protected one; the rename of the
    // finished rewrite fails, or the user asks to stop while the rewrite is being written.
    for (const bool stopMidway : {false, true}) {
        for (const QString& oldPassword : {QString(), QStringLiteral("OLD PW")}) {
            SCOPED_TRACE(oldPassword.toStdString() + (stopMidway ? " stopped" : " rename fails"));
            qbtest::TempDatabase db(oldPassword);
            AddDocuments(db.Connection, stopMidway ? 200 : 10);
            int renames = 0;
            db.Connection.SetRenameFunction([&](const QString& from, const QString& to) {
                ++renames;
                EXPECT_TRUE(QFile::exists(from)); // the rewrite was complete when the rename came
                if (stopMidway)
                    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
                errno = EACCES;
                return false;
            });
            int asked = 0;
            const StopCheck stop = [&] { return stopMidway && ++asked > 2; };
            QbErrorKind kind = QbErrorKind::Other;
            const QString message = ErrorOf([&] {
                try {
                    if (oldPassword.isEmpty())
                        AddMasterPassword(db.Connection, QStringLiteral("NEW PW"), stop);
                    else
                        PackTable(db.Connection, stop);
                } catch (const QbError& e) {
                    kind = e.Kind();
                    throw;
                }
            });
            EXPECT_EQ(renames, stopMidway ? 0 : 1);
            if (stopMidway)
                EXPECT_EQ(kind, QbErrorKind::Stopped) << message.toStdString();
            else
                EXPECT_TRUE(message.contains(QStringLiteral("Can not replace"))) << message.toStdString();
            EXPECT_TRUE(db.Connection.IsOpen());
            db.Connection.Close();
            EXPECT_EQ(FolderFiles(db.Folder), QStringList{QStringLiteral("Docs.db")});

            Reopen(db.Connection, oldPassword);
            EXPECT_EQ(db.Connection.IsEncrypted(), !oldPassword.isEmpty());
            ExpectDocuments(db.Connection, stopMidway ? 200 : 10);
            if (oldPassword.isEmpty()) {
                EXPECT_FALSE(ErrorOf([&] {
                                 Reopen(db.Connection, QStringLiteral("NEW PW"));
                             }).contains(QStringLiteral("Insufficient")));
            } else {
                EXPECT_TRUE(
                    ErrorOf([&] { Reopen(db.Connection, QString()); }).contains(QStringLiteral("Insufficient")));
            }
        }
    }
}

TEST(Restructure, BadPasswordsAreRefusedBeforeAnythingChanges)
{
    const QString folder = qbtest::FreshDatabase();
    const QByteArray before = qbtest::ReadAll(DocsFile(folder));
    TDatabaseConnection adb;
    EXPECT_FALSE(ErrorOf([&] { SetDatabasePassword(adb, folder, QString(32, QLatin1Char('P'))); }).isEmpty());
    EXPECT_FALSE(ErrorOf([&] { SetDatabasePassword(adb, folder, QString()); }).isEmpty());
    EXPECT_EQ(qbtest::ReadAll(DocsFile(folder)), before);

    // 31 characters is the longest password.
    SetDatabasePassword(adb, folder, QString(31, QLatin1Char('P')));
    adb.AddPassword(QString(31, QLatin1Char('P')));
    adb.Open();
    EXPECT_TRUE(adb.IsEncrypted());

    // The connection must be closed first.
    EXPECT_FALSE(ErrorOf([&] { SetDatabasePassword(adb, folder, QStringLiteral("X")); }).isEmpty());
    EXPECT_TRUE(adb.IsOpen());
}

TEST(Restructure, EveryRewriteKeepsTheModeAndOwnerOfTheFile)
{
    qbtest::TempDatabase db;
    const QString file = DocsFile(db.Folder);
    EXPECT_EQ(StatOf(file).st_mode & 07777, 0600u) << "a new database is private";
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    // Another owner can be kept only by root.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 4321, 4322), 0);
    }

    AddMasterPassword(db.Connection, QStringLiteral("ONE"));
    db.Connection.Close();
    SetDatabasePassword(db.Connection, db.Folder, QStringLiteral("TWO"), QStringLiteral("ONE"));
    Reopen(db.Connection, QStringLiteral("TWO"));
    PackTable(db.Connection);
    const struct stat st = StatOf(file);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, root ? 4321u : ::geteuid());
    EXPECT_EQ(st.st_gid, root ? 4322u : ::getegid());
}

TEST(Restructure, FullDiskDuringAPasswordChangeGivesTheEnginesReason)
{
    qbtest::TempDatabase db(QStringLiteral("OLD"));
    AddDocuments(db.Connection, 40);
    db.Connection.Close();
    const qint64 size = QFileInfo(DocsFile(db.Folder)).size();
    ASSERT_GT(size, 64 * 1024);

    // A full disk, as root too: no file of this process may grow past 16 KiB.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString message
        = ErrorOf([&] { SetDatabasePassword(db.Connection, db.Folder, QStringLiteral("NEW"), QStringLiteral("OLD")); });
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(message.contains(QStringLiteral("Insufficient"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("disk"))) << message.toStdString();
    EXPECT_EQ(FolderFiles(db.Folder), QStringList{QStringLiteral("Docs.db")});
    Reopen(db.Connection, QStringLiteral("OLD"));
    ExpectDocuments(db.Connection, 40);
}
