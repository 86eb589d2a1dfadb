#include "core/archive/BackRest.h"
#include "core/database/DatabaseSession.h"
#include "core/database/DocStore.h"
#include "core/database/TextIndexer.h"
#include "core/jobs/JobRunner.h"
#include "core/settings/OrbPigger.h"
#include "gui/archive/backUpRestore.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/JobProgress.h"
#include "gui/database/actions_with_db.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/database/edit_database.h"
#include "gui/database/wz_new_database.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/dialogs/sure.h"
#include "gui/widgets/OrbFileEdit.h"
#include "support/AppFixture.h"
#include "support/Child.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <thread>

using namespace qbtest;

namespace {

class DatabaseControlTest : public AppFixture
{
protected:
    void Start()
    {
        StartApp();
        control = std::make_unique<TD_action_with_db>(*Windows().Actions, Main());
    }
    void TearDown() override
    {
        control.reset();
        AppFixture::TearDown();
    }

    QString AddDb(const QString& name, const QString& folder)
    {
        TOrbPigger* entry = Settings()->Model().BaseListNode()->AddChild(QStringLiteral("BASE"));
        entry->SetAttr(QStringLiteral("NAME"), name);
        entry->SetAttr(QStringLiteral("PATH"), folder);
        return folder;
    }

    // The selection dialog that follows a command is cancelled.
    static void CancelSelection()
    {
        OnModal<TFaskBaseAndPwd>([](TFaskBaseAndPwd* d) { Child<QPushButton>(d, "BtnCancel")->click(); });
    }

    // Chooses `button` in the control dialog once it shows, then OK.
    static void Choose(const char* button)
    {
        OnModal<TD_action_with_db>([button](TD_action_with_db* d) {
            d->findChild<QRadioButton*>(QString::fromLatin1(button))->click();
            Child<QPushButton>(d, "OKBtn")->click();
        });
    }

    // The database control's long work (a pack) run to its end, with what follows it.
    static void WaitForJobs()
    {
        for (int i = 0; i < 12000 && TJobRunner::AnyBusy(); ++i)
            QTest::qWait(5);
        ASSERT_FALSE(TJobRunner::AnyBusy());
        QCoreApplication::processEvents();
    }

    std::unique_ptr<TD_action_with_db> control;
};

TEST_F(DatabaseControlTest, AskActionOffersOnlyCreatingWithoutADatabase)
{
    Start();
    OnModal<TD_action_with_db>([](TD_action_with_db* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Database control"));
        EXPECT_TRUE(Child<QRadioButton>(d, "RB_create_new_db")->isChecked());
        EXPECT_TRUE(Child<QRadioButton>(d, "RB_create_new_db")->isEnabled());
        for (const char* name : {"RB_edit_database", "RB_drop_database", "RB_pack_database"})
            EXPECT_FALSE(Child<QRadioButton>(d, name)->isEnabled()) << name;
        Child<QPushButton>(d, "CancelBtn")->click();
    });
    EXPECT_EQ(control->AskAction(QStringLiteral("  ")), TD_action_with_db::NoAction);

    OnModal<TD_action_with_db>([](TD_action_with_db* d) {
        EXPECT_EQ(Child<QRadioButton>(d, "RB_edit_database")->text(), QStringLiteral("Edit database \"Мій Work\""));
        EXPECT_EQ(Child<QRadioButton>(d, "RB_drop_database")->text(), QStringLiteral("Drop database \"Мій Work\""));
        EXPECT_EQ(Child<QRadioButton>(d, "RB_pack_database")->text(),
                  QStringLiteral("Pack and re-init database \"Мій Work\""));
        EXPECT_TRUE(Child<QRadioButton>(d, "RB_drop_database")->isEnabled());
        Child<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_EQ(control->AskAction(QStringLiteral("Мій Work")), TD_action_with_db::CreateNewAction);
    Choose("RB_drop_database");
    EXPECT_EQ(control->AskAction(QStringLiteral("w")), TD_action_with_db::DropAction);
    Choose("RB_pack_database");
    EXPECT_EQ(control->AskAction(QStringLiteral("w")), TD_action_with_db::PackAction);
    Choose("RB_edit_database");
    EXPECT_EQ(control->AskAction(QStringLiteral("w")), TD_action_with_db::EditAction);
    // Every question starts from "Create new database".
    OnModal<TD_action_with_db>([](TD_action_with_db* d) {
        EXPECT_TRUE(Child<QRadioButton>(d, "RB_create_new_db")->isChecked());
        d->reject();
    });
    EXPECT_EQ(control->AskAction(QStringLiteral("w")), TD_action_with_db::NoAction);
}

TEST_F(DatabaseControlTest, TheToolbarCommandAsksOnTheOpenDatabase)
{
    Start();
    const QString folder = AddDb(QStringLiteral("Work"), FreshDatabase());
    Main()->OpenDatabaseDirect(QStringLiteral("Work"), folder, QString());
    ASSERT_TRUE(Part<QAction>("TB_db_actions")->isEnabled());
    ASSERT_NE(Windows().D_action_with_db, nullptr);
    bool asked = false;
    OnModal<TD_action_with_db>([&asked](TD_action_with_db* d) {
        asked = true;
        EXPECT_EQ(d, Windows().D_action_with_db);
        EXPECT_EQ(Child<QRadioButton>(d, "RB_drop_database")->text(), QStringLiteral("Drop database \"Work\""));
        Child<QPushButton>(d, "CancelBtn")->click();
    });
    Part<QAction>("TB_db_actions")->trigger();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(Main()->DatabaseOpen()) << "Cancel does nothing";
}

// What a drop asks, removes and keeps, and the defaults it clears, is DatabaseSessionTest's; here
// that the command drops the open database by its name.
TEST_F(DatabaseControlTest, DropAsksAndClosesTheDatabase)
{
    Start();
    Main()->OpenDatabaseDirect(QStringLiteral("Work"), AddDb(QStringLiteral("Work"), FreshDatabase()), QString());
    ASSERT_TRUE(Main()->DatabaseOpen());
    Choose("RB_drop_database");
    DialogScript::QueueAnswers({true});
    CancelSelection();
    control->DatabaseControl();
    EXPECT_TRUE(
        DialogScript::Shown().contains(QStringLiteral("The database \"Work\" \nhas been removed from your computer.")));
    EXPECT_EQ(Windows().Settings->FindDatabaseEntry(QStringLiteral("Work")), nullptr);
    EXPECT_FALSE(Main()->DatabaseOpen());
}

TEST_F(DatabaseControlTest, CreateNewOpensTheNewDatabaseWithItsPassword)
{
    Start();
    const QString location = FreshFolder(QStringLiteral("new нове"));
    Choose("RB_create_new_db");
    OnModal<TW_new_database>([location](TW_new_database* w) {
        Child<QLineEdit>(w, "Edit_DB_name")->setText(QStringLiteral("Щоденник"));
        Child<QPushButton>(w, "btnNext")->click();
        DialogScript::QueueFileNames({location});
        Child<QToolButton>(w, "SB_location")->click();
        Child<QPushButton>(w, "btnNext")->click();
        Child<QCheckBox>(w, "CB_is_protected")->click();
        QTest::keyClicks(Child<QLineEdit>(w, "EditNewPwd1"), QStringLiteral("abc"));
        QTest::keyClicks(Child<QLineEdit>(w, "EditNewPwd2"), QStringLiteral("abc"));
        Child<QPushButton>(w, "btnNext")->click();
        Child<QPushButton>(w, "btnFinish")->click();
    });
    control->DatabaseControl();
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_EQ(Main()->CurrentDatabaseName(), QStringLiteral("Щоденник"));
    EXPECT_TRUE(TDatabaseSession::IsProtectedDatabase(location + QStringLiteral("/Щоденник")));
}

TEST_F(DatabaseControlTest, TheSelectionDialogsEllipsisRunsTheWizard)
{
    Start();
    const QString location = FreshFolder(QStringLiteral("dots крапки"));
    OnModal<TFaskBaseAndPwd>([](TFaskBaseAndPwd* d) { Child<QToolButton>(d, "SB_databases")->click(); });
    OnModal<TW_new_database>([location](TW_new_database* w) {
        Child<QLineEdit>(w, "Edit_DB_name")->setText(QStringLiteral("Fresh"));
        Child<QPushButton>(w, "btnNext")->click();
        DialogScript::QueueFileNames({location});
        Child<QToolButton>(w, "SB_location")->click();
        Child<QPushButton>(w, "btnNext")->click();
        Child<QPushButton>(w, "btnNext")->click();
        Child<QPushButton>(w, "btnFinish")->click();
    });
    Main()->SBreopenClick();
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_EQ(Main()->CurrentDatabaseName(), QStringLiteral("Fresh"));
}

TEST_F(DatabaseControlTest, AProtectedDatabaseFromAnArchiveOpensThroughThePasswordDialog)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"2\"><BASE_LIST/></SETTINGS>");
    control = std::make_unique<TD_action_with_db>(*Windows().Actions, Main());
    const QString location = FreshFolder(QStringLiteral("restored"));
    const QString archive = location + QStringLiteral("/source.qba");
    ASSERT_EQ(BackRest::BackupFolder(FreshDatabase(QStringLiteral("KEY")), archive), BackRest::Ok);
    const auto wizardFromArchive = [location, archive](const QString& name) {
        OnModal<TW_new_database>([=](TW_new_database* w) {
            Child<QLineEdit>(w, "Edit_DB_name")->setText(name);
            Child<QRadioButton>(w, "RB_from_archive")->click();
            Child<TOrbFileEdit>(w, "OrbFileEdit1")->setText(archive);
            Child<QPushButton>(w, "btnNext")->click();
            DialogScript::QueueFileNames({location});
            Child<QToolButton>(w, "SB_location")->click();
            Child<QPushButton>(w, "btnNext")->click();
            Child<QPushButton>(w, "btnFinish")->click();
        });
    };
    const QString wrongPassword = QStringLiteral("Incorrect password.\nTry again.");

    // From the database control, and from the selection dialog's "...".
    Choose("RB_create_new_db");
    wizardFromArchive(QStringLiteral("First"));
    OnModal<TFaskBaseAndPwd>([](TFaskBaseAndPwd* d) {
        EXPECT_EQ(d->SelectedDatabaseName(), QStringLiteral("First")) << "offered selected";
        Child<QPushButton>(d, "BtnCancel")->click();
    });
    control->DatabaseControl();
    EXPECT_FALSE(DialogScript::Shown().contains(wrongPassword));
    EXPECT_EQ(Main()->Session().WrongAttempts(), 0);

    OnModal<TFaskBaseAndPwd>([&](TFaskBaseAndPwd* d) {
        wizardFromArchive(QStringLiteral("Second"));
        Child<QToolButton>(d, "SB_databases")->click();
        ASSERT_TRUE(d->isVisible()) << "stays for the password";
        EXPECT_EQ(d->SelectedDatabaseName(), QStringLiteral("Second"));
        QTest::keyClicks(Child<QLineEdit>(d, "Edit_pwd"), QStringLiteral("key"));
        Child<QPushButton>(d, "BtnOK")->click();
    });
    Main()->SBreopenClick();
    EXPECT_FALSE(DialogScript::Shown().contains(wrongPassword));
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_EQ(Main()->CurrentDatabaseName(), QStringLiteral("Second"));
    EXPECT_EQ(Main()->Session().WrongAttempts(), 0);
}

TEST_F(DatabaseControlTest, EditDatabaseWritesOnlyWhatOkConfirms)
{
    Start();
    const QString folder = AddDb(QStringLiteral("Work"), FreshDatabase());
    TOrbPigger* entry = Windows().Settings->FindDatabaseEntry(QStringLiteral("work"));

    OnModal<TD_edit_database>([](TD_edit_database* d) {
        EXPECT_EQ(Child<QLineEdit>(d, "Edit_database_name")->text(), QStringLiteral("Work"));
        EXPECT_FALSE(Child<QLineEdit>(d, "Edit_database_location")->isEnabled());
        Child<QCheckBox>(d, "CB_edit_path")->click();
        EXPECT_TRUE(Child<QLineEdit>(d, "Edit_database_location")->isEnabled());
        Child<QLineEdit>(d, "Edit_database_name")->setText(QStringLiteral("Changed"));
        Child<QPushButton>(d, "CancelBtn")->click();
    });
    control->EditEntry(QStringLiteral("WORK"));
    EXPECT_EQ(entry->GetAttr(QStringLiteral("NAME")), QStringLiteral("Work"));

    OnModal<TD_edit_database>([](TD_edit_database* d) {
        EXPECT_FALSE(Child<QCheckBox>(d, "CB_edit_path")->isChecked()) << "each edit starts with the path locked";
        Child<QLineEdit>(d, "Edit_database_name")->setText(QStringLiteral("Робота"));
        Child<QCheckBox>(d, "CB_edit_path")->click();
        Child<QLineEdit>(d, "Edit_database_location")->setText(QString());
        Child<QPushButton>(d, "OKBtn")->click();
    });
    control->EditEntry(QStringLiteral("Work"));
    EXPECT_EQ(entry->GetAttr(QStringLiteral("NAME")), QStringLiteral("Робота"));
    EXPECT_FALSE(entry->AttrNames().contains(QStringLiteral("PATH"))) << "an empty field removes the attribute";
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/Docs.db")));

    control->EditEntry(QStringLiteral("Work")); // no such entry now: nothing is shown
}

TEST_F(DatabaseControlTest, BackUpAndRestoreFromTheEditDialogDropTheEdits)
{
    Start();
    AddDb(QStringLiteral("Work"), FreshDatabase(QStringLiteral("ONE")));
    TOrbPigger* entry = Windows().Settings->FindDatabaseEntry(QStringLiteral("Work"));
    const QString archive = FreshFolder(QStringLiteral("arc архів")) + QStringLiteral("/work copy.qba");

    OnModal<TD_edit_database>([archive](TD_edit_database* d) {
        Child<QLineEdit>(d, "Edit_database_name")->setText(QStringLiteral("Dropped edit"));
        OnModal<TFBackUpRestore>([archive](TFBackUpRestore* b) {
            EXPECT_EQ(b->windowTitle(), QStringLiteral("Back Up"));
            auto* file = Child<TOrbFileEdit>(b, "OrbFileEdit1");
            EXPECT_EQ(file->FileName(), TFBackUpRestore::DefaultArchiveName(file->FileName()));
            file->setText(archive);
            Child<QPushButton>(b, "OKBtn")->click();
        });
        Child<QPushButton>(d, "SB_back_up")->click();
    });
    control->EditEntry(QStringLiteral("Work"));
    EXPECT_EQ(entry->GetAttr(QStringLiteral("NAME")), QStringLiteral("Work"));
    EXPECT_TRUE(DialogScript::Shown().contains(QStringLiteral("Archive created")));
    ASSERT_TRUE(QFileInfo::exists(archive));

    // What a restore brings back is BackUpRestoreDialogTest's.
    OnModal<TD_edit_database>([archive](TD_edit_database* d) {
        OnModal<TFBackUpRestore>([archive](TFBackUpRestore* b) {
            EXPECT_FALSE(Child<QLabel>(b, "Label_attention")->isHidden());
            Child<TOrbFileEdit>(b, "OrbFileEdit2")->setText(archive);
            Child<QPushButton>(b, "OKBtn")->click();
        });
        Child<QPushButton>(d, "SB_restore")->click();
    });
    control->EditEntry(QStringLiteral("Work"));
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Database restored"));
    EXPECT_EQ(entry->GetAttr(QStringLiteral("NAME")), QStringLiteral("Work"));
}

// What the pack keeps and removes is DatabaseSessionTest's; here what the user is asked and shown.
TEST_F(DatabaseControlTest, PackAsksShowsItsWindowAndOffersANewPassword)
{
    Start();
    const QString folder = AddDb(QStringLiteral("Work"), FreshDatabase(QStringLiteral("OLD")));
    {
        TDatabaseConnection c;
        c.SetParams(folder);
        c.AddPassword(QStringLiteral("OLD"));
        c.Open();
        TDocStore store(c);
        for (int i = 0; i < 5; ++i) {
            const QString id = store.CreateDocumentRecord(QStringLiteral("doc %1").arg(i), QStringLiteral("TXT"));
            store.WriteContentBytes(id, QStringLiteral("Image"), QByteArray(200000, char('a' + i)));
        }
        const QString gone = store.CreateDocumentRecord(QStringLiteral("gone"), QStringLiteral("IMG"));
        store.WriteContentBytes(gone, QStringLiteral("Image"), QByteArray(2000000, 'z'));
        store.DeleteDocument(gone);
        c.Close();
    }
    Main()->OpenDatabaseDirect(QStringLiteral("Work"), folder, QStringLiteral("OLD"));
    ASSERT_TRUE(Main()->DatabaseOpen());
    // The open indexes the text in the background; that is done before the file is measured.
    for (int i = 0; i < 12000 && Part<TTextIndexer>("Indexer")->Running(); ++i)
        QTest::qWait(5);
    const qint64 sizeBefore = QFileInfo(folder + QStringLiteral("/Docs.db")).size();

    // Declined: untouched.
    Choose("RB_pack_database");
    DialogScript::QueueAnswers({false});
    control->DatabaseControl();
    WaitForJobs();
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("/Docs.db")).size(), sizeBefore);

    Choose("RB_pack_database");
    DialogScript::QueueAnswers({true, false, false, false});
    control->DatabaseControl();
    // Back before the pack ends: the window goes on, the job's window and the main window
    // do not close under it without asking; both offer to stop it.
    ASSERT_TRUE(TJobRunner::AnyBusy());
    auto* progress = Main()->findChild<TJobProgress*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    progress->close();
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("Stop it?\nThe database stays as it was")));
    EXPECT_FALSE(Main()->close());
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("still running")));
    WaitForJobs();
    EXPECT_TRUE(DialogScript::LastShown().endsWith(QStringLiteral("Set new password?"))) << "the offer at the end";
    EXPECT_TRUE(Main()->DatabaseOpen()) << "the database stays open";
    EXPECT_TRUE(Main()->ListReady());
    Main()->CloseDatabase();

    // Yes to the offer runs the password change.
    Main()->OpenDatabaseDirect(QStringLiteral("Work"), folder, QString());
    Choose("RB_pack_database");
    DialogScript::QueueAnswers({true, true});
    OnModal<TFChngPwd>([](TFChngPwd* d) {
        QTest::keyClicks(Child<QLineEdit>(d, "EditNewPwd1"), QStringLiteral("new"));
        QTest::keyClicks(Child<QLineEdit>(d, "EditNewPwd2"), QStringLiteral("new"));
        Child<QPushButton>(d, "BtnChange")->click();
    });
    control->DatabaseControl();
    WaitForJobs();
    Main()->CloseDatabase();
    EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("NEW")), 5);
}

} // namespace

TEST_F(DatabaseControlTest, WhileAJobRunsOnlyItsWindowTakesInputAndAQuestionAboutItGoesWhenItEnds)
{
    Start();
    Main()->OpenDatabaseDirect(QStringLiteral("Work"), AddDb(QStringLiteral("Work"), FreshDatabase()), QString());
    ASSERT_TRUE(Part<QAction>("TB_collaps")->isEnabled());
    DialogScript::Stop(); // the real question windows
    std::atomic<bool> release{false};
    const auto text = [](QDialog* q) { return qbtest::Child<QPlainTextEdit>(q, "Memo1")->toPlainText(); };
    struct Case
    {
        const char* closeBox;
        bool stoppable; // a job that does not stop is only said to go on, in a message
        QString question;
    };
    const std::vector<Case> cases{
        {"job window", true, QStringLiteral("Working...\nStop it?")},
        {"job window", false, QStringLiteral("Working...\nThe operation can not be interrupted.")},
        {"main window", true, QStringLiteral("still running")}};
    for (const auto& [closeBox, stoppable, question] : cases) {
        SCOPED_TRACE(question.toStdString());
        release = false;
        QPointer<TJobProgress> progress = TJobProgress::Run(
            Main(), QStringLiteral("Working..."),
            [&release](TJobContext& job) {
                while (!release && !job.StopRequested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            },
            [stoppable = stoppable](const QString&) {
                if (stoppable)
                    Dialogs::Confirm(QStringLiteral("Done. Again?"));
                else
                    Dialogs::ShowMessage(QStringLiteral("Done. Again?"));
            },
            stoppable);
        ASSERT_TRUE(progress);

        // Nothing is modal, so the window system hands the main window's close box to it; its
        // controls take no input meanwhile, and a second start brings the job's window up.
        EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
        QTest::mouseClick(Part<QToolButton>("TB_collaps"), Qt::LeftButton);
        EXPECT_FALSE(Main()->Collapsed());
        Main()->showMinimized();
        BringToFront();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == progress; }));
        EXPECT_FALSE(Main()->isMinimized());

        // Left unanswered until the job ends: the question closes, and the outcome (on the same
        // shared window) still comes.
        QStringList asked;
        OnModal<QDialog>([&](QDialog* q) {
            asked << text(q);
            OnModal<QDialog>(
                [&](QDialog* outcome) {
                    asked << text(outcome);
                    outcome->reject();
                },
                q);
            release = true;
        });
        if (QByteArray(closeBox) == "main window")
            EXPECT_FALSE(Main()->close()) << "not confirmed";
        else
            progress->close();
        EXPECT_FALSE(TJobRunner::AnyBusy());
        ASSERT_EQ(asked.size(), 2);
        EXPECT_TRUE(asked[0].contains(question)) << asked[0].toStdString();
        EXPECT_EQ(asked[1], QStringLiteral("Done. Again?"));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(Main()->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(progress) << "gone with its job";
    }
}

TEST_F(DatabaseControlTest, AFailedPackIsReportedAndTheProgramGoesOn)
{
    Start();
    const QString folder = AddDb(QStringLiteral("Work"), FreshDatabase());
    {
        TDatabaseConnection c;
        c.SetParams(folder);
        c.Open();
        TDocStore store(c);
        const QString id = store.CreateDocumentRecord(QStringLiteral("kept"), QStringLiteral("TXT"));
        store.WriteContentBytes(id, QStringLiteral("Image"), QByteArray(400000, 'k'));
        c.Close();
    }
    Main()->OpenDatabaseDirect(QStringLiteral("Work"), folder, QString());
    ASSERT_TRUE(Main()->DatabaseOpen());

    // The rewrite cannot grow past 64 KiB: a full disk, as the pack sees it.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Choose("RB_pack_database");
    DialogScript::QueueAnswers({true});
    // Through the toolbar button, as a user would: the failure reaches the application's handler.
    QTest::mouseClick(Part<QToolButton>("TB_db_actions"), Qt::LeftButton);
    WaitForJobs();
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(DialogScript::LastShown().startsWith(QStringLiteral("Current database has been packed")))
        << DialogScript::LastShown().toStdString();
    EXPECT_FALSE(DialogScript::LastShown().isEmpty());
    Main()->CloseDatabase();
    EXPECT_EQ(qbtest::CountDocuments(folder, QString()), 1);
}
