#include "core/database/DatabaseActions.h"
#include "core/database/DatabaseSession.h"
#include "core/settings/SettingsModel.h"
#include "gui/database/wz_new_database.h"
#include "gui/widgets/OrbFileEdit.h"
#include "support/Child.h"
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
        QFile::remove(TSettingsFile::SettingsFileName()); // an earlier test's databases
        settings.Load();
        location = FreshFolder(QStringLiteral("place місце"));
    }
    void TearDown() override { DialogScript::Stop(); }

    // Name page filled, the location chosen, and the wizard on the ready page.
    void FillIn(const QString& name, const QString& archive = QString())
    {
        wizard.Prepare();
        Part<QLineEdit>("Edit_DB_name")->setText(name);
        if (!archive.isEmpty()) {
            Part<QRadioButton>("RB_from_archive")->click();
            Part<TOrbFileEdit>("OrbFileEdit1")->setText(archive);
        }
        Part("btnNext")->click();
        DialogScript::QueueFileNames({location});
        Part<QToolButton>("SB_location")->click();
        Part("btnNext")->click();
        if (archive.isEmpty())
            Part("btnNext")->click();
        ASSERT_EQ(wizard.CurrentPage(), int(TW_new_database::ReadyPage));
    }

    // Ok, and a restore it started run to its end.
    void Finish()
    {
        Part("btnFinish")->click();
        for (int i = 0; i < 12000 && wizard.Busy(); ++i)
            QTest::qWait(5);
        ASSERT_FALSE(wizard.Busy());
    }

    TSettingsModel settings;
    TDatabaseSession session{settings};
    TDatabaseActions actions{session};
    QString location;
    TW_new_database wizard{actions};
    template <class T = QPushButton> T* Part(const char* name) { return Child<T>(&wizard, name); }
};

TEST_F(NewDatabaseWizardTest, ButtonsAndFieldsFollowTheChoices)
{
    wizard.Prepare();
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("New database wizard"));
    EXPECT_EQ(wizard.CurrentPage(), 0);
    EXPECT_FALSE(Part("btnNext")->isEnabled());
    EXPECT_FALSE(Part("btnPrev")->isEnabled());
    EXPECT_FALSE(Part<TOrbFileEdit>("OrbFileEdit1")->isEnabled());
    // Which fields the buttons need is WizardRulesTest's; here that they follow the fields.
    Part<QLineEdit>("Edit_DB_name")->setText(QStringLiteral("Work"));
    EXPECT_TRUE(Part("btnNext")->isEnabled());
    Part<QRadioButton>("RB_from_archive")->click();
    EXPECT_TRUE(Part<TOrbFileEdit>("OrbFileEdit1")->isEnabled());
    EXPECT_FALSE(Part("btnNext")->isEnabled()) << "an archive is needed";
    Part<QRadioButton>("RB_new_database")->click();
    EXPECT_FALSE(Part<TOrbFileEdit>("OrbFileEdit1")->isEnabled());

    wizard.GoToPage(TW_new_database::PasswordPage);
    EXPECT_FALSE(Part<QLineEdit>("EditNewPwd1")->isEnabled());
    Part<QCheckBox>("CB_is_protected")->click();
    EXPECT_TRUE(Part<QLineEdit>("EditNewPwd1")->isEnabled());
    EXPECT_TRUE(Part<QLineEdit>("EditNewPwd2")->isEnabled());
    wizard.GoToPage(TW_new_database::ReadyPage);
    EXPECT_FALSE(Part("btnFinish")->isEnabled()) << "protected without passwords";
    Part<QLineEdit>("EditNewPwd1")->setText(QStringLiteral("ABC"));
    Part<QLineEdit>("EditNewPwd2")->setText(QStringLiteral("ABC"));
    EXPECT_TRUE(Part("btnFinish")->isEnabled());
    EXPECT_EQ(Part<QLineEdit>("E_IS_PP")->text(), QStringLiteral("YES"));

    // Choosing the archive clears the protection: the archive keeps its own.
    wizard.GoToPage(0);
    Part<QRadioButton>("RB_from_archive")->click();
    EXPECT_FALSE(Part<QCheckBox>("CB_is_protected")->isChecked());
    EXPECT_FALSE(Part<QLineEdit>("EditNewPwd1")->isEnabled());
}

TEST_F(NewDatabaseWizardTest, TheKeyboardFillsEachPageAndEnterGoesOn)
{
    OnModal<TW_new_database>([this](TW_new_database* w) {
        EXPECT_EQ(w->focusWidget(), Part<QLineEdit>("Edit_DB_name"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_EQ(w->CurrentPage(), int(TW_new_database::NamePage)) << "Next is disabled without a name";
        QTest::keyClicks(w->focusWidget(), QStringLiteral("Keys"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_EQ(w->CurrentPage(), int(TW_new_database::LocationPage));
        EXPECT_EQ(w->focusWidget(), Part<QToolButton>("SB_location"));
        DialogScript::QueueFileNames({location});
        QTest::keyClick(w->focusWidget(), Qt::Key_Space);
        QTest::keyClick(w->focusWidget(), Qt::Key_Enter);
        EXPECT_EQ(w->focusWidget(), Part<QCheckBox>("CB_is_protected"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        EXPECT_EQ(w->CurrentPage(), int(TW_new_database::ReadyPage));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(wizard.CreateDatabase().path, location + QStringLiteral("/Keys")) << "Enter on the last page is Ok";
}

TEST_F(NewDatabaseWizardTest, TypedLettersStandInUpperCase)
{
    wizard.Prepare();
    wizard.GoToPage(TW_new_database::PasswordPage);
    Part<QCheckBox>("CB_is_protected")->click();
    auto* field = Part<QLineEdit>("EditNewPwd1");
    QTest::keyClicks(field, QStringLiteral("se1cret"));
    EXPECT_EQ(field->text(), QStringLiteral("SE1CRET"));
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClicks(field, QStringLiteral("x"));
    EXPECT_EQ(field->text(), QStringLiteral("XSE1CRET")) << "the cursor stays where typing was";
}

TEST_F(NewDatabaseWizardTest, ArchivePassesOverThePasswordPageBothWays)
{
    wizard.Prepare();
    Part<QLineEdit>("Edit_DB_name")->setText(QStringLiteral(" Work "));
    Part<QRadioButton>("RB_from_archive")->click();
    Part<TOrbFileEdit>("OrbFileEdit1")->setText(QStringLiteral("/some where/a.qba"));
    Part("btnNext")->click();
    EXPECT_EQ(wizard.CurrentPage(), 1);
    Part("btnNext")->click();
    EXPECT_EQ(wizard.CurrentPage(), 3);
    EXPECT_EQ(Part<QLineEdit>("E_DB_name")->text(), QStringLiteral(" Work ")) << "as typed";
    EXPECT_EQ(Part<QLineEdit>("E_IS_PP")->text(), QStringLiteral("Inherited from the archive"));
    EXPECT_EQ(Part<QLineEdit>("E_FROM_ARC")->text(), QStringLiteral("/some where/a.qba"));
    EXPECT_TRUE(Part<QLineEdit>("E_DB_location")->text().endsWith(QLatin1Char('/')));
    Part("btnPrev")->click();
    EXPECT_EQ(wizard.CurrentPage(), 1);
    EXPECT_EQ(wizard.PreviousPage(), 2);

    Part<QRadioButton>("RB_new_database")->click();
    Part("btnNext")->click();
    EXPECT_EQ(wizard.CurrentPage(), 2) << "a new database stops there";
    Part("btnNext")->click();
    EXPECT_EQ(Part<QLineEdit>("E_IS_PP")->text(), QStringLiteral("NO"));
    EXPECT_EQ(Part<QLineEdit>("E_FROM_ARC")->text(), QStringLiteral("NO"));
}

// The making itself, and how it fails, is DatabaseSessionTest's; here what the wizard hands over.
TEST_F(NewDatabaseWizardTest, HandsOverTheTypedPasswordOrTheArchiveAndShowsTheEnd)
{
    FillIn(QStringLiteral("  Мій архів  "));
    Part("btnPrev")->click();
    Part<QCheckBox>("CB_is_protected")->click();
    QTest::keyClicks(Part<QLineEdit>("EditNewPwd1"), QStringLiteral("secret"));
    QTest::keyClicks(Part<QLineEdit>("EditNewPwd2"), QStringLiteral("secret"));
    Part("btnNext")->click();
    ASSERT_TRUE(Part("btnFinish")->isEnabled());
    Finish();
    const QString folder = location + QStringLiteral("/Мій архів");
    EXPECT_EQ(wizard.Results().name, QStringLiteral("Мій архів"));
    EXPECT_EQ(wizard.Results().path, folder);
    EXPECT_EQ(wizard.Results().password, QStringLiteral("SECRET"));
    EXPECT_EQ(Part<QProgressBar>("ProgressBar2")->value(), 100);
    EXPECT_EQ(qbtest::CountDocuments(folder, QStringLiteral("SECRET")), 0);

    const QString damaged = location + QStringLiteral("/damaged.qba");
    WriteAll(damaged, QByteArray("BACKUX and more"));
    FillIn(QStringLiteral("Other"), damaged);
    Finish();
    EXPECT_TRUE(wizard.Results().name.isEmpty());
}

TEST_F(NewDatabaseWizardTest, RunsModallyThroughItsButtons)
{
    OnModal<TW_new_database>([this](TW_new_database*) {
        QTest::keyClicks(Part<QLineEdit>("Edit_DB_name"), QStringLiteral("Plain"));
        Part("btnNext")->click();
        DialogScript::QueueFileNames({location});
        Part<QToolButton>("SB_location")->click();
        Part("btnNext")->click();
        Part("btnNext")->click();
        Part("btnFinish")->click();
    });
    EXPECT_EQ(wizard.CreateDatabase().path, location + QStringLiteral("/Plain"));

    // A second run starts empty and Cancel adds nothing.
    OnModal<TW_new_database>([](TW_new_database* w) {
        EXPECT_TRUE(Child<QLineEdit>(w, "Edit_DB_name")->text().isEmpty());
        Child<QPushButton>(w, "btnCancel")->click();
    });
    EXPECT_TRUE(wizard.CreateDatabase().path.isEmpty());
    EXPECT_EQ(settings.ListedDatabaseNames().size(), 1);
}

} // namespace
