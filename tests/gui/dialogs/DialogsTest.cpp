#include "gui/dialogs/Dialogs.h"

#include "core/dialogs/DialogSeam.h"
#include "gui/dialogs/msg.h"
#include "gui/dialogs/sure.h"
#include "gui/dialogs/sure_hecked.h"
#include "support/Child.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

namespace {

using qbtest::Child;
using qbtest::OnModal;
using Watchdog = qbtest::ModalWatchdog;

void Key(QDialog* dialog, Qt::Key key)
{
    QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, key);
}

void Click(QDialog* dialog, const char* button)
{
    QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
}

// On the indicator: the box's widget is wider than its indicator and label.
void ClickBox(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(4, box->height() / 2));
}

const QString kQuestion
    = QStringLiteral("Current database has been packed.\nPassword (if one) has been REMOVED.\nSet new password?");

} // namespace

TEST(Dialogs, ConfirmationIsTrueOnlyForYes)
{
    Watchdog watchdog;
    TFsure sure;
    const std::vector<std::pair<std::function<void(QDialog*)>, bool>> cases = {
        {[](QDialog* d) { Click(d, "YesBtn"); }, true},      {[](QDialog* d) { Click(d, "NoBtn"); }, false},
        {[](QDialog* d) { Key(d, Qt::Key_Escape); }, false}, {[](QDialog* d) { d->close(); }, false},
        {[](QDialog* d) { Key(d, Qt::Key_Return); }, true}, // "Yes" is the default
    };
    QString caption;
    QString shown;
    for (const auto& [action, expected] : cases) {
        OnModal<QDialog>([&, action = action](QDialog* d) {
            caption = d->windowTitle();
            shown = Child<QPlainTextEdit>(d, "Memo1")->toPlainText();
            action(d);
        });
        EXPECT_EQ(sure.Ask(kQuestion), expected);
        EXPECT_FALSE(sure.isVisible());
        EXPECT_EQ(caption, QStringLiteral("Confirmation:"));
        EXPECT_EQ(shown, kQuestion);
    }
}

TEST(Dialogs, CheckedConfirmationNeedsTheTickEveryTime)
{
    Watchdog watchdog;
    TFsure_checked sure;
    const auto expectFreshStart = [](QDialog* d) {
        EXPECT_FALSE(Child<QCheckBox>(d, "CheckBox1")->isChecked());
        EXPECT_FALSE(Child<QPushButton>(d, "YesBtn")->isEnabled());
    };

    // Tick, untick, Enter while "Yes" is off: still open; tick again and "Yes".
    bool stayedOpen = false;
    OnModal<QDialog>([&](QDialog* d) {
        expectFreshStart(d);
        auto* box = Child<QCheckBox>(d, "CheckBox1");
        auto* yes = Child<QPushButton>(d, "YesBtn");
        ClickBox(box);
        EXPECT_TRUE(yes->isEnabled());
        ClickBox(box);
        EXPECT_FALSE(yes->isEnabled());
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(d, Qt::Key_Enter);
        stayedOpen = d->isVisible();
        ClickBox(box);
        EXPECT_TRUE(yes->isEnabled());
        QTest::mouseClick(yes, Qt::LeftButton);
    });
    EXPECT_TRUE(sure.Ask(kQuestion));
    EXPECT_TRUE(stayedOpen);

    // Straight after that "Yes" the next question starts cleared; Escape is no.
    OnModal<QDialog>([&](QDialog* d) {
        expectFreshStart(d);
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Confirmation:"));
        Key(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(sure.Ask(QStringLiteral("ATTENTION!\nAre you sure you want to DROP\nthe database \"x\"?")));

    // Ticked, then closed by the close box: no.
    OnModal<QDialog>([&](QDialog* d) {
        expectFreshStart(d);
        ClickBox(Child<QCheckBox>(d, "CheckBox1"));
        d->close();
    });
    EXPECT_FALSE(sure.Ask(kQuestion));
}

TEST(Dialogs, MessageShowsTheTextAsGivenAndClosesOnOkEnterAndCloseBox)
{
    Watchdog watchdog;
    TDmsg msg;
    EXPECT_TRUE(msg.windowFlags() & Qt::WindowStaysOnTopHint);
    const QString text = QStringLiteral("Database \"Дом\" \nhas been created from the archive \n\"/tmp/a b.qba\"");
    const std::vector<std::function<void(QDialog*)>> closers = {
        [](QDialog* d) { Click(d, "OKBtn"); },
        [](QDialog* d) { Key(d, Qt::Key_Return); },
        [](QDialog* d) { d->close(); },
    };
    for (const auto& closer : closers) {
        QString caption;
        QString shown;
        int lines = 0;
        OnModal<QDialog>([&](QDialog* d) {
            caption = d->windowTitle();
            auto* memo = Child<QPlainTextEdit>(d, "Memo1");
            shown = memo->toPlainText();
            lines = memo->document()->blockCount();
            closer(d);
        });
        msg.ShowText(text);
        EXPECT_FALSE(msg.isVisible());
        EXPECT_EQ(caption, QStringLiteral("Quietbox message:"));
        EXPECT_EQ(shown, text);
        EXPECT_EQ(lines, 3);
    }
}

TEST(Dialogs, LongTextsGrowTheDialogsUntilEveryWordShowsAndScrollPastTheScreen)
{
    Watchdog watchdog;
    const QString oleError = QStringLiteral(
        "Can't edit the document for the OLE error:\n\"The application of /home/someone/Documents/"
        "a rather long folder name/drawing.odg could not be started\".\n\nPlease check wheter the OLE server is "
        "installed and works correct.");
    QString huge;
    for (int i = 0; i < 200; ++i)
        huge += QStringLiteral("Line %1 of a very long message\n").arg(i);
    huge += QString(400, QLatin1Char('x')); // one word longer than a line wraps anyway

    TDmsg msg;
    TFsure sure;
    TFsure_checked checked;
    struct Seen
    {
        QSize dialog, memo;
        int hiddenLines = -1; // what the area would have to scroll to show
        bool scrollBar = false;
    };
    const auto look = [](const std::function<void()>& show) {
        Seen seen;
        OnModal<QDialog>([&seen](QDialog* d) {
            auto* memo = Child<QPlainTextEdit>(d, "Memo1");
            seen = Seen{d->frameGeometry().size(), memo->size(), memo->verticalScrollBar()->maximum(),
                        memo->verticalScrollBar()->isVisible()};
            d->close();
        });
        show();
        return seen;
    };
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    struct Dialog
    {
        const char* what;
        std::function<void(const QString&)> show;
        QSize design;
    };
    const Dialog dialogs[] = {
        {"message", [&](const QString& t) { msg.ShowText(t); }, QSize(246, 78)},
        {"confirmation", [&](const QString& t) { sure.Ask(t); }, QSize(274, 99)},
        {"checked confirmation", [&](const QString& t) { checked.Ask(t); }, QSize(274, 99)},
    };
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.what);
        const Seen small = look([&] { d.show(QStringLiteral("short")); });
        EXPECT_EQ(small.memo, d.design) << "the design size is the least";

        const Seen error = look([&] { d.show(oleError); });
        EXPECT_EQ(error.hiddenLines, 0) << "every line shows without scrolling";
        EXPECT_GT(error.memo.height(), d.design.height());
        EXPECT_GE(error.memo.width(), d.design.width());

        const Seen tall = look([&] { d.show(huge); });
        EXPECT_LE(tall.dialog.height(), room.height()) << "on the screen";
        EXPECT_LE(tall.dialog.width(), room.width());
        EXPECT_TRUE(tall.scrollBar) << "the rest is reached by scrolling";

        EXPECT_EQ(look([&] { d.show(QStringLiteral("short")); }).memo, d.design) << "shrinks back";
    }
    EXPECT_GT(checked.height(), sure.height()) << "the checked one is the taller window";
}

TEST(Dialogs, MessageRaisedWhileOneIsOpenGetsItsOwnDialog)
{
    Watchdog watchdog;
    TDmsg msg;
    QString inner;
    QString outerAfter;
    OnModal<QDialog>([&](QDialog* outer) {
        OnModal<QDialog>(
            [&](QDialog* d) {
                inner = Child<QPlainTextEdit>(d, "Memo1")->toPlainText();
                Click(d, "OKBtn");
            },
            outer);
        msg.ShowText(QStringLiteral("Sorry, can't import this object by drag-n-drop."));
        outerAfter = Child<QPlainTextEdit>(outer, "Memo1")->toPlainText();
        EXPECT_TRUE(outer->isVisible());
        Click(outer, "OKBtn");
    });
    msg.ShowText(QStringLiteral("first"));
    EXPECT_EQ(inner, QStringLiteral("Sorry, can't import this object by drag-n-drop."));
    EXPECT_EQ(outerAfter, QStringLiteral("first"));
}

TEST(Dialogs, QuestionAskedWhileOneIsOpenGetsItsOwnDialog)
{
    Watchdog watchdog;
    // A nested question on the checked confirmation leaves the open one's box alone.
    TFsure_checked checked;
    bool outerStillTicked = false;
    OnModal<QDialog>([&](QDialog* outer) {
        ClickBox(Child<QCheckBox>(outer, "CheckBox1"));
        OnModal<QDialog>([&](QDialog* d) { Key(d, Qt::Key_Escape); }, outer);
        EXPECT_FALSE(checked.Ask(QStringLiteral("nested?")));
        outerStillTicked = Child<QPushButton>(outer, "YesBtn")->isEnabled();
        Click(outer, "YesBtn");
    });
    EXPECT_TRUE(checked.Ask(QStringLiteral("outer?")));
    EXPECT_TRUE(outerStillTicked);
}

TEST(Dialogs, UnderTheScriptEveryRouteRecordsAndAnswersWithoutOpening)
{
    DialogScript::Start();
    TDmsg msg;
    TFsure sure;
    TFsure_checked checked;
    Dialogs::Install(&msg, &sure, &checked);
    EXPECT_EQ(TDialogSeam::Current(), TDialogSeam::Installed()) << "the script answers before the windows";
    DialogScript::QueueAnswers({true, false, true});
    DialogScript::QueueFileNames({QStringLiteral("/a.bmp")});
    DialogScript::QueueTexts({QStringLiteral("Editor")});
    QWidget frame;
    QFileDialog files(&frame, QStringLiteral("Load bitmap"));
    QDialog chooser;
    chooser.setWindowTitle(QStringLiteral("Insert object"));

    Dialogs::ShowMessage(QStringLiteral("Archive created"));
    EXPECT_TRUE(Dialogs::Confirm(QStringLiteral("Reload?")));
    EXPECT_FALSE(Dialogs::ConfirmChecked(QStringLiteral("Pack?")));
    EXPECT_TRUE(Dialogs::PlainQuestion(&frame, QStringLiteral("Confirm"), QStringLiteral("Remove?")));
    Dialogs::PlainMessage(&frame, Dialogs::Plain::Warning, QStringLiteral("too deep"));
    EXPECT_EQ(Dialogs::PlainNotice(&frame, QStringLiteral("handed over")), nullptr);
    EXPECT_EQ(Dialogs::ChooseFile(files), QStringLiteral("/a.bmp"));
    EXPECT_EQ(Dialogs::ChooseObject(chooser, [] { return QStringLiteral("never"); }), QStringLiteral("Editor"));

    EXPECT_EQ(
        DialogScript::Shown(),
        QString::fromLatin1("Archive created|Reload?|Pack?|Remove?|too deep|handed over|Load bitmap|Insert object")
            .split(QLatin1Char('|')));
    for (const QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
    Dialogs::Install(nullptr, nullptr, nullptr);
    DialogScript::Stop();
    EXPECT_EQ(TDialogSeam::Current(), nullptr);
}

// A dialog raised for a window not on screen yet must not land under the always-on-top main
// window: it belongs to the visible window and stays on top like it.
TEST(Dialogs, DialogsOfAHiddenWindowComeUpAboveTheVisibleOne)
{
    Watchdog watchdog;
    QWidget hidden;
    auto* frame = new QWidget(&hidden);
    TDmsg msg(&hidden);
    TFsure sure(&hidden);
    TFsure_checked checked(&hidden);
    Dialogs::Install(&msg, &sure, &checked);
    const std::vector<std::pair<const char*, std::function<void()>>> routes = {
        {"plain", [&] { Dialogs::PlainMessage(frame, Dialogs::Plain::Information, QStringLiteral("nested")); }},
        {"plain question", [&] { Dialogs::PlainQuestion(frame, QStringLiteral("Confirm"), QStringLiteral("?")); }},
        {"message", [] { Dialogs::ShowMessage(QStringLiteral("m")); }},
        {"question", [] { Dialogs::Confirm(QStringLiteral("q")); }},
    };
    for (const bool onTop : {true, false}) {
        QWidget main(nullptr, onTop ? Qt::Window | Qt::WindowStaysOnTopHint : Qt::Window);
        main.show();
        for (const auto& [name, route] : routes) {
            QWidget* owner = nullptr;
            bool staysOnTop = false;
            const QWindow* transient = nullptr;
            OnModal<QDialog>([&](QDialog* d) {
                owner = d->parentWidget();
                staysOnTop = d->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                transient = d->windowHandle()->transientParent();
                d->reject();
            });
            route();
            EXPECT_EQ(owner, &main) << name;
            EXPECT_EQ(transient, main.windowHandle()) << name;
            EXPECT_TRUE(staysOnTop || !onTop) << name;
        }
        EXPECT_EQ(msg.parentWidget(), &hidden) << "a shared dialog goes back to its owner";
        EXPECT_EQ(sure.parentWidget(), &hidden);
    }
    Dialogs::Install(nullptr, nullptr, nullptr);
}
