#include "core/database/PrivacyLock.h"
#include "core/documents/FakeObjectServer.h"
#include "core/settings/SettingsFile.h"
#include "gui/intake/OleServers.h"
#include "gui/widgets/ClipboardGuard.h"
#include "support/AppFixture.h"
#include "support/Child.h"

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

// Most cases need only the settings model and its dialog, made as the program makes them and
// ended with the program's windows; a case that needs the main window starts the program.
class SettingsDialogTest : public AppFixture
{
protected:
    void OpenSettings(const char* settingsText = nullptr)
    {
        PrepareStart(settingsText);
        Windows().Settings = new TSettingsModel;
        Windows().D_SB_settings = new TD_SB_settings(*Windows().Settings);
    }
    template <class T> T* Part(const char* name) const { return qbtest::Child<T>(Settings(), name); }
    QString Attr(const char* key) const { return Root().GetAttr(QString::fromLatin1(key)); }
};

TEST_F(SettingsDialogTest, FirstStartShowsDefaultsAndStoresTheRaisedAttemptsCount)
{
    OpenSettings();
    EXPECT_EQ(Settings()->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(Part<QTabWidget>("PageControl1")->currentWidget(), Part<QWidget>("TabSheet_about")) << "About first";
    EXPECT_FALSE(Part<QTabWidget>("PageControl1")->isTabVisible(3)) << "the drag-n-drop tab is hidden";
    EXPECT_EQ(Settings()->RadioGroupIndex(), 1);
    EXPECT_EQ(Part<QSlider>("TrackBar1")->value(), 900);
    EXPECT_EQ(Part<QLabel>("Label_delay")->text(), QStringLiteral("900"));
    EXPECT_TRUE(Part<QRadioButton>("Rb_restrict")->isChecked());
    EXPECT_FALSE(Part<QSpinBox>("SE_attempts")->isEnabled());
    EXPECT_EQ(Part<QSpinBox>("SE_attempts")->value(), 2);
    EXPECT_EQ(Attr("FATTEMPTS"), QStringLiteral("2"));
    EXPECT_TRUE(Attr("DELAY").isEmpty()) << "an unchanged slider writes nothing";
    for (const char* key : {"LOCK_IDLE_MINUTES", "LOCK_ON_SCREEN_LOCK", "LOCK_ON_SUSPEND", "CLIPBOARD_CLEAR_SECONDS"})
        EXPECT_TRUE(Attr(key).isEmpty()) << key;
    EXPECT_EQ(Part<QSpinBox>("SE_lock_idle")->text(), QStringLiteral("never"));
}

TEST_F(SettingsDialogTest, ControlsCarryTheirNames)
{
    OpenSettings();
    const QString names
        = QStringLiteral("PageControl1 TabSheet_position TabSheet_OLE TabSheet1 TabSheet_drag_n_drop TabSheet_security "
                         "TabSheet_about RadioGroup1 Panel1 Shape1 TrackBar1 Label_delay CB_open_last_used Rb_restrict "
                         "RB_default_db CB_default_db RB_drop_db SE_attempts CB_default_invisible SE_lock_idle "
                         "CB_lock_on_screen_lock CB_lock_on_suspend SE_clipboard_clear O_about1 OKBtn CancelBtn");
    for (const QString& name : names.split(QLatin1Char(' ')))
        EXPECT_NE(Settings()->findChild<QWidget*>(name), nullptr) << name.toStdString();
    const QStringList pages{QStringLiteral("Position"),    QStringLiteral("OLE servers"), QStringLiteral("Application"),
                            QStringLiteral("Drag-n-drop"), QStringLiteral("Security"),    QStringLiteral("About")};
    ASSERT_EQ(Part<QTabWidget>("PageControl1")->count(), pages.size());
    for (int i = 0; i < pages.size(); ++i)
        EXPECT_EQ(Part<QTabWidget>("PageControl1")->tabText(i), pages[i]);
}

TEST_F(SettingsDialogTest, SliderShowsTheStoredDelayAndStoresItsMoves)
{
    OpenSettings("<SETTINGS DELAY=\"450\"/>"); // which values count: the model's own test
    EXPECT_EQ(Part<QSlider>("TrackBar1")->value(), 450);
    EXPECT_EQ(Part<QLabel>("Label_delay")->text(), QStringLiteral("450"));

    Part<QSlider>("TrackBar1")->setValue(1000);
    EXPECT_EQ(Part<QLabel>("Label_delay")->text(), QStringLiteral("1000"));
    EXPECT_EQ(Attr("DELAY"), QStringLiteral("1000"));
}

TEST_F(SettingsDialogTest, DropPolicyAsksWhileVisibleAndNoFallsBackToRestrict)
{
    OpenSettings();
    Settings()->show();
    DialogScript::QueueAnswers({false});
    Part<QRadioButton>("RB_drop_db")->click();
    EXPECT_EQ(
        DialogScript::LastShown(),
        QStringLiteral("ATTENTION!\nDatabase will be droped without confirmation\nAfter 2 attempts to open it with "
                       "incorrect password.\nAre you sure you really want this?"));
    EXPECT_TRUE(Part<QRadioButton>("Rb_restrict")->isChecked());
    EXPECT_TRUE(Attr("RP_MODE").isEmpty());
    EXPECT_FALSE(Part<QSpinBox>("SE_attempts")->isEnabled());

    Part<QSpinBox>("SE_attempts")->setValue(4);
    DialogScript::QueueAnswers({true});
    Part<QRadioButton>("RB_drop_db")->click();
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("After 4 attempts")));
    EXPECT_EQ(Attr("RP_MODE"), QStringLiteral("DROP_DB"));
    EXPECT_TRUE(Part<QSpinBox>("SE_attempts")->isEnabled());
    EXPECT_EQ(Attr("FATTEMPTS"), QStringLiteral("4"));
    Settings()->hide();
}

TEST_F(SettingsDialogTest, HiddenDialogDoesNotAskWhenTheTreeSaysDrop)
{
    OpenSettings("<SETTINGS RP_MODE=\"DROP_DB\"/>");
    EXPECT_TRUE(DialogScript::Shown().isEmpty());
    EXPECT_TRUE(Part<QRadioButton>("RB_drop_db")->isChecked());
}

TEST_F(SettingsDialogTest, CancelRestoresTheDropPolicyWithoutAsking)
{
    OpenSettings("<SETTINGS RP_MODE=\"DROP_DB\" FATTEMPTS=\"3\"/>");
    Settings()->show();
    Part<QRadioButton>("Rb_restrict")->click();
    EXPECT_TRUE(Attr("RP_MODE").isEmpty());
    DialogScript::QueueAnswers({false}); // a No to a question that must not come
    Part<QPushButton>("CancelBtn")->click();
    EXPECT_TRUE(DialogScript::Shown().isEmpty()) << DialogScript::LastShown().toStdString();
    EXPECT_TRUE(Part<QRadioButton>("RB_drop_db")->isChecked());
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
    OpenSettings("<SETTINGS RP_MODE=\"OPEN_DEFAULT\" DEFAULT_DB=\"work\"><BASE_LIST><BASE NAME=\"Home\"/>"
                 "<OTHER NAME=\"not a base\"/><BASE NAME=\"Work\"/><BASE/></BASE_LIST></SETTINGS>");
    auto* list = Part<QComboBox>("CB_default_db");
    EXPECT_TRUE(Part<QRadioButton>("RB_default_db")->isChecked());
    EXPECT_TRUE(list->isEnabled());
    ASSERT_EQ(list->count(), 3) << "only BASE entries, the nameless one too";
    EXPECT_EQ(list->currentText(), QStringLiteral("Work")) << "selected ignoring case";

    Q_EMIT list->activated(0);
    EXPECT_EQ(Attr("DEFAULT_DB"), QStringLiteral("Home"));
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("To open the \"Home\" database\ninstead of the protected one\n"
                             "make sure that the \"Home\" is not\nprotected by password."));
}

TEST_F(SettingsDialogTest, OpenDefaultWithoutDefaultShowsRestrictButKeepsTheAttribute)
{
    OpenSettings("<SETTINGS RP_MODE=\"OPEN_DEFAULT\"/>");
    EXPECT_TRUE(Part<QRadioButton>("Rb_restrict")->isChecked());
    EXPECT_EQ(Attr("RP_MODE"), QStringLiteral("OPEN_DEFAULT")) << "already checked: no handler ran";
}

// The check boxes, the lock and the clipboard controls show the file, write only what the user
// changes ("never" and unchecked remove the attribute), and Cancel brings the file's values back.
TEST_F(SettingsDialogTest, ControlsReadAndWriteTheirAttributes)
{
    OpenSettings("<SETTINGS OPEN_LAST_USED=\"Y\" DEFAULT_INVISIBLE=\"y\" LOCK_IDLE_MINUTES=\"15\" "
                 "LOCK_ON_SUSPEND=\"Y\" CLIPBOARD_CLEAR_SECONDS=\"abc\"/>");
    EXPECT_EQ(Part<QSpinBox>("SE_lock_idle")->value(), 15);
    EXPECT_FALSE(Part<QCheckBox>("CB_lock_on_screen_lock")->isChecked());
    EXPECT_TRUE(Part<QCheckBox>("CB_lock_on_suspend")->isChecked());
    EXPECT_EQ(Part<QSpinBox>("SE_clipboard_clear")->value(), 0);
    EXPECT_EQ(Attr("CLIPBOARD_CLEAR_SECONDS"), QStringLiteral("abc")) << "an unchanged control writes nothing";

    struct Row
    {
        std::function<void()> change;
        const char* key;
        const char* stored;
    };
    const Row rows[] = {
        {[this] { Part<QCheckBox>("CB_open_last_used")->click(); }, "OPEN_LAST_USED", ""},
        {[this] { Part<QCheckBox>("CB_default_invisible")->click(); }, "DEFAULT_INVISIBLE", "Y"},
        {[this] { Part<QSpinBox>("SE_lock_idle")->setValue(0); }, "LOCK_IDLE_MINUTES", ""},
        {[this] { Part<QCheckBox>("CB_lock_on_screen_lock")->click(); }, "LOCK_ON_SCREEN_LOCK", "Y"},
        {[this] { Part<QCheckBox>("CB_lock_on_suspend")->click(); }, "LOCK_ON_SUSPEND", ""},
        {[this] { Part<QSpinBox>("SE_clipboard_clear")->setValue(45); }, "CLIPBOARD_CLEAR_SECONDS", "45"},
    };
    for (const Row& r : rows) {
        r.change();
        EXPECT_EQ(Attr(r.key), QString::fromLatin1(r.stored)) << r.key;
    }

    Part<QPushButton>("CancelBtn")->click();
    EXPECT_EQ(Attr("LOCK_IDLE_MINUTES"), QStringLiteral("15"));
    EXPECT_TRUE(Attr("LOCK_ON_SCREEN_LOCK").isEmpty());
    EXPECT_EQ(Attr("LOCK_ON_SUSPEND"), QStringLiteral("Y"));
    EXPECT_EQ(Part<QSpinBox>("SE_lock_idle")->value(), 15);
}

// The program follows the dialog at once: the preview's pace, the lock and the clipboard; and
// again after Cancel. A stored delay the slider already shows moves nothing.
TEST_F(SettingsDialogTest, ChangesApplyToTheProgramAtOnce)
{
    StartApp("<SETTINGS DELAY=\"900\" LOCK_IDLE_MINUTES=\"15\"/>");
    EXPECT_EQ(qbtest::Child<QTimer>(Main(), "Timer1")->interval(), 1000);
    Part<QSlider>("TrackBar1")->setValue(450);
    EXPECT_EQ(qbtest::Child<QTimer>(Main(), "Timer1")->interval(), 450);
    Part<QSpinBox>("SE_lock_idle")->setValue(0);
    Part<QCheckBox>("CB_lock_on_screen_lock")->click();
    Part<QSpinBox>("SE_clipboard_clear")->setValue(45);
    EXPECT_EQ(qbtest::Child<TPrivacyLock>(Main(), "Lock")->IdleMinutes(), 0);
    EXPECT_TRUE(qbtest::Child<TPrivacyLock>(Main(), "Lock")->LockOnScreenLock);
    EXPECT_EQ(Windows().ClipboardGuard->ClearSeconds(), 45);

    Part<QPushButton>("CancelBtn")->click();
    EXPECT_EQ(qbtest::Child<TPrivacyLock>(Main(), "Lock")->IdleMinutes(), 15);
    EXPECT_EQ(Windows().ClipboardGuard->ClearSeconds(), 0);
}

TEST_F(SettingsDialogTest, CancelRestoresTheTreeAndLeavesTheWindowOkMovesIt)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"500\" HEIGHT=\"300\" LEFT=\"20\" TOP=\"30\"/>");
    Main()->show();
    Main()->ApplyPlacement();
    const QRect before = Main()->frameGeometry();

    Part<QRadioButton>("RadioGroup1_0")->click();
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("0"));
    Part<QPushButton>("CancelBtn")->click();
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("4"));
    EXPECT_EQ(Settings()->RadioGroupIndex(), 4);
    EXPECT_EQ(Main()->frameGeometry(), before);

    // Escape is "Cancel" too.
    Part<QRadioButton>("RadioGroup1_2")->click();
    Settings()->show();
    QTest::keyClick(Settings(), Qt::Key_Escape);
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("4"));

    Part<QRadioButton>("RadioGroup1_0")->click();
    Part<QPushButton>("OKBtn")->click();
    EXPECT_EQ(Main()->frameGeometry().top(), Main()->screen()->availableGeometry().top()) << "docked at the top";
    EXPECT_EQ(qbtest::Child<QSplitter>(Main(), "Splitter1")->orientation(), Qt::Horizontal);
    TSettingsFile saved;
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("ALIGN")), QStringLiteral("0"));
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("WIDTH")), QStringLiteral("500")) << "stored before it moved";
}

TEST_F(SettingsDialogTest, CloseBoxKeepsChangesInTheTreeOnly)
{
    OpenSettings("<SETTINGS ALIGN=\"4\"/>");
    const QByteArray file = SettingsFileBytes();
    Settings()->show();
    Part<QRadioButton>("RadioGroup1_3")->click();
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
    Part<QPushButton>("OKBtn")->click();
    EXPECT_EQ(Attr("WIDTH"), QStringLiteral("500"));
    DestroyWindows();
    TSettingsFile saved;
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("WIDTH")), QStringLiteral("500")) << "nor at the end";
    EXPECT_EQ(saved.Root().GetAttr(QStringLiteral("HEIGHT")), QStringLiteral("300"));
}

TEST_F(SettingsDialogTest, AlignOutOfRangeIsBroughtIntoTheGroup)
{
    OpenSettings("<SETTINGS ALIGN=\"9\"/>");
    EXPECT_EQ(Settings()->RadioGroupIndex(), 5);
    EXPECT_EQ(Attr("ALIGN"), QStringLiteral("5"));
    TearDown();
    OpenSettings("<SETTINGS ALIGN=\"-2\"/>");
    EXPECT_EQ(Settings()->RadioGroupIndex(), -1);

    // Shown again with nothing selected (Cancel reloads the file): still nothing selected.
    Part<QPushButton>("CancelBtn")->click();
    EXPECT_EQ(Settings()->RadioGroupIndex(), -1);
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
    Part<TOOLEServers>("OOLEServers1")->BtnAddClick();
    TOleContainer::SetObjectChooser(nullptr);

    EXPECT_EQ(Part<QTreeWidget>("LV1")->topLevelItemCount(), 1) << "the server was added";
    EXPECT_EQ(viewer->ObjectClassName(), QStringLiteral("org.example.Shown")) << "the viewer keeps its object";
    EXPECT_NE(viewer->ObjectState(), TOleContainer::osEmpty);
}

} // namespace
