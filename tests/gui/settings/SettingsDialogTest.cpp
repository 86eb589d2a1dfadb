#include "core/database/PrivacyLock.h"
#include "core/documents/FakeObjectServer.h"
#include "core/settings/SettingsFile.h"
#include "gui/intake/OleServers.h"
#include "gui/widgets/ClipboardGuard.h"
#include "support/AppFixture.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using qbtest::AppFixture;

namespace {

class SettingsDialogTest : public AppFixture
{
protected:
    QString Attr(const char* key) const { return Root().GetAttr(QString::fromLatin1(key)); }
};

TEST_F(SettingsDialogTest, FirstStartShowsDefaultsAndStoresTheRaisedAttemptsCount)
{
    StartApp();
    EXPECT_EQ(Settings()->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(Settings()->PageControl1->currentWidget(), Settings()->TabSheet_about) << "About is shown first";
    EXPECT_FALSE(Settings()->PageControl1->isTabVisible(3)) << "the drag-n-drop tab is hidden";
    EXPECT_EQ(Settings()->RadioGroupIndex(), 1);
    EXPECT_EQ(Settings()->TrackBar1->value(), 900);
    EXPECT_EQ(Settings()->Label_delay->text(), QStringLiteral("900"));
    EXPECT_TRUE(Settings()->Rb_restrict->isChecked());
    EXPECT_FALSE(Settings()->SE_attempts->isEnabled());
    EXPECT_EQ(Settings()->SE_attempts->value(), 2);
    EXPECT_EQ(Attr("FATTEMPTS"), QStringLiteral("2"));
    EXPECT_TRUE(Attr("DELAY").isEmpty()) << "an unchanged slider writes nothing";
    for (const char* key : {"LOCK_IDLE_MINUTES", "LOCK_ON_SCREEN_LOCK", "LOCK_ON_SUSPEND", "CLIPBOARD_CLEAR_SECONDS"})
        EXPECT_TRUE(Attr(key).isEmpty()) << key;
    EXPECT_EQ(Settings()->SE_lock_idle->text(), QStringLiteral("never"));
    EXPECT_EQ(Settings()->Model().AttemptsLimit(), -1);
}

TEST_F(SettingsDialogTest, ControlsCarryTheirNames)
{
    StartApp();
    for (const char* name : {"PageControl1",
                             "TabSheet_position",
                             "TabSheet_OLE",
                             "TabSheet1",
                             "TabSheet_drag_n_drop",
                             "TabSheet_security",
                             "TabSheet_about",
                             "RadioGroup1",
                             "Panel1",
                             "Shape1",
                             "TrackBar1",
                             "Label_delay",
                             "CB_open_last_used",
                             "Rb_restrict",
                             "RB_default_db",
                             "CB_default_db",
                             "RB_drop_db",
                             "SE_attempts",
                             "CB_default_invisible",
                             "SE_lock_idle",
                             "CB_lock_on_screen_lock",
                             "CB_lock_on_suspend",
                             "SE_clipboard_clear",
                             "O_about1",
                             "OKBtn",
                             "CancelBtn"})
        EXPECT_NE(Settings()->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    const QStringList pages{QStringLiteral("Position"),    QStringLiteral("OLE servers"), QStringLiteral("Application"),
                            QStringLiteral("Drag-n-drop"), QStringLiteral("Security"),    QStringLiteral("About")};
    ASSERT_EQ(Settings()->PageControl1->count(), pages.size());
    for (int i = 0; i < pages.size(); ++i)
        EXPECT_EQ(Settings()->PageControl1->tabText(i), pages[i]);
}

TEST_F(SettingsDialogTest, DelayAppliesOnlyStrictlyBetweenTheEnds)
{
    for (const char* stored : {"200", "1000", "900", "abc"}) {
        StartApp(QByteArray("<SETTINGS DELAY=\"").append(stored).append("\"/>").constData());
        EXPECT_EQ(Settings()->TrackBar1->value(), 900) << stored;
        EXPECT_EQ(Main()->Timer1->interval(), 1000) << stored;
        TearDown();
    }
    StartApp("<SETTINGS DELAY=\"450\"/>");
    EXPECT_EQ(Settings()->TrackBar1->value(), 450);
    EXPECT_EQ(Settings()->Label_delay->text(), QStringLiteral("450"));
    EXPECT_EQ(Main()->Timer1->interval(), 450);

    Settings()->TrackBar1->setValue(1000);
    EXPECT_EQ(Settings()->Label_delay->text(), QStringLiteral("1000"));
    EXPECT_EQ(Attr("DELAY"), QStringLiteral("1000"));
    EXPECT_EQ(Main()->Timer1->interval(), 1000);
}

TEST_F(SettingsDialogTest, DropPolicyAsksWhileVisibleAndNoFallsBackToRestrict)
{
    StartApp();
    Settings()->show();
    DialogScript::QueueAnswers({false});
    Settings()->RB_drop_db->click();
    EXPECT_EQ(
        DialogScript::LastShown(),
        QStringLiteral("ATTENTION!\nDatabase will be droped without confirmation\nAfter 2 attempts to open it with "
                       "incorrect password.\nAre you sure you really want this?"));
    EXPECT_TRUE(Settings()->Rb_restrict->isChecked());
    EXPECT_TRUE(Attr("RP_MODE").isEmpty());
    EXPECT_FALSE(Settings()->SE_attempts->isEnabled());

    Settings()->SE_attempts->setValue(4);
    DialogScript::QueueAnswers({true});
    Settings()->RB_drop_db->click();
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("After 4 attempts")));
    EXPECT_EQ(Attr("RP_MODE"), QStringLiteral("DROP_DB"));
    EXPECT_TRUE(Settings()->SE_attempts->isEnabled());
    EXPECT_EQ(Settings()->Model().AttemptsLimit(), 4);
    Settings()->hide();
}

TEST_F(SettingsDialogTest, HiddenDialogDoesNotAskWhenTheTreeSaysDrop)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"9\"/>");
    EXPECT_TRUE(DialogScript::Shown().isEmpty());
    EXPECT_TRUE(Settings()->RB_drop_db->isChecked());
    EXPECT_EQ(Settings()->Model().AttemptsLimit(), 5) << "brought into 2..5";
    EXPECT_EQ(Attr("FATTEMPTS"), QStringLiteral("5"));
}

TEST_F(SettingsDialogTest, CancelRestoresTheDropPolicyWithoutAsking)
{
    StartApp("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"3\"/>");
    Settings()->show();
    Settings()->Rb_restrict->click();
    EXPECT_TRUE(Attr("RP_MODE").isEmpty());
    DialogScript::QueueAnswers({false}); // a No to a question that must not come
    Settings()->CancelBtn->click();
    EXPECT_TRUE(DialogScript::Shown().isEmpty()) << DialogScript::LastShown().toStdString();
    EXPECT_TRUE(Settings()->RB_drop_db->isChecked());
    EXPECT_EQ(Attr("RP_MODE"), QStringLiteral("DROP_DB"));
}

TEST_F(SettingsDialogTest, OpensCentredOnTheScreenWithAFixedBorder)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"300\" HEIGHT=\"200\" LEFT=\"0\" TOP=\"0\"/>");
    Main()->show();
    Main()->ApplyPlacement();
    Settings()->show();
    const QPoint centre = Settings()->screen()->availableGeometry().center();
    EXPECT_LE((Settings()->frameGeometry().center() - centre).manhattanLength(), 2);
    EXPECT_EQ(Settings()->minimumSize(), Settings()->maximumSize());
    EXPECT_FALSE(Settings()->windowFlags() & Qt::WindowMaximizeButtonHint);
    Settings()->hide();
}

TEST_F(SettingsDialogTest, DefaultDatabaseChoiceStoresTheNameAndWarnsNamingItTwice)
{
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"work\"><BASE_LIST><BASE NAME=\"Home\"/>"
             "<OTHER NAME=\"not a base\"/><BASE NAME=\"Work\"/><BASE/></BASE_LIST></SETTINGS>");
    EXPECT_TRUE(Settings()->RB_default_db->isChecked());
    EXPECT_TRUE(Settings()->CB_default_db->isEnabled());
    ASSERT_EQ(Settings()->CB_default_db->count(), 3) << "only BASE entries, the nameless one too";
    EXPECT_EQ(Settings()->CB_default_db->currentText(), QStringLiteral("Work")) << "selected ignoring case";

    Q_EMIT Settings()->CB_default_db->activated(0);
    EXPECT_EQ(Attr("DEFAULT_DB"), QStringLiteral("Home"));
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("To open the \"Home\" database\ninstead of the protected one\n"
                             "make sure that the \"Home\" is not\nprotected by password."));
}

TEST_F(SettingsDialogTest, OpenDefaultWithoutDefaultShowsRestrictButKeepsTheAttribute)
{
    StartApp("<SETTINGS RP_MODE=\"OPEN_DEFAULT\"/>");
    EXPECT_TRUE(Settings()->Rb_restrict->isChecked());
    EXPECT_EQ(Attr("RP_MODE"), QStringLiteral("OPEN_DEFAULT")) << "already checked: no handler ran";
}

TEST_F(SettingsDialogTest, CheckBoxesWriteYOrRemove)
{
    StartApp("<SETTINGS OPEN_LAST_USED=\"Y\" DEFAULT_INVISIBLE=\"y\"/>");
    EXPECT_TRUE(Settings()->Model().OpenLastUsedWanted());
    EXPECT_FALSE(Settings()->Model().DefaultHidden()) << "flags compare exactly";
    Settings()->CB_open_last_used->click();
    EXPECT_TRUE(Attr("OPEN_LAST_USED").isEmpty());
    Settings()->CB_default_invisible->click();
    EXPECT_EQ(Attr("DEFAULT_INVISIBLE"), QStringLiteral("Y"));
}

// The lock and clipboard controls show the file, write only what the user changes ("never" and
// unchecked remove the attribute), apply at once, and Cancel brings the file's values back.
TEST_F(SettingsDialogTest, PrivacyControlsReadWriteAndApplyTheirAttributes)
{
    StartApp("<SETTINGS LOCK_IDLE_MINUTES=\"15\" LOCK_ON_SUSPEND=\"Y\" CLIPBOARD_CLEAR_SECONDS=\"abc\"/>");
    TD_SB_settings* d = Settings();
    EXPECT_EQ(d->SE_lock_idle->value(), 15);
    EXPECT_FALSE(d->CB_lock_on_screen_lock->isChecked());
    EXPECT_TRUE(d->CB_lock_on_suspend->isChecked());
    EXPECT_EQ(d->SE_clipboard_clear->value(), 0);
    EXPECT_EQ(Attr("CLIPBOARD_CLEAR_SECONDS"), QStringLiteral("abc")) << "an unchanged control writes nothing";

    struct Row
    {
        std::function<void()> change;
        const char* key;
        const char* stored;
    };
    const Row rows[] = {
        {[d] { d->SE_lock_idle->setValue(0); }, "LOCK_IDLE_MINUTES", ""},
        {[d] { d->CB_lock_on_screen_lock->click(); }, "LOCK_ON_SCREEN_LOCK", "Y"},
        {[d] { d->CB_lock_on_suspend->click(); }, "LOCK_ON_SUSPEND", ""},
        {[d] { d->SE_clipboard_clear->setValue(45); }, "CLIPBOARD_CLEAR_SECONDS", "45"},
    };
    for (const Row& r : rows) {
        r.change();
        EXPECT_EQ(Attr(r.key), QString::fromLatin1(r.stored)) << r.key;
    }
    EXPECT_EQ(Main()->Lock->IdleMinutes(), 0);
    EXPECT_TRUE(Main()->Lock->LockOnScreenLock);
    EXPECT_FALSE(Main()->Lock->LockOnSuspend);
    EXPECT_EQ(Windows().ClipboardGuard->ClearSeconds(), 45);

    d->CancelBtn->click();
    EXPECT_EQ(Attr("LOCK_IDLE_MINUTES"), QStringLiteral("15"));
    EXPECT_TRUE(Attr("LOCK_ON_SCREEN_LOCK").isEmpty());
    EXPECT_EQ(Attr("LOCK_ON_SUSPEND"), QStringLiteral("Y"));
    EXPECT_EQ(Main()->Lock->IdleMinutes(), 15);
    EXPECT_EQ(Windows().ClipboardGuard->ClearSeconds(), 0);
}

TEST_F(SettingsDialogTest, CancelRestoresTheTreeAndLeavesTheWindowOkMovesIt)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"500\" HEIGHT=\"300\" LEFT=\"20\" TOP=\"30\"/>");
    Main()->show();
    Main()->ApplyPlacement();
    const QRect before = Main()->frameGeometry();

    Settings()->RadioGroup1Buttons->button(0)->click();
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("0"));
    Settings()->CancelBtn->click();
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("4"));
    EXPECT_EQ(Settings()->RadioGroupIndex(), 4);
    EXPECT_EQ(Main()->frameGeometry(), before);

    // Escape is "Cancel" too.
    Settings()->RadioGroup1Buttons->button(2)->click();
    Settings()->show();
    QTest::keyClick(Settings(), Qt::Key_Escape);
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("4"));

    Settings()->RadioGroup1Buttons->button(0)->click();
    Settings()->OKBtn->click();
    EXPECT_EQ(Main()->frameGeometry().top(), Main()->screen()->availableGeometry().top()) << "docked at the top";
    EXPECT_EQ(Main()->Splitter1->orientation(), Qt::Horizontal);
    TSettingsFile saved;
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("ALIGN")), QStringLiteral("0"));
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("WIDTH")), QStringLiteral("500")) << "stored before it moved";
}

TEST_F(SettingsDialogTest, CloseBoxKeepsChangesInTheTreeOnly)
{
    StartApp("<SETTINGS ALIGN=\"4\"/>");
    const QByteArray file = SettingsFileBytes();
    Settings()->show();
    Settings()->RadioGroup1Buttons->button(3)->click();
    Settings()->close();
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("3"));
    EXPECT_EQ(SettingsFileBytes(), file);
}

TEST_F(SettingsDialogTest, CollapsedWindowPlacementIsNotStored)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"500\" HEIGHT=\"300\" LEFT=\"20\" TOP=\"30\"/>");
    Main()->show();
    Main()->ApplyPlacement();
    Main()->SetCollapsed(true);
    Settings()->OKBtn->click();
    EXPECT_EQ(Attr("WIDTH"), QStringLiteral("500"));
    DestroyWindows();
    TSettingsFile saved;
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("WIDTH")), QStringLiteral("500")) << "nor at the end";
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("HEIGHT")), QStringLiteral("300"));
}

TEST_F(SettingsDialogTest, AlignOutOfRangeIsBroughtIntoTheGroup)
{
    StartApp("<SETTINGS ALIGN=\"9\"/>");
    EXPECT_EQ(Settings()->RadioGroupIndex(), 5);
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("5"));
    TearDown();
    StartApp("<SETTINGS ALIGN=\"-2\"/>");
    EXPECT_EQ(Settings()->RadioGroupIndex(), -1);

    // Shown again with nothing selected (Cancel reloads the file): still nothing selected.
    Settings()->CancelBtn->click();
    EXPECT_EQ(Settings()->RadioGroupIndex(), -1);
    EXPECT_EQ(Settings()->RadioGroup1Buttons->checkedButton(), nullptr);
}

TEST_F(SettingsDialogTest, TruncatedSettingsFileIsKeptAsideAndReplacedByDefaults)
{
    StartApp("\r\n<SETTINGS ALIGN=\"2\">\r\n\t<BASE_LIST>\r\n\t\t<BASE NAME=\"Priv");
    EXPECT_EQ(SettingsFileBytes(),
              QByteArray("\r\n<SETTINGS ALIGN=\"1\">\r\n\t<OLE_SERVERS/>\r\n\t<BASE_LIST/>\r\n</SETTINGS>"));
    EXPECT_NE(Settings()->Model().BaseListNode(), nullptr);
    EXPECT_EQ(Settings()->RadioGroupIndex(), 1);
    QFile bad(TSettingsFile::SettingsFileName() + QStringLiteral(".bad"));
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_TRUE(bad.readAll().contains("Priv"));
}

TEST_F(SettingsDialogTest, ServerPageChoosesWithoutTouchingTheViewersObject)
{
    StartApp();
    qbtest::AddFakeServer(QStringLiteral("org.example.Shown"), "exit 0");
    qbtest::AddFakeServer(QStringLiteral("org.example.Added"), "exit 0");
    TOleContainer* viewer = Main()->ViewerContainer();
    viewer->CreateFromClass(QStringLiteral("org.example.Shown"));
    TOleContainer::SetObjectChooser([] { return QStringLiteral("org.example.Added"); });
    Settings()->ShowSettings();
    Settings()->OOLEServers1->BtnAddClick();
    TOleContainer::SetObjectChooser(nullptr);

    EXPECT_EQ(Settings()->findChild<QTreeWidget*>()->topLevelItemCount(), 1) << "the server was added";
    EXPECT_EQ(viewer->ObjectClassName(), QStringLiteral("org.example.Shown")) << "the viewer keeps its object";
    EXPECT_NE(viewer->ObjectState(), TOleContainer::osEmpty);
}

} // namespace
