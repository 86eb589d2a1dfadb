#include "gui/widgets/OrbFileEdit.h"

#include "support/DialogScript.h"

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class CountingFileEdit : public TOrbFileEdit
{
public:
    using TOrbFileEdit::TOrbFileEdit;
    void Accept() override
    {
        ++accepts;
        TOrbFileEdit::Accept();
    }
    void Reset() override
    {
        ++resets;
        TOrbFileEdit::Reset();
    }
    void Clear() override
    {
        ++clears;
        TOrbFileEdit::Clear();
    }
    int accepts = 0;
    int resets = 0;
    int clears = 0;
};

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Sends a whole drop (enter, then drop); true when both were accepted.
bool Drop(QWidget* w, const QMimeData& mime)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    const bool entered = enter.isAccepted();
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &drop);
    return entered && drop.isAccepted();
}

QMimeData* FileDrop(const QStringList& paths)
{
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls.append(QUrl::fromLocalFile(p));
    mime->setUrls(urls);
    return mime;
}

class FileEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DialogScript::Start();
        auto* layout = new QHBoxLayout(&window);
        edit = new CountingFileEdit(&window);
        edit->SetDialogTitle(QStringLiteral("Choose the archive"));
        edit->SetFilter(QStringLiteral("archive|*.qba"));
        other = new QPushButton(QStringLiteral("Other"), &window);
        layout->addWidget(edit);
        layout->addWidget(other);
        window.resize(400, 40);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override { DialogScript::Stop(); }

    void ClickButton()
    {
        TOrbCustomEditButton* b = edit->Button();
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->rect().center());
    }

    QWidget window;
    CountingFileEdit* edit = nullptr;
    QPushButton* other = nullptr;
};

} // namespace

TEST_F(FileEditTest, ButtonClickAndAltDownBrowseThroughTheDialog)
{
    const QString chosen = QStringLiteral("/home/user/архив 1.qba");
    DialogScript::QueueFileNames({chosen, QString(), QStringLiteral("/b.qba")});

    ClickButton();
    EXPECT_EQ(edit->FileName(), chosen);
    EXPECT_EQ(DialogScript::Shown(), QStringList{QStringLiteral("Choose the archive")});
    EXPECT_TRUE(edit->hasFocus() || !window.isActiveWindow()); // the click hands the field the focus

    // Cancelling keeps the name.
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(edit->FileName(), chosen);
    EXPECT_EQ(DialogScript::Shown().size(), 2);

    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(edit->FileName(), QStringLiteral("/b.qba"));

    // Down alone, or with more than Alt, is no browse.
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(DialogScript::Shown().size(), 3);
}

TEST_F(FileEditTest, PressDragOffReleaseOpensNothingAndShowsTheButtonRaised)
{
    TOrbCustomEditButton* b = edit->Button();
    const QImage raised = b->grab().toImage();
    const QPoint inside = b->rect().center();
    const QPoint outside(b->width() + 10, -5);

    SendMouse(b, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(b->Pressed());
    EXPECT_NE(b->grab().toImage(), raised);

    SendMouse(b, QEvent::MouseMove, outside, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(b->Pressed());
    EXPECT_EQ(b->grab().toImage(), raised);

    // Back over the button it is pressed again; off again and released opens nothing.
    SendMouse(b, QEvent::MouseMove, inside, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(b->Pressed());
    SendMouse(b, QEvent::MouseMove, outside, Qt::NoButton, Qt::LeftButton);
    SendMouse(b, QEvent::MouseButtonRelease, outside, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(b->Pressed());
    EXPECT_EQ(b->grab().toImage(), raised);
    EXPECT_TRUE(DialogScript::Shown().isEmpty()); // nothing queued: a dialog would have thrown

    // A move without a press before it does not press the button.
    SendMouse(b, QEvent::MouseMove, inside, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(b->Pressed());
}

TEST_F(FileEditTest, ReadOnlyFieldOpensNoDialogButTakesADrop)
{
    edit->setReadOnly(true);
    edit->SetFileName(QStringLiteral("/kept.qba"));
    DialogScript::QueueFileNames({QStringLiteral("/never.qba")});
    ClickButton();
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(edit->FileName(), QStringLiteral("/kept.qba"));
    EXPECT_TRUE(DialogScript::Shown().isEmpty());

    const std::unique_ptr<QMimeData> mime(FileDrop({QStringLiteral("/data данные/dropped file.qba")}));
    EXPECT_TRUE(Drop(edit, *mime));
    EXPECT_EQ(edit->FileName(), QStringLiteral("/data данные/dropped file.qba"));
}

TEST_F(FileEditTest, EnterAcceptsOnceAndTheButtonDoesNotAcceptAgain)
{
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("/typed.qba"));
    EXPECT_TRUE(edit->isModified());

    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->accepts, 1);
    EXPECT_FALSE(edit->isModified());

    DialogScript::QueueFileNames({QString(), QString()});
    ClickButton();
    EXPECT_EQ(edit->accepts, 1);
    EXPECT_EQ(edit->FileName(), QStringLiteral("/typed.qba"));

    // A pending change is accepted by the button before the dialog opens.
    QTest::keyClicks(edit, QStringLiteral("x"));
    ClickButton();
    EXPECT_EQ(edit->accepts, 2);
    EXPECT_FALSE(edit->isModified());
}

TEST_F(FileEditTest, DropTakesTheFirstFileAndRefusesWhatIsNoFile)
{
    edit->SetFileName(QStringLiteral("/old.qba"));
    const std::unique_ptr<QMimeData> three(
        FileDrop({QStringLiteral("/one.qba"), QStringLiteral("/two.qba"), QStringLiteral("/three.qba")}));
    EXPECT_TRUE(Drop(edit, *three));
    EXPECT_EQ(edit->FileName(), QStringLiteral("/one.qba"));

    // A web address before the file is no file.
    QMimeData mixed;
    mixed.setUrls(
        {QUrl(QStringLiteral("https://example.org/x.qba")), QUrl::fromLocalFile(QStringLiteral("/local.qba"))});
    EXPECT_TRUE(Drop(edit, mixed));
    EXPECT_EQ(edit->FileName(), QStringLiteral("/local.qba"));

    // 512 characters are taken; a longer name is refused whole rather than cut into another name.
    const QString longest = QLatin1Char('/') + QString(511, QLatin1Char('a'));
    const std::unique_ptr<QMimeData> fits(FileDrop({longest}));
    EXPECT_TRUE(Drop(edit, *fits));
    EXPECT_EQ(edit->FileName(), longest);
    const std::unique_ptr<QMimeData> tooLong(FileDrop({longest + QLatin1Char('b')}));
    EXPECT_FALSE(Drop(edit, *tooLong));
    EXPECT_EQ(edit->FileName(), longest);
}

TEST_F(FileEditTest, TextStopsWhereTheButtonSquareBegins)
{
    QWidget* holder = edit->ButtonHolder();
    for (const QSize size : {QSize(300, 26), QSize(180, 40)}) {
        window.setFixedSize(size + QSize(120, 0));
        edit->setFixedSize(size);
        QCoreApplication::processEvents();

        // The square sits at the right end inside the frame and the button fills it.
        EXPECT_EQ(holder->width(), holder->height());
        EXPECT_EQ(holder->height(), edit->height() - 2 * holder->y());
        EXPECT_EQ(edit->width() - 1 - holder->geometry().right(), holder->y());
        EXPECT_EQ(edit->Button()->geometry(), holder->rect());

        // The text area's right edge meets the square's left: long text paints up to it, never into it.
        // The button is hidden while grabbing so that it cannot cover text painted beneath it.
        holder->hide();
        edit->setText(QString(300, QLatin1Char('W')));
        edit->setCursorPosition(0);
        const QImage full = edit->grab().toImage();
        edit->setText(QString());
        const QImage empty = edit->grab().toImage();
        holder->show();
        const QRect square = holder->geometry();
        for (int y = square.top(); y <= square.bottom(); ++y)
            for (int x = square.left(); x <= square.right(); ++x)
                ASSERT_EQ(full.pixel(x, y), empty.pixel(x, y)) << "text under the button at " << x << "," << y;
        bool textNearButton = false;
        for (int y = square.top(); y <= square.bottom() && !textNearButton; ++y)
            for (int x = square.left() - 6; x < square.left(); ++x)
                textNearButton = textNearButton || full.pixel(x, y) != empty.pixel(x, y);
        EXPECT_TRUE(textNearButton) << "the text area stops short of the button";

        // Typing at the end keeps the cursor in sight, left of the square.
        edit->setText(QString(300, QLatin1Char('W')));
        edit->end(false);
        edit->grab(); // the scroll position follows the cursor when painting
        const QRect cursor = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        EXPECT_LT(cursor.center().x(), square.left());
        EXPECT_GT(cursor.center().x(), square.left() - 8);
    }
}

TEST_F(FileEditTest, EscapeResetsAndCtrlDeleteClears)
{
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("abc def"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->resets, 1);
    EXPECT_FALSE(edit->isModified());
    EXPECT_EQ(edit->accepts, 0);

    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit->clears, 0);
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(edit->clears, 1);

    // The base Clear leaves the text alone.
    TOrbFileEdit plain;
    plain.setText(QStringLiteral("keep me"));
    plain.setCursorPosition(plain.text().size());
    QTest::keyClick(&plain, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(plain.text(), QStringLiteral("keep me"));
}

TEST(FileEditKeys, EnterStaysInTheFieldAndEscapeStillReachesTheDialog)
{
    DialogScript::Start();
    QDialog dialog;
    auto* layout = new QHBoxLayout(&dialog);
    auto* edit = new CountingFileEdit(&dialog);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    int okClicks = 0;
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&okClicks] { ++okClicks; });
    layout->addWidget(edit);
    layout->addWidget(ok);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    QTest::keyClicks(edit, QStringLiteral("a"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->accepts, 1);
    EXPECT_EQ(okClicks, 0);
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->resets, 1);
    EXPECT_FALSE(dialog.isVisible());
    DialogScript::Stop();
}

TEST_F(FileEditTest, LeavingOrClickingElsewhereAcceptsAndEnteringSelects)
{
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* second = new QLineEdit(&window);
    window.layout()->addWidget(second);
    second->show();
    other->setFocusPolicy(Qt::NoFocus);

    edit->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(edit->hasFocus());
    QTest::keyClicks(edit, QStringLiteral("/a.qba"));
    second->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(edit->accepts, 1);

    // Entering by keyboard selects all; by mouse it does not; nor with auto-select off.
    edit->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(edit->selectedText(), QStringLiteral("/a.qba"));
    second->setFocus(Qt::TabFocusReason);
    edit->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(edit->hasSelectedText());
    second->setFocus(Qt::TabFocusReason);
    edit->SetAutoSelect(false);
    edit->setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(edit->hasSelectedText());
    EXPECT_EQ(edit->accepts, 1); // nothing was pending on those moves

    // A click on a control that takes no focus settles the change too; the focus stays.
    QTest::keyClicks(edit, QStringLiteral("x"));
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(edit->accepts, 2);
    EXPECT_TRUE(edit->hasFocus());
    // A click inside the field itself does not.
    QTest::keyClicks(edit, QStringLiteral("y"));
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(5, edit->height() / 2));
    EXPECT_EQ(edit->accepts, 2);
    EXPECT_TRUE(edit->isModified());
}

TEST(EllipsisButton, DrawsThreeCentredDotsInTheStateColour)
{
    TEllipsisButton button;
    button.resize(20, 20);
    const QColor text = button.palette().color(QPalette::Active, QPalette::ButtonText);
    const QImage img = button.grab().toImage();
    // Inset 2: rectangle (2,2) 16x16, so dots at x = 5, 9, 13 and y = 9.
    for (const int x : {5, 6, 9, 10, 13, 14})
        for (const int y : {9, 10})
            EXPECT_EQ(img.pixelColor(x, y), text) << x << "," << y;
    for (const int x : {4, 7, 8, 11, 12, 15})
        EXPECT_NE(img.pixelColor(x, 9), text) << x;

    button.setEnabled(false);
    const QColor grey = button.palette().color(QPalette::Disabled, QPalette::ButtonText);
    ASSERT_NE(grey, text);
    EXPECT_EQ(button.grab().toImage().pixelColor(5, 9), grey);
}

TEST(FileEditFilter, DialogFilterFromPairs)
{
    EXPECT_EQ(TOrbFileEdit::DialogFilter(QStringLiteral("archive|*.qba")), QStringLiteral("archive (*.qba)"));
    EXPECT_EQ(TOrbFileEdit::DialogFilter(QStringLiteral("All|*.*|Text|*.txt;*.log")),
              QStringLiteral("All (*.*);;Text (*.txt *.log)"));
    EXPECT_EQ(TOrbFileEdit::DialogFilter(QStringLiteral("Images (*.png)")), QStringLiteral("Images (*.png)"));
    EXPECT_EQ(TOrbFileEdit::DialogFilter(QString()), QString());
}
