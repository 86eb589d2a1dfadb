#include "core/database/DatabaseSession.h"
#include "core/settings/SettingsFile.h"
#include "core/shell/Shell.h"
#include "gui/documents/doc_list.h"
#include "gui/documents/wz_new_doc.h"
#include "gui/startup/getting_started.h"
#include "support/AppFixture.h"
#include "support/Child.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using qbtest::AppFixture;
using qbtest::OnModal;

namespace {

class MainWindowTest : public AppFixture
{
protected:
    // The names of the enabled toolbar buttons and menu items, in their order.
    QStringList EnabledCommands() const
    {
        QStringList names;
        for (QAction* a : Part<QToolBar>("ToolBar1")->actions())
            if (!a->isSeparator() && a->isEnabled())
                names << a->objectName();
        for (QAction* a : Part<QMenu>("PM1")->actions())
            if (!a->isSeparator() && a->isEnabled())
                names << a->objectName();
        return names;
    }
    // Opens an unregistered fresh database, so that the commands of an open database apply.
    void OpenSomeDatabase() const
    {
        Main()->OpenDatabaseDirect(QString(), qbtest::FreshDatabase(), QString());
        ASSERT_TRUE(Main()->DatabaseOpen());
    }
    static QSize Screen() { return QGuiApplication::primaryScreen()->geometry().size(); }
    static QRect Work() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

TEST_F(MainWindowTest, CommandsFollowTheDatabaseAndListState)
{
    StartApp();
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quietbox"));
    const QStringList closed{QStringLiteral("TB_reconnect"), QStringLiteral("TB_settings"), QStringLiteral("TB_doc"),
                             QStringLiteral("N_paste"), QStringLiteral("N_reopen_database")};
    EXPECT_EQ(EnabledCommands(), closed);
    const QLabel* hint = qbtest::Child<QLabel>(Part("O_doc_content1"), "Label_hint");
    EXPECT_FALSE(hint->isHidden());
    EXPECT_EQ(hint->text(),
              QStringLiteral("No database is open. Choose one with the first button, or create one "
                             "with the \"...\" button beside its list."));

    OpenSomeDatabase();
    Main()->Session().SetListReady(false);
    QStringList open = EnabledCommands();
    EXPECT_FALSE(open.contains(QStringLiteral("TB_del_doc")));
    EXPECT_FALSE(open.contains(QStringLiteral("N_delete_document")));
    EXPECT_EQ(open.size(), 9 + 5) << open.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(hint->isHidden()) << "the hint is for the empty start only";

    Main()->Session().SetListReady(true);
    open = EnabledCommands();
    EXPECT_TRUE(open.contains(QStringLiteral("TB_del_doc")));
    EXPECT_TRUE(open.contains(QStringLiteral("N_delete_document")));
    EXPECT_EQ(open.size(), 10 + 6); // "Save as file..." among them

    Main()->CloseDatabase();
    Main()->Session().SetListReady(true);
    EXPECT_EQ(EnabledCommands(), closed) << "ListReady alone enables nothing";
    EXPECT_FALSE(hint->isHidden());
}

// Visibly different: more than a fifth of the pixels differ (a small overlay is not enough).
bool LookDifferent(const QIcon& a, const QIcon& b)
{
    const QImage x = a.pixmap(QSize(20, 20)).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.pixmap(QSize(20, 20)).toImage().convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return true;
    int differing = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            differing += x.pixel(col, row) != y.pixel(col, row);
    return differing * 5 > x.width() * x.height();
}

TEST_F(MainWindowTest, WithoutAnIconThemeTheIconsAreTheProgramsOwnAndDistinct)
{
    struct ThemeScope
    {
        QString name = QIcon::themeName();
        QStringList paths = QIcon::themeSearchPaths();
        ~ThemeScope()
        {
            QIcon::setThemeSearchPaths(paths);
            QIcon::setThemeName(name);
        }
    } restore;
    QIcon::setThemeSearchPaths({qbtest::FreshFolder()});
    QIcon::setThemeName(QStringLiteral("none"));
    StartApp();

    struct Named
    {
        QString name;
        QIcon icon;
    };
    QList<Named> icons;
    for (QAction* a : Part<QToolBar>("ToolBar1")->actions())
        if (!a->isSeparator())
            icons.append({a->objectName(), a->icon()});
    const QList<QIcon>& list = Part<TO_doc_list>("O_doc_list1")->ImageList1();
    for (int i = 0; i < list.size(); ++i)
        icons.append({QStringLiteral("list icon %1").arg(i), list[i]});
    ASSERT_EQ(icons.size(), 10 + 5);
    for (int i = 0; i < icons.size(); ++i) {
        EXPECT_FALSE(icons[i].icon.isNull()) << icons[i].name.toStdString();
        for (int j = i + 1; j < icons.size(); ++j)
            EXPECT_TRUE(LookDifferent(icons[i].icon, icons[j].icon))
                << icons[i].name.toStdString() << " and " << icons[j].name.toStdString();
    }
}

TEST_F(MainWindowTest, ControlsCarryTheirNamesAndHints)
{
    StartApp();
    for (const char* name : {"ToolBar1", "Panel_guider", "Splitter1", "O_doc_list1", "O_doc_content1", "Panel_Collaps",
                             "O_target1", "Label_restore"})
        EXPECT_NO_THROW(Part(name)) << name;
    auto* button = Part<QToolButton>("TB_collaps");
    EXPECT_EQ(button->toolTip(), QStringLiteral("Collaps"));
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(Part<QLabel>("Label_restore")->text(), QStringLiteral("Expand..."));
    EXPECT_EQ(Part<QTimer>("Timer1")->interval(), 1000);
    EXPECT_FALSE(Part<QTimer>("Timer1")->isActive());
}

TEST_F(MainWindowTest, FirstStartWritesDefaultsThenPlacementAndAttemptsAtTheEnd)
{
    StartApp();
    EXPECT_EQ(SettingsFileBytes(),
              QByteArray("\r\n<SETTINGS ALIGN=\"1\">\r\n\t<OLE_SERVERS/>\r\n\t<BASE_LIST/>\r\n</SETTINGS>"));
    EXPECT_EQ(Root().GetAttr(QStringLiteral("FATTEMPTS")), QStringLiteral("2"));

    OnModal<TF_getting_started>([](TF_getting_started* d) { d->close(); }); // without "Ok"
    Main()->show();
    Main()->Activate();
    Main()->close();
    DestroyWindows();
    TSettingsFile back;
    ASSERT_TRUE(back.Load());
    for (const char* key : {"WIDTH", "HEIGHT", "LEFT", "TOP", "G_WIDTH", "G_HEIGHT"})
        EXPECT_FALSE(back.Root().GetAttr(QString::fromLatin1(key)).isEmpty()) << key;
    EXPECT_EQ(back.Root().GetAttr(QStringLiteral("FATTEMPTS")), QStringLiteral("2"));
    EXPECT_EQ(back.Root().GetAttr(QStringLiteral("WIDTH")).toInt(), Work().width())
        << "docked at the bottom by default";
}

// Where the cut begins is PlacementTest's.
TEST_F(MainWindowTest, WithoutAlignTheWindowDocksAtTheBottomSideBySideAndTallWindowsAreCut)
{
    StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
    Root().SetAttr(QStringLiteral("HEIGHT"), QString::number(Screen().height() - 39));
    Main()->show();
    Main()->ApplyPlacement();
    const QRect r = Main()->frameGeometry();
    EXPECT_EQ(Part<QSplitter>("Splitter1")->orientation(), Qt::Horizontal);
    EXPECT_EQ(r.width(), Work().width());
    EXPECT_EQ(r.height(), qRound(0.3 * Screen().height()));
    EXPECT_EQ(r.bottom(), Work().bottom()) << "placed before it was cut";
    EXPECT_EQ(Part("Panel_guider")->width(), 204) << "design width when G_WIDTH is not set";
}

TEST_F(MainWindowTest, UnknownAlignFloatsWithTheListAboveTheViewer)
{
    StartApp("<SETTINGS ALIGN=\"7\" WIDTH=\"500\" HEIGHT=\"300\" LEFT=\"7\" TOP=\"40\" G_HEIGHT=\"90\"/>");
    EXPECT_EQ(Root().GetAttr(QStringLiteral("ALIGN")), QStringLiteral("5")) << "the align group holds six items";
    Root().SetAttr(QStringLiteral("ALIGN"), QStringLiteral("7"));
    Main()->show();
    Main()->ApplyPlacement();
    EXPECT_EQ(Part<QSplitter>("Splitter1")->orientation(), Qt::Vertical);
    EXPECT_EQ(Main()->frameGeometry(), QRect(7, 40, 500, 300));
    EXPECT_EQ(Part("Panel_guider")->height(), 90);
}

TEST_F(MainWindowTest, CollapseGivesTheSmallTargetThatSnapsBackAndExpandsOnMaximize)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"500\" HEIGHT=\"300\" LEFT=\"20\" TOP=\"30\"/>");
    Main()->show();
    Main()->ApplyPlacement();
    OpenSomeDatabase();
    Part<QAction>("TB_collaps")->trigger();
    EXPECT_TRUE(Main()->Collapsed());
    EXPECT_EQ(Main()->frameGeometry().size(), QSize(158, 87));
    EXPECT_TRUE(Part("Panel_Collaps")->isVisibleTo(Main()));
    EXPECT_FALSE(Part("ToolBar1")->isVisibleTo(Main()));
    EXPECT_EQ(Part("Panel_Collaps")->pos(), QPoint(0, 0));

    Main()->resize(400, 300);
    EXPECT_EQ(Main()->frameGeometry().size(), QSize(158, 87)) << "a resize by hand snaps back";

    Main()->showMaximized();
    QApplication::processEvents();
    EXPECT_FALSE(Main()->Collapsed());
    EXPECT_FALSE(Main()->isMaximized());
    EXPECT_EQ(Main()->frameGeometry(), QRect(20, 30, 500, 300)) << "back to the stored placement";
}

// Where each docking keeps the small target is PlacementTest's.
TEST_F(MainWindowTest, CollapsedTargetStaysOnTheDockedEdge)
{
    StartApp("<SETTINGS ALIGN=\"1\"/>");
    Main()->show();
    Main()->ApplyPlacement();
    OpenSomeDatabase();
    const QRect expanded = Main()->frameGeometry();
    Main()->SetCollapsed(true);
    EXPECT_EQ(Main()->frameGeometry().bottom(), Work().bottom()) << "bottom-docked stays at the bottom";
    EXPECT_EQ(Main()->frameGeometry().left(), Work().left());

    Main()->SetCollapsed(false);
    EXPECT_EQ(Main()->frameGeometry(), expanded) << "no size stored: the size it had before collapsing";
}

TEST_F(MainWindowTest, ExpandByLabelClickOrDoubleClickOnThePanel)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"500\" HEIGHT=\"300\" LEFT=\"20\" TOP=\"30\"/>");
    Main()->show();
    Main()->SetCollapsed(true);
    QTest::mouseClick(Part("Label_restore"), Qt::LeftButton);
    EXPECT_FALSE(Main()->Collapsed());
    Main()->SetCollapsed(true);
    QTest::mouseDClick(Part("Panel_Collaps"), Qt::LeftButton);
    EXPECT_FALSE(Main()->Collapsed());
    EXPECT_EQ(Main()->frameGeometry().size(), QSize(500, 300));
}

TEST_F(MainWindowTest, CtrlVPastesOnlyWhileCollapsedAndAllowed)
{
    StartApp("<SETTINGS ALIGN=\"4\" WIDTH=\"500\" HEIGHT=\"300\"/>");
    QSignalSpy pastes(Part<QAction>("N_paste"), &QAction::triggered);
    Main()->show();

    QTest::keyClick(Main(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(pastes.count(), 0) << "the expanded window handles no key";

    OpenSomeDatabase();
    Main()->SetCollapsed(true);
    OnModal<TW_new_doc>([](TW_new_doc* d) { d->reject(); }); // the paste asks on its clipboard page
    QTest::keyClick(Main(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pastes.count(), 1);
    EXPECT_FALSE(Main()->Collapsed());

    Main()->SetCollapsed(true);
    QTest::keyClick(Main(), Qt::Key_V);
    EXPECT_EQ(pastes.count(), 1) << "V without Ctrl";
    Main()->CloseDatabase();
    QTest::keyClick(Main(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(pastes.count(), 1) << "new documents not allowed";
    EXPECT_TRUE(Main()->Collapsed());
}

TEST_F(MainWindowTest, GettingStartedPromptFollowsGs)
{
    int prompts = 0;
    const auto answer = [&prompts](const char* choice) {
        OnModal<TF_getting_started>([&prompts, choice](TF_getting_started* d) {
            ++prompts;
            d->findChild<QRadioButton*>(QString::fromLatin1(choice))->click();
            qbtest::Child<QPushButton>(d, "OKBtn")->click();
        });
    };
    StartApp("<SETTINGS GS=\"NO\"/>");
    Main()->Activate();
    EXPECT_FALSE(Main()->FirstActivation());
    TearDown();

    // The choice, the tutorial pages it opens, and what GS then holds.
    for (auto [choice, pages, gs] : {std::tuple{"RB_now", 1, ""}, {"RB_next_time", 0, ""}, {"RB_never", 0, "NO"}}) {
        StartApp();
        answer(choice);
        Main()->Activate();
        Main()->Activate(); // a second prompt would stay open and fail the test
        EXPECT_EQ(opened.size(), pages) << choice;
        EXPECT_TRUE(pages == 0 || opened[0].toLocalFile().endsWith(QStringLiteral("/gs.html"))) << choice;
        EXPECT_EQ(Root().GetAttr(QStringLiteral("GS")), QString::fromLatin1(gs)) << choice;
        TearDown();
    }
    EXPECT_EQ(prompts, 3) << "at most once per run";

    // A desktop with nothing to show web pages: the user is told where the tutorial is.
    StartApp();
    Shell::SetOpener([](const QUrl&) { return false; });
    answer("RB_now");
    Main()->Activate();
    EXPECT_TRUE(DialogScript::LastShown().startsWith(QStringLiteral("No program to show web pages was found.")));
    EXPECT_TRUE(DialogScript::LastShown().endsWith(QStringLiteral("/gs.html")))
        << DialogScript::LastShown().toStdString();
}

TEST_F(MainWindowTest, DocumentationButtonOpensTheIndexPage)
{
    StartApp();
    Part<QAction>("TB_doc")->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].isLocalFile());
    EXPECT_TRUE(opened[0].toLocalFile().endsWith(QStringLiteral("/index.html")));
}

} // namespace

namespace {

// How many sockets a child process started now holds open.
int SocketsInheritedByAChild()
{
    QProcess child;
    child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ls -l /proc/$$/fd")});
    if (!child.waitForFinished(10000))
        return -1;
    return int(child.readAllStandardOutput().count("socket:"));
}

} // namespace

TEST(TerminateSignals, ProgramsStartedFromQuietboxDoNotInheritTheSignalPipe)
{
    const int before = SocketsInheritedByAChild();
    ASSERT_GE(before, 0);
    CloseOnTerminate(*qApp);
    EXPECT_EQ(SocketsInheritedByAChild(), before);
}
