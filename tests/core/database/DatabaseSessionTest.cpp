#include "core/database/DatabaseSession.h"

#include "core/archive/BackRest.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DatabaseActions.h"
#include "core/database/DocStore.h"
#include "core/dialogs/DialogSeam.h"
#include "core/settings/SettingsModel.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSignalSpy>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sqlcipher/sqlite3.h>
#include <sys/resource.h>

namespace {

const QString kWrong = QStringLiteral("Incorrect password.\nTry again.");
const QString kCanNot = QStringLiteral("Can not open the database.\n");

// The user's side of the session: a queue of choices in the selection dialog (nothing: Cancel),
// the answers to confirmations, and what was shown.
class TestPrompts : public TSessionPrompts, public TDialogSeam
{
public:
    explicit TestPrompts(TSettingsModel& settings)
        : m_settings(settings)
    {
    }
    bool AskDatabaseAndPassword(QString& name, QString& path, QString& password) override
    {
        if (choices.isEmpty())
            throw QbError(QStringLiteral("no choice queued"));
        const auto choice = choices.takeFirst();
        if (!choice)
            return false;
        // As the selection list: the listed spelling of the first name equal ignoring case.
        for (const QString& listed : m_settings.ListedDatabaseNames())
            if (listed.compare(choice->first, Qt::CaseInsensitive) == 0) {
                name = listed.trimmed();
                break;
            }
        path = m_settings.DatabasePath(name);
        password = choice->second;
        return true;
    }
    void Message(const QString& text) override { shown << text; }
    bool Confirm(const QString& text) override
    {
        shown << text;
        return !answers.isEmpty() && answers.takeFirst();
    }
    QString ChooseFile(const QString&) override { throw QbError(QStringLiteral("no file choice expected")); }
    QString TypeText(const QString&) override { throw QbError(QStringLiteral("no text expected")); }

    QList<std::optional<std::pair<QString, QString>>> choices;
    QList<bool> answers;
    QStringList shown;

private:
    TSettingsModel& m_settings;
};

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

// Another process that holds a database open (the OpenProbe.Hold helper) until destroyed.
class HolderProcess
{
public:
    explicit HolderProcess(const QString& folder)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QB_PROBE_DB"), folder);
        m_child.setProcessEnvironment(env);
        m_child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=OpenProbe.Hold")});
        QByteArray out;
        while (!out.contains("OPENED") && m_child.waitForReadyRead(60000))
            out += m_child.readAllStandardOutput();
        EXPECT_TRUE(out.contains("OPENED")) << out.constData();
    }
    ~HolderProcess()
    {
        m_child.write("\n");
        m_child.closeWriteChannel();
        EXPECT_TRUE(m_child.waitForFinished(60000));
    }

private:
    QProcess m_child;
};

class DatabaseSessionTest : public ::testing::Test
{
protected:
    void Start(const char* settingsText = "<SETTINGS/>")
    {
        const QString file = TSettingsFile::SettingsFileName();
        QDir().mkpath(QFileInfo(file).absolutePath());
        qbtest::WriteAll(file, settingsText);
        settings = std::make_unique<TSettingsModel>();
        settings->Load();
        session = std::make_unique<TDatabaseSession>(*settings);
        prompts = std::make_unique<TestPrompts>(*settings);
        session->SetPrompts(prompts.get());
        TDialogSeam::Install(prompts.get());
    }
    void TearDown() override
    {
        TDialogSeam::Install(nullptr);
        if (session)
            session->CloseDatabase();
        session.reset();
    }

    QString AddEntry(const QString& name, const QString& folder)
    {
        TOrbPigger* list = settings->BaseListNode();
        if (!list)
            list = settings->Root().AddChild(SettingsKey::BaseList);
        TOrbPigger* entry = list->AddChild(SettingsKey::Base);
        entry->SetAttr(SettingsKey::Name, name);
        entry->SetAttr(SettingsKey::Path, folder);
        return folder;
    }
    QString AddDb(const QString& name, const QString& password = QString())
    {
        return AddEntry(name, qbtest::FreshDatabase(password));
    }
    // The user picks name in the selection dialog with password, and presses "OK".
    void OpenWithDialog(const QString& name, const QString& password)
    {
        prompts->choices << std::make_pair(name, password);
        session->SBreopenClick();
    }
    void Cancel()
    {
        prompts->choices << std::nullopt;
        session->SBreopenClick();
    }
    void ExpectClosed() const
    {
        EXPECT_FALSE(session->DatabaseOpen());
        EXPECT_FALSE(session->Connection().IsOpen());
        EXPECT_FALSE(session->ListReady());
    }
    static bool HasDocs(const QString& folder) { return QFileInfo::exists(folder + QStringLiteral("/Docs.db")); }
    static QByteArray FileBytes() { return qbtest::ReadAll(TSettingsFile::SettingsFileName()); }

    std::unique_ptr<TSettingsModel> settings;
    std::unique_ptr<TDatabaseSession> session;
    std::unique_ptr<TestPrompts> prompts;
};

TEST_F(DatabaseSessionTest, RestrictReportsWrongPasswordAndCancelClosesTheOpenDatabase)
{
    Start();
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString b = AddDb(QStringLiteral("B"));
    int changes = 0;
    QObject::connect(session.get(), &TDatabaseSession::StateChanged, [&changes] { ++changes; });
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("NOPE"));
    EXPECT_EQ(prompts->shown, QStringList{kWrong});
    ExpectClosed();
    EXPECT_EQ(session->WrongAttempts(), 0) << "restrict counts nothing";
    EXPECT_GT(changes, 0) << "the commands are told";

    OpenWithDialog(QStringLiteral("b"), QString());
    ASSERT_TRUE(session->DatabaseOpen());
    EXPECT_TRUE(session->ListReady());
    EXPECT_EQ(session->CurrentDatabaseName(), QStringLiteral("B")) << "the listed spelling";
    EXPECT_TRUE(settings->LastOpenName().isEmpty());

    OpenWithDialog(QStringLiteral("A"), QStringLiteral("NOPE"));
    Cancel();
    ExpectClosed();
    EXPECT_TRUE(session->CurrentDatabaseName().isEmpty());
    EXPECT_EQ(settings->LastOpenName(), QStringLiteral("B"));
    EXPECT_TRUE(HasDocs(b));

    // "OK" with nothing selected: an open of an empty folder that fails without a word.
    const qsizetype shown = prompts->shown.size();
    OpenWithDialog(QString(), QString());
    ExpectClosed();
    EXPECT_EQ(prompts->shown.size(), shown);
}

TEST_F(DatabaseSessionTest, OpenDefaultPolicy)
{
    struct Row
    {
        const char* name;
        const char* settings;
        const char* defaultEntry; // registered spelling of the default database
        const char* defaultPassword;
        const char* tried; // the database given a wrong password
        bool warned; // "Incorrect password" shown
        bool defaultOpens;
    };
    const Row rows[] = {
        {"unprotected default opens silently", "<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>", "D", "", "A",
         false, true},
        {"the default itself failed", "<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>", "D", "DPW", "D", false,
         false},
        {"protected default", "<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>", "D", "DPW", "A", false, false},
        // Registered as "d" while DEFAULT_DB says "D": the failed default open must not redirect
        // to the default again, and again.
        {"default spelled otherwise is tried once", "<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\"/>", "d", "DPW",
         "A", false, false},
        {"no default: reported, the empty open fails unreported", "<SETTINGS RP_MODE=\"OPEN_DEFAULT\"/>", "D", "", "A",
         true, false},
    };
    for (const Row& row : rows) {
        Start(row.settings);
        AddDb(QStringLiteral("A"), QStringLiteral("PW"));
        const QString d = AddDb(QString::fromLatin1(row.defaultEntry), QString::fromLatin1(row.defaultPassword));
        OpenWithDialog(QString::fromLatin1(row.tried), QStringLiteral("WRONG"));
        EXPECT_EQ(prompts->shown, row.warned ? QStringList{kWrong} : QStringList()) << row.name;
        EXPECT_EQ(session->DatabaseOpen(), row.defaultOpens) << row.name;
        if (row.defaultOpens) {
            EXPECT_EQ(session->Connection().Path(), d);
            EXPECT_EQ(session->CurrentDatabaseName(), QStringLiteral("D"));
        } else {
            ExpectClosed();
        }
        EXPECT_FALSE(session->DirectOpen());
        EXPECT_TRUE(HasDocs(d)) << row.name;
        session->CloseDatabase();
    }
}

TEST_F(DatabaseSessionTest, HiddenDefaultOpensWithoutNameAndIsNotRememberedAsLastUsed)
{
    Start("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"D\" DEFAULT_INVISIBLE=\"Y\" LAST_OPEN_NAME=\"X\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString d = AddDb(QStringLiteral("D"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    ASSERT_TRUE(session->DatabaseOpen());
    EXPECT_EQ(session->Connection().Path(), d);
    EXPECT_TRUE(session->CurrentDatabaseName().isEmpty());
    session->CloseDatabase();
    EXPECT_EQ(settings->LastOpenName(), QStringLiteral("X"));
    ExpectClosed();
}

TEST_F(DatabaseSessionTest, DropPolicyDropsOnTheAttemptPastTheLimit)
{
    Start("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"3\" DEFAULT_DB=\"A\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    QDir(a).mkdir(QStringLiteral("keep"));
    qbtest::WriteAll(a + QStringLiteral("/notes.txt"), "not the engine's");
    int listChanges = 0;
    QObject::connect(session.get(), &TDatabaseSession::DatabaseListChanged, [&listChanges] { ++listChanges; });
    for (int i = 1; i <= 3; ++i) {
        OpenWithDialog(QStringLiteral("a"), QStringLiteral("WRONG"));
        EXPECT_EQ(session->WrongAttempts(), i);
        EXPECT_TRUE(HasDocs(a)) << "attempt " << i;
    }
    EXPECT_EQ(session->LastWrongDatabase(), QStringLiteral("A")) << "the listed name";
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_FALSE(HasDocs(a));
    EXPECT_TRUE(QFileInfo(a + QStringLiteral("/keep")).isDir()) << "subfolders stay";
    EXPECT_TRUE(QFileInfo::exists(a + QStringLiteral("/notes.txt"))) << "only the database's own files go";
    EXPECT_EQ(settings->FindDatabaseEntry(QStringLiteral("A")), nullptr);
    EXPECT_TRUE(settings->DefaultDbName().isEmpty()) << "the default database was dropped";
    EXPECT_TRUE(settings->WrongPasswordMode().isEmpty());
    EXPECT_EQ(prompts->shown, QStringList(4, kWrong)) << "no question, no closing message";
    EXPECT_FALSE(FileBytes().contains("\"A\"")) << "the settings file is saved";
    EXPECT_EQ(listChanges, 1);
    ExpectClosed();
}

TEST_F(DatabaseSessionTest, DropPolicyWithoutAttemptsDropsOnTheThirdAndEmptyFolderGoes)
{
    Start("<SETTINGS RP_MODE=\"DROP_DB\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(HasDocs(a));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_FALSE(QFileInfo::exists(a)) << "the emptied folder is removed";
    EXPECT_EQ(settings->FindDatabaseEntry(QStringLiteral("A")), nullptr);
}

TEST_F(DatabaseSessionTest, CounterRestartsForAnotherDatabaseAndResetsOnSuccessOrOtherErrors)
{
    Start("<SETTINGS RP_MODE=\"DROP_DB\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    const QString b = AddDb(QStringLiteral("B"), QStringLiteral("PW"));
    for (const char* name : {"A", "A", "B", "A"})
        OpenWithDialog(QString::fromLatin1(name), QStringLiteral("WRONG"));
    EXPECT_EQ(session->WrongAttempts(), 1);
    EXPECT_EQ(session->LastWrongDatabase(), QStringLiteral("A"));

    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_EQ(session->WrongAttempts(), 2);
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("PW"));
    EXPECT_TRUE(session->DatabaseOpen());
    EXPECT_EQ(session->WrongAttempts(), 0);
    EXPECT_TRUE(session->LastWrongDatabase().isEmpty());
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(HasDocs(a)) << "the count started again after the success";

    // An error that is not a wrong password resets the count too.
    QFile::rename(b + QStringLiteral("/Docs.db"), b + QStringLiteral("/moved.db"));
    AddEntry(QStringLiteral("Broken"), b);
    OpenWithDialog(QStringLiteral("Broken"), QString());
    EXPECT_EQ(session->WrongAttempts(), 0);
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("WRONG"));
    EXPECT_TRUE(HasDocs(a));
}

TEST_F(DatabaseSessionTest, StartupOpenNeverTalksNeverDropsAndOpensAnUnprotectedLastDatabase)
{
    Start("<SETTINGS RP_MODE=\"DROP_DB\" OPEN_LAST_USED=\"Y\" LAST_OPEN_NAME=\"a\"/>");
    const QString a = AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    for (int i = 0; i < 5; ++i) {
        session->OpenLastUsed();
        EXPECT_EQ(session->WrongAttempts(), 0);
        EXPECT_FALSE(session->StartupOpen());
    }
    EXPECT_TRUE(HasDocs(a));
    EXPECT_TRUE(prompts->shown.isEmpty());
    ExpectClosed();

    settings->SetLastOpenName(QStringLiteral("Gone"));
    session->OpenLastUsed();
    EXPECT_TRUE(prompts->shown.isEmpty()) << "an unregistered last database fails silently";

    const QString b = AddDb(QStringLiteral("B"));
    settings->SetLastOpenName(QStringLiteral("B"));
    session->OpenLastUsed();
    EXPECT_TRUE(session->DatabaseOpen());
    EXPECT_EQ(session->Connection().Path(), b);

    session->CloseDatabase();
    settings->Root().DeleteAttr(SettingsKey::OpenLastUsed);
    session->OpenLastUsed();
    ExpectClosed();
}

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

TEST_F(DatabaseSessionTest, BadFoldersAreReportedAndLeftUntouched)
{
    Start();
    auto sql = [](const char* text) {
        return [text](const QString& folder) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(folder + QStringLiteral("/Docs.db")).constData(), &db);
            sqlite3_exec(db, text, nullptr, nullptr, nullptr);
            sqlite3_close(db);
        };
    };
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> cases{
        {"missing", [](const QString&) {}},
        {"empty", [](const QString& f) { qbtest::WriteAll(f + QStringLiteral("/Docs.db"), {}); }},
        {"random",
         [](const QString& f) { qbtest::WriteAll(f + QStringLiteral("/Docs.db"), QByteArray(1000, '\x5a')); }},
        {"no Docs", sql("create table Other(x)")},
        {"other columns", sql("create table Docs(a, b, c)")},
    };
    const auto expectReported = [this](const char* what) {
        ASSERT_EQ(prompts->shown.size(), 1) << what;
        const QString shown = prompts->shown.takeFirst();
        EXPECT_TRUE(shown.startsWith(kCanNot) && shown.size() > kCanNot.size()) << shown.toStdString();
        EXPECT_FALSE(shown.contains(QStringLiteral("Insufficient"))) << what;
        ExpectClosed();
    };
    for (const auto& [name, make] : cases) {
        const QString folder = qbtest::FreshFolder(QStringLiteral("bad"));
        make(folder);
        AddEntry(QString::fromLatin1(name), folder);
        const Snapshot before = TakeSnapshot(folder);
        OpenWithDialog(QString::fromLatin1(name), QStringLiteral("ANY"));
        expectReported(name);
        EXPECT_EQ(TakeSnapshot(folder), before) << name;
    }

    // Held by another process.
    const QString held = AddDb(QStringLiteral("held"));
    HolderProcess holder(held);
    const Snapshot before = TakeSnapshot(held);
    OpenWithDialog(QStringLiteral("held"), QString());
    expectReported("held");
    EXPECT_EQ(TakeSnapshot(held), before);
}

TEST_F(DatabaseSessionTest, DropRefusesADatabaseAnotherProcessHolds)
{
    Start();
    const QString held = AddDb(QStringLiteral("held"));
    {
        HolderProcess holder(held);
        EXPECT_FALSE(session->DropDatabase(QStringLiteral("held"), true)) << "silent drop";
        prompts->answers = {true};
        EXPECT_FALSE(session->DropDatabase(QStringLiteral("held"), false));
        ASSERT_FALSE(prompts->shown.isEmpty());
        EXPECT_TRUE(prompts->shown.last().contains(QStringLiteral("is in use (another Quietbox has it open)")))
            << prompts->shown.last().toStdString();
        EXPECT_TRUE(HasDocs(held));
        EXPECT_NE(settings->FindDatabaseEntry(QStringLiteral("held")), nullptr);
    }
    EXPECT_TRUE(session->DropDatabase(QStringLiteral("held"), true)) << "free again";
    EXPECT_FALSE(HasDocs(held));
}

TEST_F(DatabaseSessionTest, OpeningRemovesWhatAnInterruptedRunLeftInClear)
{
    Start();
    const QByteArray secret = QByteArrayLiteral("page image of a secret document");
    const QDir dir(AddDb(QStringLiteral("A")));
    // A journal whose transaction ended (zero header) and an unfinished rewrite.
    qbtest::WriteAll(dir.filePath(QStringLiteral("Docs.db-journal")), QByteArray(28, '\0') + secret);
    qbtest::WriteAll(dir.filePath(QStringLiteral("Docs.db.rewrite")), secret);
    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(session->DatabaseOpen());
    session->CloseDatabase();
    EXPECT_EQ(TakeSnapshot(dir.path()).keys(), QStringList{QStringLiteral("Docs.db")});
}

TEST_F(DatabaseSessionTest, StartSweepClearsRewritesOfEveryRegisteredDatabaseNotInUse)
{
    Start();
    const QStringList leftovers{QStringLiteral("Docs.db.rewrite"), QStringLiteral("Docs.db.rewrite-journal")};
    const auto leave = [&](const QString& folder) {
        for (const QString& name : leftovers)
            qbtest::WriteAll(QDir(folder).filePath(name), "plain pages of a pack killed midway");
    };
    const QString idle = AddDb(QStringLiteral("idle"));
    const QString other = AddDb(QStringLiteral("other"));
    const QString held = AddDb(QStringLiteral("held"));
    AddEntry(QStringLiteral("gone"), qbtest::FreshFolder() + QStringLiteral("/missing"));
    for (const QString& folder : {idle, other, held})
        leave(folder);
    TDatabaseConnection holder;
    holder.SetParams(held);
    holder.Open();

    session->SweepRegisteredFolders();
    EXPECT_EQ(TakeSnapshot(idle).keys(), QStringList{QStringLiteral("Docs.db")});
    EXPECT_EQ(TakeSnapshot(other).keys(), QStringList{QStringLiteral("Docs.db")});
    for (const QString& name : leftovers)
        EXPECT_TRUE(QFileInfo::exists(QDir(held).filePath(name))) << "in use: " << name.toStdString();
    holder.Close();
}

TEST_F(DatabaseSessionTest, ConfirmedDropAsksTellsAndKeepsForeignFiles)
{
    Start("<SETTINGS RP_MODE=\"DROP_DB\" DEFAULT_DB=\"Other\"/>");
    const QString a = AddDb(QStringLiteral("A"));
    qbtest::WriteAll(a + QStringLiteral("/Docs.db-journal"), "stale");
    QDir(a).mkdir(QStringLiteral("sub"));
    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(session->DatabaseOpen());

    prompts->answers = {false};
    EXPECT_FALSE(session->DropDatabase(QStringLiteral("a"), false));
    EXPECT_TRUE(HasDocs(a));
    EXPECT_TRUE(session->DatabaseOpen());

    prompts->answers = {true};
    EXPECT_TRUE(session->DropDatabase(QStringLiteral("a"), false));
    ExpectClosed();
    EXPECT_FALSE(HasDocs(a));
    EXPECT_FALSE(QFileInfo::exists(a + QStringLiteral("/Docs.db-journal")));
    EXPECT_TRUE(QFileInfo(a + QStringLiteral("/sub")).isDir());
    EXPECT_EQ(prompts->shown.last(), QStringLiteral("The database \"a\" \nhas been removed from your computer."));
    EXPECT_EQ(prompts->shown.first(), QStringLiteral("ATTENTION!\nAre you sure you want to DROP\nthe database \"a\"?"));
    EXPECT_EQ(settings->DefaultDbName(), QStringLiteral("Other")) << "another database's drop keeps the default";
    EXPECT_EQ(settings->WrongPasswordMode(), QStringLiteral("DROP_DB"));
    EXPECT_FALSE(session->DropDatabase(QStringLiteral("A"), true)) << "already gone";
}

TEST_F(DatabaseSessionTest, DropRefusesFoldersThatAreNotADatabaseOfTheirOwn)
{
    Start();
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
        EXPECT_FALSE(session->DropDatabase(name, true)) << "[" << folder.toStdString() << "]";
        prompts->answers = {true};
        EXPECT_FALSE(session->DropDatabase(name, false)) << folder.toStdString();
        if (!folder.isEmpty()) {
            EXPECT_NE(settings->FindDatabaseEntry(name), nullptr) << "the entry stays";
            EXPECT_FALSE(TDatabaseSession::DropRefusal(folder).isEmpty());
        }
    }
    EXPECT_EQ(qbtest::ReadAll(home + QStringLiteral("/Docs.db")), QByteArray("canary"));
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_TRUE(TDatabaseSession::DropRefusal(qbtest::FreshFolder()).isEmpty());
}

TEST_F(DatabaseSessionTest, DropThatCannotDeleteTheTableKeepsTheEntryAndSaysSo)
{
    Start();
    // A Docs.db that is a folder cannot be deleted as a file, even by root.
    const QString folder = AddEntry(QStringLiteral("Stuck"), qbtest::FreshFolder());
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("Docs.db")));
    EXPECT_FALSE(session->DropDatabase(QStringLiteral("Stuck"), true));
    EXPECT_NE(settings->FindDatabaseEntry(QStringLiteral("Stuck")), nullptr);
    EXPECT_TRUE(prompts->shown.isEmpty()) << "silent";

    prompts->answers = {true};
    EXPECT_FALSE(session->DropDatabase(QStringLiteral("Stuck"), false));
    EXPECT_NE(settings->FindDatabaseEntry(QStringLiteral("Stuck")), nullptr);
    EXPECT_TRUE(prompts->shown.last().startsWith(QStringLiteral("The database \"Stuck\" has not been dropped.")));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

// ---- The database-wide use cases, without windows

TEST_F(DatabaseSessionTest, PasswordChangeRefusesOrFailsWithoutLosingTheOldPassword)
{
    Start();
    TDatabaseActions actions(*session);
    QSignalSpy ended(&actions, &TDatabaseActions::PasswordChanged);
    const QString tooLong(32, QLatin1Char('P'));
    struct Case
    {
        const char* what;
        QString oldPassword, newPassword;
        std::function<void()> during; // after the start, while the job runs
        const char* told; // the start of what the user is told
        bool started;
    };
    const std::vector<Case> cases{
        {"wrong old", QStringLiteral("X"), QStringLiteral("NEW"), {}, "The old password is not correct.", false},
        {"too long", QStringLiteral("OLD"), tooLong, {}, "The new password is too long.", false},
        {"stopped", QStringLiteral("OLD"), QStringLiteral("NEW"), [&] { actions.Runner().RequestStop(); },
         "Can not change the password.\nThe operation was stopped", true},
        {"rename fails", QStringLiteral("OLD"), QStringLiteral("NEW"), {}, "Can not change the password.\n", true},
        {"full disk", QStringLiteral("OLD"), QStringLiteral("NEW"), {}, "Can not change the password.\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = AddDb(QString::fromLatin1(c.what), QStringLiteral("OLD"));
        OpenWithDialog(QString::fromLatin1(c.what), QStringLiteral("OLD"));
        ASSERT_TRUE(session->DatabaseOpen());
        TDocStore(session->Connection()).CreateDocumentRecord(QStringLiteral("keep me"), QStringLiteral("TXT"));
        const bool renameFails = QByteArray(c.what) == "rename fails";
        if (renameFails)
            session->Connection().SetRenameFunction([](const QString&, const QString&) {
                errno = EIO;
                return false;
            });
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        if (QByteArray(c.what) == "full disk") {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 2 * 1024; // as root too: no file may grow past 2 KiB
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        EXPECT_EQ(actions.ChangePassword(c.oldPassword, c.newPassword), c.started);
        if (c.during)
            c.during();
        if (c.started) {
            EXPECT_TRUE(ended.wait(60000));
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        session->Connection().SetRenameFunction({});
        ASSERT_FALSE(prompts->shown.isEmpty());
        EXPECT_TRUE(prompts->shown.last().startsWith(QString::fromUtf8(c.told))) << prompts->shown.last().toStdString();
        EXPECT_EQ(session->DatabaseOpen(), !c.started) << "a refusal leaves it open, a failure closed";
        session->CloseDatabase();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Docs.db")});
        EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("OLD")), 1) << "the old password still opens it";
    }

    // And one that works: closed, the new password opens it.
    const QString folder = AddDb(QStringLiteral("ok"), QStringLiteral("OLD"));
    OpenWithDialog(QStringLiteral("ok"), QStringLiteral("OLD"));
    ASSERT_TRUE(actions.ChangePassword(QStringLiteral("OLD"), QStringLiteral("NEW")));
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_TRUE(prompts->shown.last().startsWith(QStringLiteral("The password has been changed.")));
    ExpectClosed();
    EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("NEW")), 0);
}

TEST_F(DatabaseSessionTest, PackStopsWithTheOldFileOrEndsWithTheOfferOfANewPassword)
{
    Start();
    TDatabaseActions actions(*session);
    QSignalSpy packed(&actions, &TDatabaseActions::Packed);
    QSignalSpy wanted(&actions, &TDatabaseActions::NewPasswordWanted);
    const QString folder = AddDb(QStringLiteral("A"), QStringLiteral("OLD"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("OLD"));
    TDocStore(session->Connection()).CreateDocumentRecord(QStringLiteral("keep me"), QStringLiteral("TXT"));
    const QByteArray before = qbtest::ReadAll(folder + QStringLiteral("/Docs.db"));

    // Stopped: the old file, its password, and the open list stay.
    ASSERT_TRUE(actions.Pack());
    actions.Runner().RequestStop();
    ASSERT_TRUE(packed.wait(60000));
    EXPECT_TRUE(prompts->shown.last().contains(QStringLiteral("stopped"))) << prompts->shown.last().toStdString();
    EXPECT_TRUE(session->DatabaseOpen() && session->ListReady());
    EXPECT_TRUE(session->Connection().IsEncrypted());
    EXPECT_TRUE(wanted.isEmpty());

    // Done: the offer comes; yes asks for the password change.
    prompts->answers = {true};
    ASSERT_TRUE(actions.Pack());
    ASSERT_TRUE(packed.wait(60000));
    EXPECT_EQ(prompts->shown.last(), TDatabaseActions::PackedText() + QStringLiteral("\nSet new password?"));
    EXPECT_EQ(wanted.size(), 1);
    EXPECT_FALSE(session->Connection().IsEncrypted());

    // While the program ends, the offer can not be taken up: it is said instead.
    session->SetQuitting();
    ASSERT_TRUE(actions.Pack());
    ASSERT_TRUE(packed.wait(60000));
    EXPECT_TRUE(prompts->shown.last().contains(QStringLiteral("Quietbox is closing")));
    EXPECT_EQ(wanted.size(), 1);
    session->CloseDatabase();
    EXPECT_EQ(qbtest::CountDocuments(folder, QString()), 1);
    EXPECT_NE(qbtest::ReadAll(folder + QStringLiteral("/Docs.db")), before);
}

TEST_F(DatabaseSessionTest, CreateRefusesOrFailsLeavingNoFolderAndTheSettingsAsTheyWere)
{
    Start();
    TDatabaseActions actions(*session);
    QSignalSpy created(&actions, &TDatabaseActions::Created);
    const QString location = qbtest::FreshFolder();
    ASSERT_TRUE(QDir(location).mkdir(QStringLiteral("Taken")));
    qbtest::WriteAll(location + QStringLiteral("/Taken/Docs.db"), QByteArray("precious bytes"));
    const QString ownArchive = location + QStringLiteral("/Taken/Own.qba");
    ASSERT_EQ(BackRest::BackupFolder(qbtest::FreshDatabase(), ownArchive), BackRest::Ok);
    const QString damaged = location + QStringLiteral("/damaged.qba");
    qbtest::WriteAll(damaged, QByteArray("BACKUX and more"));
    struct Case
    {
        const char* name;
        QString where, archive;
        bool fullDisk;
        const char* told; // the start of what the user is told (the engine's words when empty)
        bool started;
    };
    const std::vector<Case> cases{
        {"..", location, {}, false, "Can not create directory", false},
        {"../escaped", location, {}, false, "Can not create directory", false},
        {"a/b", location, {}, false, "Can not create directory", false},
        {"Work", damaged, {}, false, "Can not create directory", false},
        {" Taken ", location, {}, false, "Directory \"Taken\"\nalready exists.", false},
        {"Taken", location, ownArchive, false, "The new database can not be created in the folder containing", false},
        {"Damaged", location, damaged, false, "Database restore error", true},
        {"Full", location, {}, true, "", true},
        {"Full archive", location, ownArchive, true, "Database restore error", true},
    };
    const QByteArray settingsBefore = FileBytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        if (c.fullDisk) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 2 * 1024; // as root too: no file may grow past 2 KiB
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        const QString name = QString::fromLatin1(c.name);
        EXPECT_EQ(c.archive.isEmpty() ? actions.CreateDatabase(c.where, name, QStringLiteral("PW"))
                                      : actions.CreateFromArchive(c.archive, c.where, name),
                  c.started);
        if (c.started) {
            EXPECT_TRUE(created.wait(60000));
            EXPECT_FALSE(created.last().at(2).toString().isEmpty());
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_EQ(prompts->shown.size(), 1);
        EXPECT_TRUE(prompts->shown.last().startsWith(QString::fromLatin1(c.told)))
            << prompts->shown.last().toStdString();
    }
    EXPECT_EQ(created.size(), 3);
    EXPECT_EQ(QDir(location).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{QStringLiteral("Taken"), QStringLiteral("damaged.qba")}));
    EXPECT_EQ(qbtest::ReadAll(location + QStringLiteral("/Taken/Docs.db")), QByteArray("precious bytes"));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(location).absolutePath() + QStringLiteral("/escaped")));
    EXPECT_EQ(FileBytes(), settingsBefore);
    EXPECT_TRUE(settings->ListedDatabaseNames().isEmpty());
}

TEST_F(DatabaseSessionTest, CreateMakesAPrivateProtectedDatabaseOrRebuildsOneWithItsOwnPassword)
{
    Start();
    TDatabaseActions actions(*session);
    QSignalSpy created(&actions, &TDatabaseActions::Created);
    const QString location = qbtest::FreshFolder();
    ASSERT_TRUE(actions.CreateDatabase(location, QStringLiteral("  Мій архів  "), QStringLiteral("SECRET")));
    ASSERT_TRUE(created.wait(60000));
    const QString folder = location + QStringLiteral("/Мій архів");
    EXPECT_EQ(created.last(), (QVariantList{QStringLiteral("Мій архів"), folder, QString()}));
    EXPECT_EQ(prompts->shown.last(),
              QStringLiteral("Congratulations!\nDatabasse \"  Мій архів  \" has been successfully created."));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{TDatabaseConnection::FileName});
    // Private to the user, the database file also after its password went on.
    const auto mode = [](const QString& path) { return int(QFileInfo(path).permissions() & 0x7077); };
    EXPECT_EQ(mode(folder), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(mode(QDir(folder).filePath(TDatabaseConnection::FileName)),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("SECRET")), 0);
    EXPECT_THROW(qbtest::CountDocuments(folder, QString()), QbError);

    qbtest::TempDatabase source(QStringLiteral("OLDPW"));
    TDocStore(source.Connection).CreateDocumentRecord(QStringLiteral("letter"), QStringLiteral("TXT"));
    source.Connection.Close();
    const QString archive = qbtest::FreshFolder(QStringLiteral("arc архів")) + QStringLiteral("/Work.qba");
    ASSERT_EQ(BackRest::BackupFolder(source.Folder, archive), BackRest::Ok);
    ASSERT_TRUE(actions.CreateFromArchive(archive, location, QStringLiteral("Copy")));
    ASSERT_TRUE(created.wait(60000));
    EXPECT_EQ(prompts->shown.last(),
              QStringLiteral("Database \"Copy\" \nhas been created from the archive \n\"%1\"").arg(archive));
    EXPECT_EQ(qbtest::CountDocuments(location + QStringLiteral("/Copy"), QStringLiteral("OLDPW")), 1);

    // Both listed, in the file too.
    EXPECT_EQ(settings->ListedDatabaseNames(), (QStringList{QStringLiteral("Мій архів"), QStringLiteral("Copy")}));
    EXPECT_TRUE(QString::fromUtf8(FileBytes()).contains(location + QStringLiteral("/Copy")));
}

} // namespace
