#include "core/dialogs/DialogScript.h"
#include "gui/dialogs/msg.h"
#include "gui/dialogs/sure.h"
#include "gui/dialogs/sure_hecked.h"
#include "support/ModalDriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

using qbtest::OnModal;
using Watchdog = qbtest::ModalWatchdog;

template <typename T> T* Find(QDialog* dialog, const char* name)
{
    T* child = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Key(QDialog* dialog, Qt::Key key)
{
    QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, key);
}

void Click(QDialog* dialog, const char* button)
{
    QTest::mouseClick(Find<QPushButton>(dialog, button), Qt::LeftButton);
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
            shown = Find<QPlainTextEdit>(d, "Memo1")->toPlainText();
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
        EXPECT_FALSE(Find<QCheckBox>(d, "CheckBox1")->isChecked());
        EXPECT_FALSE(Find<QPushButton>(d, "YesBtn")->isEnabled());
    };

    // Tick, untick, Enter while "Yes" is off: still open; tick again and "Yes".
    bool stayedOpen = false;
    OnModal<QDialog>([&](QDialog* d) {
        expectFreshStart(d);
        auto* box = Find<QCheckBox>(d, "CheckBox1");
        auto* yes = Find<QPushButton>(d, "YesBtn");
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
        ClickBox(Find<QCheckBox>(d, "CheckBox1"));
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
            auto* memo = Find<QPlainTextEdit>(d, "Memo1");
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

TEST(Dialogs, LongTextIsCutAndTheDialogsKeepTheirSize)
{
    Watchdog watchdog;
    QString longText;
    for (int i = 0; i < 60; ++i)
        longText += QStringLiteral("Line %1 of a very long message\n").arg(i);
    longText += QString(400, QLatin1Char('x')); // one word longer than a line wraps anyway

    TDmsg msg;
    TFsure sure;
    TFsure_checked checked;
    struct Seen
    {
        QSize dialog, memo;
        bool scrollBar = true;
    };
    const auto look = [](QDialog* d) {
        auto* memo = d->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        return Seen{d->size(), memo->size(), memo->verticalScrollBar()->isVisible()};
    };
    Seen shortSeen, longSeen;
    OnModal<QDialog>([&](QDialog* d) {
        shortSeen = look(d);
        d->close();
    });
    msg.ShowText(QStringLiteral("short"));
    OnModal<QDialog>([&](QDialog* d) {
        longSeen = look(d);
        d->close();
    });
    msg.ShowText(longText);
    EXPECT_EQ(longSeen.dialog, shortSeen.dialog);
    EXPECT_EQ(longSeen.memo, QSize(246, 78));
    EXPECT_FALSE(longSeen.scrollBar);

    for (TFsure* s : {&sure, static_cast<TFsure*>(&checked)}) {
        OnModal<QDialog>([&](QDialog* d) {
            shortSeen = look(d);
            d->close();
        });
        s->Ask(QStringLiteral("short?"));
        OnModal<QDialog>([&](QDialog* d) {
            longSeen = look(d);
            d->close();
        });
        s->Ask(longText);
        EXPECT_EQ(longSeen.dialog, shortSeen.dialog);
        EXPECT_EQ(longSeen.memo, QSize(274, 99));
        EXPECT_FALSE(longSeen.scrollBar);
    }
    // The checked one is the taller window.
    EXPECT_GT(checked.height(), sure.height());
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
                inner = d->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
                Click(d, "OKBtn");
            },
            outer);
        msg.ShowText(QStringLiteral("Sorry, can't import this object by drag-n-drop."));
        outerAfter = outer->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
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
        ClickBox(outer->findChild<QCheckBox*>(QStringLiteral("CheckBox1")));
        OnModal<QDialog>([&](QDialog* d) { Key(d, Qt::Key_Escape); }, outer);
        EXPECT_FALSE(checked.Ask(QStringLiteral("nested?")));
        outerStillTicked = outer->findChild<QPushButton*>(QStringLiteral("YesBtn"))->isEnabled();
        Click(outer, "YesBtn");
    });
    EXPECT_TRUE(checked.Ask(QStringLiteral("outer?")));
    EXPECT_TRUE(outerStillTicked);
}

TEST(Dialogs, ScriptedModeRecordsAndAnswersWithoutOpening)
{
    DialogScript::Start();
    TDmsg msg;
    TFsure sure;
    TFsure_checked checked;
    DialogScript::QueueAnswers({true, false, true});
    msg.ShowText(QStringLiteral("Archive created"));
    EXPECT_TRUE(sure.Ask(QStringLiteral("Reload the picture from the database?")));
    EXPECT_FALSE(checked.Ask(QStringLiteral("Pack the database now?")));
    EXPECT_TRUE(checked.Ask(QStringLiteral("Drop?")));
    EXPECT_EQ(DialogScript::Shown(),
              QStringList({QStringLiteral("Archive created"), QStringLiteral("Reload the picture from the database?"),
                           QStringLiteral("Pack the database now?"), QStringLiteral("Drop?")}));
    EXPECT_FALSE(msg.isVisible() || sure.isVisible() || checked.isVisible());
    DialogScript::Stop();
}
