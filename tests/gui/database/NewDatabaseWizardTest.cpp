#include "core/archive/BackRest.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "core/database/wz_rules.h"
#include "core/settings/OrbPigger.h"
#include "gui/database/wz_new_database.h"
#include "gui/widgets/OrbFileEdit.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace qbtest;

namespace {

class NewDatabaseWizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DialogScript::Start();
        root.SetName(QStringLiteral("SETTINGS"));
        list = root.AddChild(QStringLiteral("BASE_LIST"));
        location = FreshFolder(QStringLiteral("place місце"));
    }
    void TearDown() override { DialogScript::Stop(); }

    // Name page filled, the location chosen, and the wizard on the ready page.
    void FillIn(const QString& name, const QString& archive = QString())
    {
        wizard.Prepare(list);
        wizard.Edit_DB_name->setText(name);
        if (!archive.isEmpty()) {
            wizard.RB_from_archive->click();
            wizard.OrbFileEdit1->setText(archive);
        }
        wizard.btnNext->click();
        DialogScript::QueueFileNames({location});
        wizard.SB_location->click();
        wizard.btnNext->click();
        if (archive.isEmpty())
            wizard.btnNext->click();
        ASSERT_EQ(wizard.CurrentPage(), int(TW_new_database::ReadyPage));
    }

    // Ok, and a restore it started run to its end.
    void Finish()
    {
        wizard.btnFinish->click();
        for (int i = 0; i < 12000 && wizard.Busy(); ++i)
            QTest::qWait(5);
        ASSERT_FALSE(wizard.Busy());
    }

    QStringList Entries() const
    {
        QStringList out;
        for (int i = 0; i < list->ChildCount(); ++i)
            out << list->Child(i)->GetAttr(QStringLiteral("NAME")) + QLatin1Char('=')
                    + list->Child(i)->GetAttr(QStringLiteral("PATH"));
        return out;
    }

    TOrbPigger root;
    TOrbPigger* list = nullptr;
    QString location;
    TW_new_database wizard;
};

TEST_F(NewDatabaseWizardTest, ButtonsAndFieldsFollowTheChoices)
{
    wizard.Prepare(list);
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("New database wizard"));
    EXPECT_EQ(wizard.CurrentPage(), 0);
    EXPECT_FALSE(wizard.btnNext->isEnabled());
    EXPECT_FALSE(wizard.btnPrev->isEnabled());
    EXPECT_FALSE(wizard.OrbFileEdit1->isEnabled());
    wizard.Edit_DB_name->setText(QStringLiteral("   "));
    EXPECT_FALSE(wizard.btnNext->isEnabled());
    wizard.Edit_DB_name->setText(QStringLiteral("Work"));
    EXPECT_TRUE(wizard.btnNext->isEnabled());
    wizard.RB_from_archive->click();
    EXPECT_TRUE(wizard.OrbFileEdit1->isEnabled());
    EXPECT_FALSE(wizard.btnNext->isEnabled()) << "an archive is needed";
    wizard.OrbFileEdit1->setText(QStringLiteral("a.qba"));
    EXPECT_TRUE(wizard.btnNext->isEnabled());
    wizard.RB_new_database->click();
    EXPECT_FALSE(wizard.OrbFileEdit1->isEnabled());

    wizard.GoToPage(TW_new_database::PasswordPage);
    EXPECT_FALSE(wizard.EditNewPwd1->isEnabled());
    wizard.CB_is_protected->click();
    EXPECT_TRUE(wizard.EditNewPwd1->isEnabled());
    EXPECT_TRUE(wizard.EditNewPwd2->isEnabled());
    wizard.GoToPage(TW_new_database::ReadyPage);
    EXPECT_FALSE(wizard.btnFinish->isEnabled()) << "protected without passwords";
    wizard.EditNewPwd1->setText(QStringLiteral("ABC"));
    wizard.EditNewPwd2->setText(QStringLiteral("ABD"));
    EXPECT_FALSE(wizard.btnFinish->isEnabled());
    wizard.EditNewPwd2->setText(QStringLiteral("ABC"));
    EXPECT_TRUE(wizard.btnFinish->isEnabled());
    EXPECT_EQ(wizard.E_IS_PP->text(), QStringLiteral("YES"));

    // Choosing the archive clears the protection: the archive keeps its own.
    wizard.GoToPage(0);
    wizard.RB_from_archive->click();
    EXPECT_FALSE(wizard.CB_is_protected->isChecked());
    EXPECT_FALSE(wizard.EditNewPwd1->isEnabled());
}

TEST_F(NewDatabaseWizardTest, TheKeyboardFillsEachPageAndEnterGoesOn)
{
    OnModal<TW_new_database>([this](TW_new_database* w) {
        EXPECT_EQ(w->focusWidget(), w->Edit_DB_name);
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_EQ(w->CurrentPage(), int(TW_new_database::NamePage)) << "Next is disabled without a name";
        QTest::keyClicks(w->focusWidget(), QStringLiteral("Keys"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_EQ(w->CurrentPage(), int(TW_new_database::LocationPage));
        EXPECT_EQ(w->focusWidget(), w->SB_location);
        DialogScript::QueueFileNames({location});
        QTest::keyClick(w->focusWidget(), Qt::Key_Space);
        QTest::keyClick(w->focusWidget(), Qt::Key_Enter);
        EXPECT_EQ(w->focusWidget(), w->CB_is_protected);
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_EQ(w->CurrentPage(), int(TW_new_database::ReadyPage));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    });
    const TW_new_database::Result r = wizard.CreateDatabase(list);
    ASSERT_NE(r.entry, nullptr) << "Enter on the last page is Ok";
    EXPECT_EQ(r.entry->GetAttr(QStringLiteral("PATH")), location + QStringLiteral("/Keys"));
}

TEST_F(NewDatabaseWizardTest, TheFirstLocationIsAFolderTheUserCanWrite)
{
    const auto only = [](const QString& ok) { return [ok](const QString& folder) { return folder == ok; }; };
    EXPECT_EQ(
        WizardRules::InitialLocation(QStringLiteral("/srv/a/b"), QStringLiteral("/h"), only(QStringLiteral("/srv/a"))),
        QStringLiteral("/srv/a"));
    EXPECT_EQ(WizardRules::InitialLocation(QStringLiteral("/home/me"), QStringLiteral("/home/me"),
                                           only(QStringLiteral("/srv"))),
              QStringLiteral("/home/me"));
    EXPECT_EQ(WizardRules::InitialLocation(QStringLiteral("/"), QStringLiteral("/h"), only(QStringLiteral("/"))),
              QStringLiteral("/"));
}

TEST_F(NewDatabaseWizardTest, TypedLettersStandInUpperCase)
{
    wizard.Prepare(list);
    wizard.GoToPage(TW_new_database::PasswordPage);
    wizard.CB_is_protected->click();
    QTest::keyClicks(wizard.EditNewPwd1, QStringLiteral("se1cret"));
    EXPECT_EQ(wizard.EditNewPwd1->text(), QStringLiteral("SE1CRET"));
    EXPECT_EQ(wizard.EditNewPwd1->echoMode(), QLineEdit::Password);
    QTest::keyClick(wizard.EditNewPwd1, Qt::Key_Home);
    QTest::keyClicks(wizard.EditNewPwd1, QStringLiteral("x"));
    EXPECT_EQ(wizard.EditNewPwd1->text(), QStringLiteral("XSE1CRET")) << "the cursor stays where typing was";
}

TEST_F(NewDatabaseWizardTest, ArchivePassesOverThePasswordPageBothWays)
{
    wizard.Prepare(list);
    wizard.Edit_DB_name->setText(QStringLiteral(" Work "));
    wizard.RB_from_archive->click();
    wizard.OrbFileEdit1->setText(QStringLiteral("/some where/a.qba"));
    wizard.btnNext->click();
    EXPECT_EQ(wizard.CurrentPage(), 1);
    wizard.btnNext->click();
    EXPECT_EQ(wizard.CurrentPage(), 3);
    EXPECT_EQ(wizard.E_DB_name->text(), QStringLiteral(" Work ")) << "as typed";
    EXPECT_EQ(wizard.E_IS_PP->text(), QStringLiteral("Inherited from the archive"));
    EXPECT_EQ(wizard.E_FROM_ARC->text(), QStringLiteral("/some where/a.qba"));
    EXPECT_TRUE(wizard.E_DB_location->text().endsWith(QLatin1Char('/')));
    wizard.btnPrev->click();
    EXPECT_EQ(wizard.CurrentPage(), 1);
    EXPECT_EQ(wizard.PreviousPage, 2);

    wizard.RB_new_database->click();
    wizard.btnNext->click();
    EXPECT_EQ(wizard.CurrentPage(), 2) << "a new database stops there";
    wizard.btnNext->click();
    EXPECT_EQ(wizard.E_IS_PP->text(), QStringLiteral("NO"));
    EXPECT_EQ(wizard.E_FROM_ARC->text(), QStringLiteral("NO"));
}

TEST_F(NewDatabaseWizardTest, CreatesAProtectedDatabaseThatOpensWithItsPassword)
{
    FillIn(QStringLiteral("  Мій архів  "));
    wizard.btnPrev->click();
    wizard.CB_is_protected->click();
    QTest::keyClicks(wizard.EditNewPwd1, QStringLiteral("secret"));
    QTest::keyClicks(wizard.EditNewPwd2, QStringLiteral("secret"));
    wizard.btnNext->click();
    ASSERT_TRUE(wizard.btnFinish->isEnabled());
    Finish();

    const QString folder = location + QStringLiteral("/Мій архів");
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("Congratulations!\nDatabasse \"  Мій архів  \" has been successfully created."));
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Мій архів=") + folder});
    const TW_new_database::Result r = wizard.Results();
    ASSERT_EQ(r.entry, list->Child(0));
    EXPECT_EQ(r.password, QStringLiteral("SECRET"));
    EXPECT_EQ(wizard.ProgressBar2->value(), 100);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{TDatabaseConnection::FileName});
    // Private to the user, the database file also after its password went on.
    const auto mode = [](const QString& path) { return int(QFileInfo(path).permissions() & 0x7077); };
    EXPECT_EQ(mode(folder), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(mode(QDir(folder).filePath(TDatabaseConnection::FileName)),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("SECRET")), 0);
    EXPECT_THROW(qbtest::CountDocuments(folder, QStringLiteral("secret")), QbError);
    EXPECT_THROW(qbtest::CountDocuments(folder, QString()), QbError);
}

TEST_F(NewDatabaseWizardTest, AnExistingFolderIsNeverWrittenInto)
{
    const QString existing = location + QStringLiteral("/Work");
    ASSERT_TRUE(QDir(location).mkdir(QStringLiteral("Work")));
    WriteAll(existing + QStringLiteral("/Docs.db"), QByteArray("precious bytes"));

    FillIn(QStringLiteral("Work"));
    Finish();
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Directory \"Work\"\nalready exists.\nTry again please."));
    EXPECT_EQ(ReadAll(existing + QStringLiteral("/Docs.db")), QByteArray("precious bytes"));
    EXPECT_TRUE(Entries().isEmpty());
    EXPECT_EQ(wizard.Results().entry, nullptr);
    EXPECT_TRUE(wizard.Results().password.isEmpty());
}

TEST_F(NewDatabaseWizardTest, ANameThatLeavesTheLocationIsRefused)
{
    const QString inner = location + QStringLiteral("/inner");
    ASSERT_TRUE(QDir(location).mkdir(QStringLiteral("inner")));
    location = inner;
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("../escaped"), QStringLiteral("a/b")}) {
        FillIn(name);
        Finish();
        EXPECT_TRUE(DialogScript::LastShown().startsWith(QStringLiteral("Can not create directory")))
            << name.toStdString();
        EXPECT_TRUE(Entries().isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(inner).absolutePath() + QStringLiteral("/escaped")));
    EXPECT_TRUE(QDir(inner).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(NewDatabaseWizardTest, RebuildsADatabaseFromAnArchiveWithItsProtection)
{
    TempDatabase source(QStringLiteral("OLDPW"));
    TDocStore(source.Connection).CreateDocumentRecord(QStringLiteral("letter"), QStringLiteral("TXT"));
    source.Connection.Close();
    const QString archive = FreshFolder(QStringLiteral("arc архів")) + QStringLiteral("/Work.qba");
    ASSERT_EQ(BackRest::BackupFolder(source.Folder, archive), BackRest::Ok);

    FillIn(QStringLiteral("Copy"), archive);
    EXPECT_FALSE(wizard.CB_is_protected->isChecked());
    Finish();

    const QString folder = location + QStringLiteral("/Copy");
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("Database \"Copy\" \nhas been created from the archive \n\"%1\"").arg(archive));
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("Copy=") + folder});
    EXPECT_TRUE(wizard.Results().password.isEmpty());
    EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("OLDPW")), 1);
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/Docs.db")), ReadAll(source.Folder + QStringLiteral("/Docs.db")));
}

TEST_F(NewDatabaseWizardTest, RefusesTheArchivesOwnFolderAndLeavesNothingAfterAFailedRestore)
{
    const QString beside = location + QStringLiteral("/Work");
    ASSERT_TRUE(QDir(location).mkdir(QStringLiteral("Work")));
    const QString archive = beside + QStringLiteral("/Work.qba");
    const QString source = FreshDatabase();
    ASSERT_EQ(BackRest::BackupFolder(source, archive), BackRest::Ok);

    FillIn(QStringLiteral("Work"), archive);
    Finish();
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("The new database can not be created in the folder containing the source archive."));
    EXPECT_EQ(QDir(beside).entryList(QDir::Files), QStringList{QStringLiteral("Work.qba")});
    EXPECT_TRUE(Entries().isEmpty());

    const QString damaged = location + QStringLiteral("/damaged.qba");
    WriteAll(damaged, QByteArray("BACKUX and more"));
    FillIn(QStringLiteral("Other"), damaged);
    Finish();
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Database restore error"));
    EXPECT_FALSE(QFileInfo::exists(location + QStringLiteral("/Other"))) << "the empty folder is taken back";
    EXPECT_TRUE(Entries().isEmpty());
}

TEST_F(NewDatabaseWizardTest, RunsModallyThroughItsButtons)
{
    EXPECT_EQ(wizard.CreateDatabase(nullptr).entry, nullptr);
    EXPECT_TRUE(DialogScript::Shown().isEmpty()) << "nothing shown without a list";

    OnModal<TW_new_database>([this](TW_new_database* w) {
        QTest::keyClicks(w->Edit_DB_name, QStringLiteral("Plain"));
        w->btnNext->click();
        DialogScript::QueueFileNames({location});
        w->SB_location->click();
        w->btnNext->click();
        w->btnNext->click();
        w->btnFinish->click();
    });
    const TW_new_database::Result r = wizard.CreateDatabase(list);
    ASSERT_NE(r.entry, nullptr);
    EXPECT_EQ(r.entry->GetAttr(QStringLiteral("PATH")), location + QStringLiteral("/Plain"));
    EXPECT_EQ(qbtest::CountDocuments(location + QStringLiteral("/Plain"), QString()), 0);

    // A second run starts empty and Cancel adds nothing.
    OnModal<TW_new_database>([](TW_new_database* w) {
        EXPECT_TRUE(w->Edit_DB_name->text().isEmpty());
        w->btnCancel->click();
    });
    EXPECT_EQ(wizard.CreateDatabase(list).entry, nullptr);
    EXPECT_EQ(list->ChildCount(), 1);
}

} // namespace
