#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/database/Schema.h"
#include "core/settings/OrbPigger.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/documents/doc_list.h"
#include "gui/startup/BDE_DL.h"
#include "support/AppFixture.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cerrno>
#include <sqlcipher/sqlite3.h>

using qbtest::AppFixture;

namespace {

const QString kWrong = QStringLiteral("Incorrect password.\nTry again.");
const QString kCanNot = QStringLiteral("Can not open the database.\n");

using Snapshot = QMap<QString, QByteArray>;

Snapshot TakeSnapshot(const QString& folder)
{
    Snapshot files;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot))
        files.insert(name,
                     QFileInfo(dir.filePath(name)).isDir() ? QByteArray("<dir>") : qbtest::ReadAll(dir.filePath(name)));
    return files;
}

class OpenDatabaseTest : public AppFixture
{
protected:
    void TearDown() override
    {
        TDatabaseConnection::ADB().SetRenameFunction({});
        AppFixture::TearDown();
    }

    TFaskBaseAndPwd* Ask() const { return Windows().FaskBaseAndPwd; }
    TDatabaseConnection& ADB() const { return TDatabaseConnection::ADB(); }

    // Registers folder under name.
    QString AddEntry(const QString& name, const QString& folder)
    {
        TOrbPigger* list = Settings()->BaseListNode();
        if (!list)
            list = Root().AddChild(QStringLiteral("BASE_LIST"));
        TOrbPigger* entry = list->AddChild(QStringLiteral("BASE"));
        entry->SetAttr(QStringLiteral("NAME"), name);
        entry->SetAttr(QStringLiteral("PATH"), folder);
        return folder;
    }
    // Registers a fresh database (protected when a password is given) under name.
    QString AddDb(const QString& name, const QString& password = QString())
    {
        return AddEntry(name, qbtest::FreshDatabase(password));
    }

    // The user picks name in the dialog, types password and presses "OK".
    void OpenWithDialog(const QString& name, const QString& password)
    {
        DialogScript::QueueTexts({QStringLiteral("OK"), name, password});
        Main()->SBreopenClick();
    }

    static bool HasDocs(const QString& folder) { return QFileInfo::exists(folder + QStringLiteral("/Docs.db")); }
    static int Count(const QString& text) { return int(DialogScript::Shown().count(text)); }
    static QStringList Messages()
    {
        // What the user saw, without the scripted dialog's own prompts.
        QStringList out;
        for (const QString& s : DialogScript::Shown())
            if (s != QStringLiteral("Select database") && s != QStringLiteral("Database:")
                && s != QStringLiteral("Password:"))
                out << s;
        return out;
    }
    void ExpectClosed() const
    {
        EXPECT_FALSE(Main()->DatabaseOpen);
        EXPECT_FALSE(ADB().IsOpen());
        EXPECT_FALSE(Main()->O_doc_list1->IsActive());
        EXPECT_FALSE(Main()->TB_new_doc->isEnabled());
    }
};

// ---- The selection dialog

TEST_F(OpenDatabaseTest, SelectionDialogListsBaseEntriesAndLooksNamesUpIgnoringCase)
{
    StartApp(
        "<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"Hidden\" DEFAULT_INVISIBLE=\"Y\"><BASE_LIST/></SETTINGS>");
    AddEntry(QStringLiteral("ALPHA"), QStringLiteral("/a"));
    TOrbPigger* other = Settings()->BaseListNode()->AddChild(QStringLiteral("OTHER"));
    other->SetAttr(QStringLiteral("NAME"), QStringLiteral("Beta"));
    other->SetAttr(QStringLiteral("PATH"), QStringLiteral("/b"));
    AddEntry(QStringLiteral("Hidden"), QStringLiteral("/h"));
    AddEntry(QStringLiteral("hidden"), QStringLiteral("/h2")); // not the default: the comparison is exact
    AddEntry(QStringLiteral("  Spaced  "), QStringLiteral("/s"));

    EXPECT_EQ(Ask()->windowTitle(), QStringLiteral("Select database"));
    EXPECT_EQ(Ask()->SB_databases->toolTip(), QStringLiteral("Create new database"));
    Ask()->FillDatabaseList();
    QStringList listed;
    for (int i = 0; i < Ask()->CB_databases->count(); ++i)
        listed << Ask()->CB_databases->itemText(i);
    EXPECT_EQ(listed, (QStringList{QStringLiteral("ALPHA"), QStringLiteral("hidden"), QStringLiteral("  Spaced  ")}));
    EXPECT_TRUE(Ask()->SelectedDatabaseName().isEmpty()) << "nothing selected after filling";

    EXPECT_EQ(TFaskBaseAndPwd::DatabasePath(QStringLiteral("alpha")), QStringLiteral("/a"));
    EXPECT_EQ(TFaskBaseAndPwd::DatabasePath(QStringLiteral("BETA")), QStringLiteral("/b")) << "any node name";
    EXPECT_EQ(TFaskBaseAndPwd::DatabasePath(QStringLiteral("HIDDEN")), QStringLiteral("/h")) << "the first match";
    EXPECT_TRUE(TFaskBaseAndPwd::DatabasePath(QStringLiteral("none")).isEmpty());
    EXPECT_EQ(TFaskBaseAndPwd::FindDatabaseEntry(QStringLiteral("none")), nullptr);

    Ask()->SelectDatabase(QStringLiteral("alpha"));
    EXPECT_EQ(Ask()->SelectedDatabaseName(), QStringLiteral("ALPHA"));
    Ask()->SelectDatabase(QStringLiteral("  spaced  "));
    EXPECT_EQ(Ask()->SelectedDatabaseName(), QStringLiteral("Spaced")) << "blanks are trimmed";
    Ask()->SelectDatabase(QStringLiteral("Beta"));
    EXPECT_TRUE(Ask()->SelectedDatabaseName().isEmpty()) << "not listed: selection cleared";
}

TEST_F(OpenDatabaseTest, PasswordFieldMasksAndUpperCasesWhatIsTyped)
{
    StartApp();
    QLineEdit* field = Ask()->Edit_pwd;
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    QTest::keyClicks(field, QStringLiteral("abc D1"));
    EXPECT_EQ(field->text(), QStringLiteral("ABC D1"));
    field->clear();
    field->insert(QStringLiteral("pasted é"));
    EXPECT_EQ(field->text(), QStringLiteral("PASTED É"));

    // Typed in lower case, the password reaches the engine in upper case and opens the database.
    const QString folder = AddDb(QStringLiteral("A"), QStringLiteral("SECRET"));
    OpenWithDialog(QStringLiteral("a"), QStringLiteral("secret"));
    EXPECT_TRUE(Main()->DatabaseOpen) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ADB().Password(), QStringLiteral("SECRET"));
    EXPECT_EQ(ADB().Path(), folder);
    EXPECT_EQ(Main()->CurrentDatabaseName, QStringLiteral("A"));
}

TEST_F(OpenDatabaseTest, CreateButtonOpensTheNewDatabaseWithItsPassword)
{
    StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
    QString made;
    Ask()->CreateNewHook = [&]() {
        made = AddDb(QStringLiteral("Fresh"), QStringLiteral("NEWPW"));
        return TNewDatabase{QStringLiteral("fresh"), made, QStringLiteral("NEWPW")};
    };
    DialogScript::QueueTexts({QStringLiteral("...")});
    Main()->SBreopenClick();
    EXPECT_TRUE(Main()->DatabaseOpen);
    EXPECT_EQ(Main()->CurrentDatabaseName, QStringLiteral("Fresh"));
    EXPECT_EQ(ADB().Path(), made);
    EXPECT_TRUE(SettingsFileBytes().contains("Fresh")) << "the settings file is saved after the wizard";

    // A cancelled wizard opens nothing and leaves no database open.
    Ask()->CreateNewHook = [] { return TNewDatabase{}; };
    DialogScript::QueueTexts({QStringLiteral("...")});
    Main()->SBreopenClick();
    ExpectClosed();
}

// ---- Opening, closing and the policy

TEST_F(OpenDatabaseTest, RestrictReportsWrongPasswordAndCancelClosesTheOpenDatabase)
{
    StartApp();
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString b = AddDb(QStringLiteral("B"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("nope"));
    EXPECT_EQ(Messages(), QStringList{kWrong});
    ExpectClosed();
    EXPECT_EQ(Main()->WrongAttempts, 0) << "restrict counts nothing";

    OpenWithDialog(QStringLiteral("B"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen);
    EXPECT_TRUE(Main()->ListReady);
    EXPECT_TRUE(Main()->TB_del_doc->isEnabled());
    EXPECT_TRUE(Settings()->LastOpenName().isEmpty());

    Main()->WrongAttempts = 1;
    Main()->LastWrongDatabase = QStringLiteral("A");
    DialogScript::QueueTexts({QStringLiteral("Cancel")});
    Main()->SBreopenClick();
    ExpectClosed();
    EXPECT_TRUE(Main()->CurrentDatabaseName.isEmpty());
    EXPECT_EQ(Settings()->LastOpenName(), QStringLiteral("B"));
    EXPECT_EQ(Main()->WrongAttempts, 1) << "cancel leaves the counter";
    EXPECT_TRUE(HasDocs(b));

    // "OK" with nothing selected: an open of an empty folder that fails without a word.
    const int shown = int(Messages().size());
    OpenWithDialog(QString(), QString());
    ExpectClosed();
    EXPECT_EQ(Messages().size(), shown);
}

TEST_F(OpenDatabaseTest, OpenDefaultOpensTheDefaultSilentlyUnlessItIsTheOneThatFailed)
{
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString d = AddDb(QStringLiteral("D"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(Main()->DatabaseOpen);
    EXPECT_EQ(Main()->CurrentDatabaseName, QStringLiteral("D"));
    EXPECT_EQ(ADB().Path(), d);
    EXPECT_FALSE(Main()->DirectOpen);
}

TEST_F(OpenDatabaseTest, OpenDefaultWithAProtectedDefaultOpensNothingAndSaysNothing)
{
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    AddDb(QStringLiteral("D"), QStringLiteral("DPW"));
    OpenWithDialog(QStringLiteral("D"), QStringLiteral("WRONG"));
    EXPECT_TRUE(Messages().isEmpty());
    ExpectClosed();
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(Messages().isEmpty());
    ExpectClosed();
}

TEST_F(OpenDatabaseTest, OpenDefaultWhoseEntryIsSpelledOtherwiseIsTriedOnce)
{
    // The default is registered as "d" while DEFAULT_DB says "D": the failed default open must
    // not redirect to the default again, and again.
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString d = AddDb(QStringLiteral("d"), QStringLiteral("DPW"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(QLatin1Char('|')).toStdString();
    ExpectClosed();
    OpenWithDialog(QStringLiteral("d"), QStringLiteral("WRONG"));
    EXPECT_TRUE(Messages().isEmpty());
    ExpectClosed();
    EXPECT_TRUE(HasDocs(d));
}

TEST_F(OpenDatabaseTest, OpenDefaultWithoutDefaultReportsAndOpensNothing)
{
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_EQ(Messages(), QStringList{kWrong}) << "the open of the empty name fails unreported";
    ExpectClosed();
}

TEST_F(OpenDatabaseTest, HiddenDefaultOpensWithoutNameAndIsNotRememberedAsLastUsed)
{
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\" DEFAULT_INVISIBLE=\"Y\" LAST_OPEN_NAME=\"X\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString d = AddDb(QStringLiteral("D"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    ASSERT_TRUE(Main()->DatabaseOpen);
    EXPECT_EQ(ADB().Path(), d);
    EXPECT_TRUE(Main()->CurrentDatabaseName.isEmpty());
    Main()->CloseDatabase();
    EXPECT_EQ(Settings()->LastOpenName(), QStringLiteral("X"));
    ExpectClosed();
}

TEST_F(OpenDatabaseTest, DropPolicyDropsOnTheAttemptPastTheLimit)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"3\" DEFAULT_DB=\"A\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    QDir(a).mkdir(QStringLiteral("keep"));
    qbtest::WriteAll(a + QStringLiteral("/notes.txt"), "not the engine's");
    for (int i = 1; i <= 3; ++i) {
        OpenWithDialog(QStringLiteral("a"), QStringLiteral("WRONG"));
        EXPECT_EQ(Main()->WrongAttempts, i);
        EXPECT_TRUE(HasDocs(a)) << "attempt " << i;
    }
    EXPECT_EQ(Main()->LastWrongDatabase, QStringLiteral("A")) << "the listed name";
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_FALSE(HasDocs(a));
    EXPECT_TRUE(QFileInfo(a + QStringLiteral("/keep")).isDir()) << "subfolders stay";
    EXPECT_TRUE(QFileInfo::exists(a + QStringLiteral("/notes.txt"))) << "only the database's own files go";
    EXPECT_EQ(TFaskBaseAndPwd::FindDatabaseEntry(QStringLiteral("A")), nullptr);
    EXPECT_TRUE(Settings()->DefaultDbName().isEmpty()) << "the default database was dropped";
    EXPECT_TRUE(Settings()->WrongPasswordMode().isEmpty());
    EXPECT_EQ(Messages(), QStringList(4, kWrong)) << "no question, no closing message";
    EXPECT_FALSE(SettingsFileBytes().contains("\"A\"")) << "the settings file is saved";
    EXPECT_EQ(Ask()->CB_databases->count(), 0);
    ExpectClosed();
}

TEST_F(OpenDatabaseTest, DropPolicyWithoutAttemptsDropsOnTheThirdAndEmptyFolderGoes)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(HasDocs(a));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_FALSE(QFileInfo::exists(a)) << "the emptied folder is removed";
    EXPECT_EQ(TFaskBaseAndPwd::FindDatabaseEntry(QStringLiteral("A")), nullptr);
}

TEST_F(OpenDatabaseTest, CounterRestartsForAnotherDatabaseAndResetsOnSuccessOrOtherErrors)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString b = AddDb(QStringLiteral("B"), QStringLiteral("PW"));
    for (const char* name : {"A", "A", "B", "A"})
        OpenWithDialog(QString::fromLatin1(name), QStringLiteral("WRONG"));
    EXPECT_EQ(Main()->WrongAttempts, 1);
    EXPECT_EQ(Main()->LastWrongDatabase, QStringLiteral("A"));

    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_EQ(Main()->WrongAttempts, 2);
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("pw"));
    EXPECT_TRUE(Main()->DatabaseOpen);
    EXPECT_EQ(Main()->WrongAttempts, 0);
    EXPECT_TRUE(Main()->LastWrongDatabase.isEmpty());
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(HasDocs(a)) << "the count started again after the success";

    // An error that is not a wrong password resets the count too.
    QFile::rename(b + QStringLiteral("/Docs.db"), b + QStringLiteral("/moved.db"));
    AddEntry(QStringLiteral("Broken"), b);
    OpenWithDialog(QStringLiteral("Broken"), QString());
    EXPECT_EQ(Main()->WrongAttempts, 0);
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(HasDocs(a));
}

TEST_F(OpenDatabaseTest, StartupOpenNeverTalksNeverDropsAndOpensAnUnprotectedLastDatabase)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" OPEN_LAST_USED=\"Y\" LAST_OPEN_NAME=\"a\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    for (int i = 0; i < 5; ++i) {
        Main()->OpenLastUsed();
        EXPECT_EQ(Main()->WrongAttempts, 0);
        EXPECT_FALSE(Main()->StartupOpen);
    }
    EXPECT_TRUE(HasDocs(a));
    EXPECT_TRUE(Messages().isEmpty());
    ExpectClosed();

    Root().SetAttr(QStringLiteral("LAST_OPEN_NAME"), QStringLiteral("Gone"));
    Main()->OpenLastUsed();
    EXPECT_TRUE(Messages().isEmpty()) << "an unregistered last database fails silently";

    const QString b = AddDb(QStringLiteral("B"));
    Root().SetAttr(QStringLiteral("LAST_OPEN_NAME"), QStringLiteral("B"));
    Main()->Activate(); // the anchor table, then the last used database
    EXPECT_TRUE(Main()->DatabaseOpen);
    EXPECT_EQ(ADB().Path(), b);
    EXPECT_TRUE(QFileInfo::exists(Schema::AnchorTablePath()));
    EXPECT_GE(Main()->EngineVersion, 3000000);
}

TEST_F(OpenDatabaseTest, StartupOpenIsSkippedWhenNotWanted)
{
    StartApp("<SETTINGS LAST_OPEN_NAME=\"B\"/>");
    AddDb(QStringLiteral("B"));
    Main()->OpenLastUsed();
    ExpectClosed();
}

// ---- Folders that are not databases

TEST(OpenProbe, Hold)
{
    const QString folder = qEnvironmentVariable("QB_PROBE_DB");
    if (folder.isEmpty())
        GTEST_SKIP() << "run as the helper of another test";
    TDatabaseConnection c;
    c.SetParams(folder);
    c.Open();
    std::printf("OPENED\n");
    std::fflush(stdout);
    char line[8];
    [[maybe_unused]] const char* r = std::fgets(line, sizeof line, stdin); // hold until told
}

TEST_F(OpenDatabaseTest, BadFoldersAreReportedAndLeftUntouched)
{
    StartApp();
    struct Case
    {
        const char* name;
        std::function<void(const QString&)> make;
    };
    auto sql = [](const char* text) {
        return [text](const QString& folder) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(folder + QStringLiteral("/Docs.db")).constData(), &db);
            sqlite3_exec(db, text, nullptr, nullptr, nullptr);
            sqlite3_close(db);
        };
    };
    const std::vector<Case> cases{
        {"missing", [](const QString&) {}},
        {"empty", [](const QString& f) { qbtest::WriteAll(f + QStringLiteral("/Docs.db"), {}); }},
        {"random",
         [](const QString& f) { qbtest::WriteAll(f + QStringLiteral("/Docs.db"), QByteArray(1000, '\x5a')); }},
        {"no Docs", sql("create table Other(x)")},
        {"other columns", sql("create table Docs(a, b, c)")},
    };
    for (const Case& c : cases) {
        const QString folder = qbtest::FreshFolder(QStringLiteral("bad"));
        c.make(folder);
        const QString name = QString::fromLatin1(c.name);
        AddEntry(name, folder);
        const Snapshot before = TakeSnapshot(folder);
        DialogScript::Start();
        OpenWithDialog(name, QStringLiteral("ANY"));
        const QStringList shown = Messages();
        ASSERT_EQ(shown.size(), 1) << c.name;
        EXPECT_TRUE(shown[0].startsWith(kCanNot) && shown[0].size() > kCanNot.size()) << shown[0].toStdString();
        EXPECT_FALSE(shown[0].contains(QStringLiteral("Insufficient"))) << c.name;
        ExpectClosed();
        EXPECT_EQ(TakeSnapshot(folder), before) << c.name;
    }

    // Held by another process.
    const QString held = AddDb(QStringLiteral("held"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QB_PROBE_DB"), held);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=OpenProbe.Hold")});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray out;
    while (!out.contains("OPENED") && child.waitForReadyRead(60000))
        out += child.readAllStandardOutput();
    ASSERT_TRUE(out.contains("OPENED")) << out.constData();
    const Snapshot before = TakeSnapshot(held);
    DialogScript::Start();
    OpenWithDialog(QStringLiteral("held"), QString());
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].startsWith(kCanNot));
    ExpectClosed();
    EXPECT_EQ(TakeSnapshot(held), before);
    child.write("\n");
    child.closeWriteChannel();
    EXPECT_TRUE(child.waitForFinished(60000));
}

// ---- Dropping

TEST_F(OpenDatabaseTest, ConfirmedDropAsksTellsAndKeepsForeignFiles)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" DEFAULT_DB=\"Other\"/>");
    const QString a = AddDb(QStringLiteral("A"));
    qbtest::WriteAll(a + QStringLiteral("/Docs.db-journal"), "stale");
    QDir(a).mkdir(QStringLiteral("sub"));
    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen);

    DialogScript::QueueAnswers({false});
    EXPECT_FALSE(Main()->DropDatabase(QStringLiteral("a"), false));
    EXPECT_TRUE(HasDocs(a));

    DialogScript::QueueAnswers({true});
    EXPECT_TRUE(Main()->DropDatabase(QStringLiteral("a"), false));
    ExpectClosed();
    EXPECT_FALSE(HasDocs(a));
    EXPECT_FALSE(QFileInfo::exists(a + QStringLiteral("/Docs.db-journal")));
    EXPECT_TRUE(QFileInfo(a + QStringLiteral("/sub")).isDir());
    EXPECT_EQ(Messages().last(), QStringLiteral("The database \"a\" \nhas been removed from your computer."));
    EXPECT_TRUE(Messages().contains(QStringLiteral("ATTENTION!\nAre you sure you want to DROP\nthe database \"a\"?")));
    EXPECT_EQ(Settings()->DefaultDbName(), QStringLiteral("Other")) << "another database's drop keeps the default";
    EXPECT_EQ(Settings()->WrongPasswordMode(), QStringLiteral("DROP_DB"));
    EXPECT_FALSE(Main()->DropDatabase(QStringLiteral("A"), true)) << "already gone";
}

TEST_F(OpenDatabaseTest, DropRefusesFoldersThatAreNotADatabaseOfTheirOwn)
{
    StartApp();
    const QString home = QDir::homePath();
    qbtest::WriteAll(home + QStringLiteral("/Docs.db"), "canary");
    const QString parentOfHome = QFileInfo(home).absolutePath();
    const QStringList folders{QString(),    QStringLiteral("/"),
                              home,         home + QStringLiteral("/"),
                              parentOfHome, QStringLiteral("/no/such/folder")};
    int i = 0;
    for (const QString& folder : folders) {
        const QString name = QStringLiteral("X%1").arg(i++);
        AddEntry(name, folder);
        EXPECT_FALSE(Main()->DropDatabase(name, true)) << "[" << folder.toStdString() << "]";
        DialogScript::QueueAnswers({true});
        EXPECT_FALSE(Main()->DropDatabase(name, false)) << folder.toStdString();
        if (!folder.isEmpty()) {
            EXPECT_NE(TFaskBaseAndPwd::FindDatabaseEntry(name), nullptr) << "the entry stays";
            EXPECT_FALSE(TFmain::DropRefusal(folder).isEmpty());
        }
    }
    EXPECT_EQ(qbtest::ReadAll(home + QStringLiteral("/Docs.db")), QByteArray("canary"));
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_TRUE(TFmain::DropRefusal(qbtest::FreshFolder()).isEmpty());
}

TEST_F(OpenDatabaseTest, DropThatCannotDeleteTheTableKeepsTheEntryAndSaysSo)
{
    StartApp();
    // A Docs.db that is a folder cannot be deleted as a file, even by root.
    const QString folder = AddEntry(QStringLiteral("Stuck"), qbtest::FreshFolder());
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("Docs.db")));
    EXPECT_FALSE(Main()->DropDatabase(QStringLiteral("Stuck"), true));
    EXPECT_NE(TFaskBaseAndPwd::FindDatabaseEntry(QStringLiteral("Stuck")), nullptr);
    EXPECT_TRUE(Messages().isEmpty()) << "silent";

    DialogScript::QueueAnswers({true});
    EXPECT_FALSE(Main()->DropDatabase(QStringLiteral("Stuck"), false));
    EXPECT_NE(TFaskBaseAndPwd::FindDatabaseEntry(QStringLiteral("Stuck")), nullptr);
    EXPECT_TRUE(Messages().last().startsWith(QStringLiteral("The database \"Stuck\" has not been dropped.")));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

// ---- Password change

TEST_F(OpenDatabaseTest, PasswordChangeProvesTheOldPasswordAndLeavesTheDatabaseClosed)
{
    StartApp();
    const QString a = AddDb(QStringLiteral("A"));
    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen);

    // Wrong old password, then a password too long for the engine: refused, still open.
    DialogScript::QueueTexts(
        {QStringLiteral("Change"), QStringLiteral("x"), QStringLiteral("new"), QStringLiteral("new")});
    Main()->TB_chng_pwdClick();
    EXPECT_TRUE(Main()->DatabaseOpen);
    const QString tooLong(32, QLatin1Char('p'));
    DialogScript::QueueTexts({QStringLiteral("Change"), QString(), tooLong, tooLong});
    Main()->TB_chng_pwdClick();
    EXPECT_TRUE(Main()->DatabaseOpen);
    EXPECT_TRUE(Messages().last().contains(QStringLiteral("31")));

    DialogScript::QueueTexts({QStringLiteral("Change"), QString(), QStringLiteral("new pw"), QStringLiteral("new pw")});
    Main()->TB_chng_pwdClick();
    ExpectClosed();
    EXPECT_TRUE(Messages().last().startsWith(QStringLiteral("The password has been changed.")));

    OpenWithDialog(QStringLiteral("A"), QString());
    ExpectClosed();
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("New Pw"));
    ASSERT_TRUE(Main()->DatabaseOpen);

    // A second change goes from the old password to the next one (rekey).
    DialogScript::QueueTexts(
        {QStringLiteral("Change"), QStringLiteral("new pw"), QStringLiteral("third"), QStringLiteral("third")});
    Main()->TB_chng_pwdClick();
    ExpectClosed();
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("THIRD"));
    EXPECT_TRUE(Main()->DatabaseOpen);
}

TEST_F(OpenDatabaseTest, FailedPasswordChangeKeepsTheOldPasswordAndTheDocuments)
{
    StartApp();
    const QString a = AddDb(QStringLiteral("A"));
    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen);
    TDocStore(ADB()).CreateDocumentRecord(QStringLiteral("keep me"), QStringLiteral("TXT"));
    ADB().SetRenameFunction([](const QString&, const QString&) {
        errno = EIO;
        return false;
    });
    DialogScript::QueueTexts({QStringLiteral("Change"), QString(), QStringLiteral("new"), QStringLiteral("new")});
    Main()->TB_chng_pwdClick();
    ExpectClosed();
    EXPECT_TRUE(Messages().last().startsWith(QStringLiteral("Can not change the password.\n")));
    ADB().SetRenameFunction({});
    EXPECT_EQ(QDir(a).entryList(QDir::Files), QStringList{QStringLiteral("Docs.db")}) << "no rewrite left behind";

    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen) << "the old (empty) password still opens it";
    EXPECT_EQ(Main()->O_doc_list1->CurrentName(), QStringLiteral("keep me"));
}

TEST_F(OpenDatabaseTest, PasswordChangeOfTheDefaultDatabaseWarnsFirst)
{
    StartApp("<SETTINGS DEFAULT_DB=\"D\"/>");
    AddDb(QStringLiteral("D"));
    OpenWithDialog(QStringLiteral("D"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen);
    const int before = int(DialogScript::Shown().size());
    DialogScript::QueueAnswers({false});
    Main()->TB_chng_pwdClick();
    const QStringList shown = DialogScript::Shown().mid(before);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("The database \"D\" is the default database")));
    EXPECT_TRUE(Main()->DatabaseOpen);

    // A hidden default is open under no name; the warning still names it.
    Main()->CloseDatabase();
    Root().SetAttr(QStringLiteral("DEFAULT_INVISIBLE"), QStringLiteral("Y"));
    Settings()->ShowSettings(); // the option is read from the settings dialog
    Main()->OpenDatabaseDirect(QStringLiteral("D"), TFaskBaseAndPwd::DatabasePath(QStringLiteral("D")), QString());
    ASSERT_TRUE(Main()->DatabaseOpen);
    ASSERT_TRUE(Main()->CurrentDatabaseName.isEmpty());
    DialogScript::QueueAnswers({false});
    Main()->TB_chng_pwdClick();
    EXPECT_TRUE(DialogScript::LastShown().startsWith(QStringLiteral("The database \"D\" is the default database")))
        << DialogScript::LastShown().toStdString();
    EXPECT_TRUE(DialogScript::LastShown().endsWith(QStringLiteral("with the \"D\" database?")));
    EXPECT_TRUE(Main()->DatabaseOpen);

    TFChngPwd dialog;
    EXPECT_FALSE(dialog.BtnChange->isEnabled());
    QTest::keyClicks(dialog.EditNewPwd1, QStringLiteral("ab"));
    QTest::keyClicks(dialog.EditNewPwd2, QStringLiteral("a"));
    EXPECT_FALSE(dialog.BtnChange->isEnabled());
    QTest::keyClicks(dialog.EditNewPwd2, QStringLiteral("B"));
    EXPECT_TRUE(dialog.BtnChange->isEnabled()) << "both fields upper-case what is typed";
    dialog.EditNewPwd1->setText(QStringLiteral("  "));
    dialog.EditNewPwd2->setText(QStringLiteral("  "));
    EXPECT_FALSE(dialog.BtnChange->isEnabled());
}

// ---- The engine-missing dialog

TEST_F(OpenDatabaseTest, EngineMissingDialogShowsHowToInstallOrOpensThePage)
{
    StartApp();
    DialogScript::QueueTexts({QStringLiteral("1"), QStringLiteral("2"), QString()});
    TD_BDE_DL::OfferInstall();
    EXPECT_EQ(DialogScript::LastShown(), TD_BDE_DL::InstallText);
    EXPECT_TRUE(opened.isEmpty());
    TD_BDE_DL::OfferInstall();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), TD_BDE_DL::DownloadUrl);
    TD_BDE_DL::OfferInstall();
    EXPECT_EQ(opened.size(), 1) << "cancel does nothing";

    TD_BDE_DL dialog;
    EXPECT_TRUE(dialog.RB_install->isChecked());
    EXPECT_TRUE(dialog.Label_download->isHidden());
    dialog.RB_download->setChecked(true);
    EXPECT_FALSE(dialog.Label_download->isHidden());
    QTest::mouseClick(dialog.Image_download, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 2) << "the picture opens the page at once";
}

} // namespace
