#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/database/Schema.h"
#include "core/jobs/JobRunner.h"
#include "core/settings/OrbPigger.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/documents/doc_list.h"
#include "gui/startup/BDE_DL.h"
#include "support/AppFixture.h"
#include "support/Child.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <cerrno>

using qbtest::AppFixture;
using qbtest::OnModal;

namespace {

// The password change's work run to its end, with the message that follows it.
void WaitForJobs()
{
    for (int i = 0; i < 12000 && TJobRunner::AnyBusy(); ++i)
        QTest::qWait(5);
    ASSERT_FALSE(TJobRunner::AnyBusy());
}

const QString kWrong = QStringLiteral("Incorrect password.\nTry again.");

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
        TOrbPigger* list = Settings()->Model().BaseListNode();
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
        OnModal<TFaskBaseAndPwd>([name, password](TFaskBaseAndPwd* d) {
            d->SelectDatabase(name);
            QTest::keyClicks(qbtest::Child<QLineEdit>(d, "Edit_pwd"), password);
            qbtest::Child<QPushButton>(d, "BtnOK")->click();
        });
        Main()->SBreopenClick();
    }
    // The open command, with this button pressed in the selection dialog.
    void ReopenPressing(const char* button)
    {
        OnModal<TFaskBaseAndPwd>(
            [button](TFaskBaseAndPwd* d) { d->findChild<QAbstractButton*>(QString::fromLatin1(button))->click(); });
        Main()->SBreopenClick();
    }
    // The password command, with the three fields typed and "Change" pressed when it may be.
    void ChangePassword(const QString& old, const QString& first, const QString& second)
    {
        OnModal<TFChngPwd>([old, first, second](TFChngPwd* d) {
            QTest::keyClicks(qbtest::Child<QLineEdit>(d, "EditOldPwd"), old);
            QTest::keyClicks(qbtest::Child<QLineEdit>(d, "EditNewPwd1"), first);
            QTest::keyClicks(qbtest::Child<QLineEdit>(d, "EditNewPwd2"), second);
            if (qbtest::Child<QPushButton>(d, "BtnChange")->isEnabled())
                qbtest::Child<QPushButton>(d, "BtnChange")->click();
            if (d->isVisible())
                qbtest::Child<QPushButton>(d, "BtnCancel")->click(); // a refused change leaves the dialog open
        });
        Main()->TB_chng_pwdClick();
        WaitForJobs();
    }

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
        EXPECT_FALSE(Main()->DatabaseOpen());
        EXPECT_FALSE(ADB().IsOpen());
        EXPECT_FALSE(Part<TO_doc_list>("O_doc_list1")->IsActive());
        EXPECT_FALSE(Part<QAction>("TB_new_doc")->isEnabled());
    }
};

// ---- The selection dialog

// Which entries are listed is SettingsModelTest's; here that the list shows just those.
TEST_F(OpenDatabaseTest, SelectionDialogListsBaseEntriesAndLooksNamesUpIgnoringCase)
{
    StartApp(
        "<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"Hidden\" DEFAULT_INVISIBLE=\"Y\"><BASE_LIST/></SETTINGS>");
    AddEntry(QStringLiteral("ALPHA"), QStringLiteral("/a"));
    AddEntry(QStringLiteral("Hidden"), QStringLiteral("/h"));
    AddEntry(QStringLiteral("  Spaced  "), QStringLiteral("/s"));

    EXPECT_EQ(Ask()->windowTitle(), QStringLiteral("Select database"));
    EXPECT_EQ(qbtest::Child<QToolButton>(Ask(), "SB_databases")->toolTip(), QStringLiteral("Create new database"));
    Ask()->FillDatabaseList();
    QStringList listed;
    for (int i = 0; i < qbtest::Child<QComboBox>(Ask(), "CB_databases")->count(); ++i)
        listed << qbtest::Child<QComboBox>(Ask(), "CB_databases")->itemText(i);
    EXPECT_EQ(listed, (QStringList{QStringLiteral("ALPHA"), QStringLiteral("  Spaced  ")}));
    EXPECT_TRUE(Ask()->SelectedDatabaseName().isEmpty()) << "nothing selected after filling";

    Ask()->SelectDatabase(QStringLiteral("alpha"));
    EXPECT_EQ(Ask()->SelectedDatabaseName(), QStringLiteral("ALPHA"));
    Ask()->SelectDatabase(QStringLiteral("  spaced  "));
    EXPECT_EQ(Ask()->SelectedDatabaseName(), QStringLiteral("Spaced")) << "blanks are trimmed";
    Ask()->SelectDatabase(QStringLiteral("hidden"));
    EXPECT_TRUE(Ask()->SelectedDatabaseName().isEmpty()) << "not listed: selection cleared";
}

TEST_F(OpenDatabaseTest, PasswordFieldMasksAndUpperCasesWhatIsTyped)
{
    StartApp();
    QLineEdit* field = qbtest::Child<QLineEdit>(Ask(), "Edit_pwd");
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    QTest::keyClicks(field, QStringLiteral("abc D1"));
    EXPECT_EQ(field->text(), QStringLiteral("ABC D1"));
    field->clear();
    field->insert(QStringLiteral("pasted é"));
    EXPECT_EQ(field->text(), QStringLiteral("PASTED É"));

    // Typed in lower case, the password reaches the engine in upper case and opens the database.
    AddDb(QStringLiteral("A"), QStringLiteral("SECRET"));
    OpenWithDialog(QStringLiteral("a"), QStringLiteral("secret"));
    EXPECT_TRUE(Main()->DatabaseOpen()) << Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(ADB().IsKeyedWith(QStringLiteral("SECRET")));
    EXPECT_TRUE(field->text().isEmpty()) << "the dialog lives on, the password does not";
}

TEST_F(OpenDatabaseTest, CreateButtonOpensTheNewDatabaseWithItsPassword)
{
    StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
    QString made;
    QObject::disconnect(Ask(), &TFaskBaseAndPwd::NewDatabaseWanted, nullptr, nullptr); // no wizard
    auto answer = QObject::connect(Ask(), &TFaskBaseAndPwd::NewDatabaseWanted, Ask(), [&] {
        made = AddDb(QStringLiteral("Fresh"), QStringLiteral("NEWPW"));
        Ask()->NewDatabaseMade(TNewDatabase{QStringLiteral("fresh"), made, QStringLiteral("NEWPW")});
    });
    ReopenPressing("SB_databases");
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_EQ(Main()->CurrentDatabaseName(), QStringLiteral("Fresh"));
    EXPECT_EQ(ADB().Path(), made);
    EXPECT_TRUE(SettingsFileBytes().contains("Fresh")) << "the settings file is saved after the wizard";

    // A cancelled wizard opens nothing and leaves no database open.
    QObject::disconnect(answer);
    ReopenPressing("SB_databases");
    ExpectClosed();
}

// ---- The wiring of the session to the windows (the policy itself: DatabaseSessionTest)

TEST_F(OpenDatabaseTest, DialogOpenReportsThroughTheMessageDialogAndCommandsFollow)
{
    StartApp();
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    AddDb(QStringLiteral("B"));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("nope"));
    EXPECT_EQ(Messages(), QStringList{kWrong});
    ExpectClosed();

    OpenWithDialog(QStringLiteral("B"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen());
    EXPECT_TRUE(Part<QAction>("TB_del_doc")->isEnabled());
    EXPECT_TRUE(Part<TO_doc_list>("O_doc_list1")->IsActive());

    ReopenPressing("BtnCancel");
    ExpectClosed();
}

TEST_F(OpenDatabaseTest, DropByThePolicyRefillsTheSelectionAndTheSettingsDialog)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"2\" DEFAULT_DB=\"A\"/>");
    AddDb(QStringLiteral("A"), QStringLiteral("PW"));
    Settings()->ShowSettings();
    ASSERT_TRUE(qbtest::Child<QRadioButton>(Settings(), "RB_drop_db")->isChecked());
    for (int i = 0; i < 3; ++i)
        OpenWithDialog(QStringLiteral("a"), QStringLiteral("WRONG"));
    EXPECT_EQ(qbtest::Child<QComboBox>(Ask(), "CB_databases")->count(), 0);
    EXPECT_TRUE(qbtest::Child<QRadioButton>(Settings(), "Rb_restrict")->isChecked()) << "cleared policy";
    ExpectClosed();
}

TEST_F(OpenDatabaseTest, ActivationOpensTheLastUsedDatabase)
{
    StartApp("<SETTINGS OPEN_LAST_USED=\"Y\" LAST_OPEN_NAME=\"b\" GS=\"NO\"/>");
    AddDb(QStringLiteral("B"));
    Main()->Activate(); // the anchor table, then the last used database
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_EQ(Main()->CurrentDatabaseName(), QStringLiteral("B"));
    EXPECT_TRUE(QFileInfo::exists(Schema::AnchorTablePath()));
    EXPECT_GE(Main()->EngineVersion(), 3000000);
}

// ---- Password change

// The rules (old password proven, length, failures) are the core's; here the dialog's part.
TEST_F(OpenDatabaseTest, PasswordChangeFromTheDialogIsToldAndLeavesTheDatabaseClosed)
{
    StartApp();
    AddDb(QStringLiteral("A"));
    OpenWithDialog(QStringLiteral("A"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen());
    ChangePassword(QString(), QStringLiteral("new pw"), QStringLiteral("new pw"));
    ExpectClosed();
    EXPECT_TRUE(Messages().last().startsWith(QStringLiteral("The password has been changed.")));
    OpenWithDialog(QStringLiteral("A"), QStringLiteral("New Pw"));
    EXPECT_TRUE(Main()->DatabaseOpen()) << "typed letters reach the engine in upper case";
}

TEST_F(OpenDatabaseTest, PasswordChangeOfTheDefaultDatabaseWarnsFirst)
{
    StartApp("<SETTINGS DEFAULT_DB=\"D\"/>");
    AddDb(QStringLiteral("D"));
    OpenWithDialog(QStringLiteral("D"), QString());
    ASSERT_TRUE(Main()->DatabaseOpen());
    const int before = int(DialogScript::Shown().size());
    DialogScript::QueueAnswers({false});
    Main()->TB_chng_pwdClick();
    const QStringList shown = DialogScript::Shown().mid(before);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("The database \"D\" is the default database")));
    EXPECT_TRUE(Main()->DatabaseOpen());

    // A hidden default is open under no name; the warning still names it.
    Main()->CloseDatabase();
    Root().SetAttr(QStringLiteral("DEFAULT_INVISIBLE"), QStringLiteral("Y"));
    Settings()->ShowSettings(); // the option is read from the settings dialog
    Main()->OpenDatabaseDirect(QStringLiteral("D"), Windows().Settings->DatabasePath(QStringLiteral("D")), QString());
    ASSERT_TRUE(Main()->DatabaseOpen());
    ASSERT_TRUE(Main()->CurrentDatabaseName().isEmpty());
    DialogScript::QueueAnswers({false});
    Main()->TB_chng_pwdClick();
    EXPECT_TRUE(DialogScript::LastShown().startsWith(QStringLiteral("The database \"D\" is the default database")))
        << DialogScript::LastShown().toStdString();
    EXPECT_TRUE(DialogScript::LastShown().endsWith(QStringLiteral("with the \"D\" database?")));
    EXPECT_TRUE(Main()->DatabaseOpen());

    TFChngPwd dialog(*Windows().Actions);
    auto* change = qbtest::Child<QPushButton>(&dialog, "BtnChange");
    EXPECT_FALSE(change->isEnabled());
    QTest::keyClicks(qbtest::Child<QLineEdit>(&dialog, "EditNewPwd1"), QStringLiteral("ab"));
    QTest::keyClicks(qbtest::Child<QLineEdit>(&dialog, "EditNewPwd2"), QStringLiteral("a"));
    EXPECT_FALSE(change->isEnabled());
    QTest::keyClicks(qbtest::Child<QLineEdit>(&dialog, "EditNewPwd2"), QStringLiteral("B"));
    EXPECT_TRUE(change->isEnabled()) << "both fields upper-case what is typed";
    qbtest::Child<QLineEdit>(&dialog, "EditNewPwd1")->setText(QStringLiteral("  "));
    qbtest::Child<QLineEdit>(&dialog, "EditNewPwd2")->setText(QStringLiteral("  "));
    EXPECT_FALSE(change->isEnabled());

    // Refused or not, the dialog keeps no password once it is closed.
    OnModal<TFChngPwd>([](TFChngPwd* d) {
        QTest::keyClicks(qbtest::Child<QLineEdit>(d, "EditOldPwd"), QStringLiteral("x"));
        QTest::keyClicks(qbtest::Child<QLineEdit>(d, "EditNewPwd1"), QStringLiteral("y"));
        QTest::keyClicks(qbtest::Child<QLineEdit>(d, "EditNewPwd2"), QStringLiteral("y"));
        qbtest::Child<QPushButton>(d, "BtnChange")->click();
        qbtest::Child<QPushButton>(d, "BtnCancel")->click();
    });
    EXPECT_FALSE(dialog.Execute());
    for (const char* name : {"EditOldPwd", "EditNewPwd1", "EditNewPwd2"})
        EXPECT_TRUE(qbtest::Child<QLineEdit>(&dialog, name)->text().isEmpty()) << name;
}

// ---- The engine-missing dialog

TEST_F(OpenDatabaseTest, EngineMissingDialogShowsHowToInstallOrOpensThePage)
{
    StartApp();
    const auto press = [](const char* radio, const char* button) {
        OnModal<TD_BDE_DL>([radio, button](TD_BDE_DL* d) {
            if (radio)
                d->findChild<QRadioButton*>(QString::fromLatin1(radio))->click();
            d->findChild<QPushButton*>(QString::fromLatin1(button))->click();
        });
        TD_BDE_DL::OfferInstall();
    };
    press(nullptr, "OKBtn");
    EXPECT_EQ(DialogScript::LastShown(), TD_BDE_DL::InstallText());
    EXPECT_TRUE(opened.isEmpty());
    press("RB_download", "OKBtn");
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), TD_BDE_DL::DownloadUrl());
    press("RB_download", "CancelBtn");
    EXPECT_EQ(opened.size(), 1) << "cancel does nothing";

    TD_BDE_DL dialog;
    EXPECT_TRUE(qbtest::Child<QRadioButton>(&dialog, "RB_install")->isChecked());
    EXPECT_TRUE(qbtest::Child<QWidget>(&dialog, "Label_download")->isHidden());
    qbtest::Child<QRadioButton>(&dialog, "RB_download")->setChecked(true);
    EXPECT_FALSE(qbtest::Child<QWidget>(&dialog, "Label_download")->isHidden());
    QTest::mouseClick(qbtest::Child<QWidget>(&dialog, "Image_download"), Qt::LeftButton);
    EXPECT_EQ(opened.size(), 2) << "the picture opens the page at once";
}

} // namespace
