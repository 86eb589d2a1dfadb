#include "gui/intake/DropTarget.h"

#include "core/intake/OleDrop.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <gtest/gtest.h>

namespace {

class DropTargetTest : public ::testing::Test
{
protected:
    DropTargetTest()
    {
        QObject::connect(&dropper, &TOleDropper::OnDrop, &dropper, [this] { kinds << dropper.DropKind(); });
    }

    // A drag from another program entering the window, then dropped on it; whether each was accepted.
    std::pair<bool, bool> DragAndDrop(Qt::DropActions offered, const QMimeData& data, QWidget* over = nullptr)
    {
        QWidget* receiver = over ? over : &window;
        QDragEnterEvent enter(QPoint(5, 5), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(receiver, &enter);
        enterAction = enter.dropAction();
        QDropEvent drop(QPointF(5, 5), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(receiver, &drop);
        dropAction = drop.dropAction();
        return {enter.isAccepted(), drop.isAccepted()};
    }

    QWidget window;
    QLineEdit* field = new QLineEdit(&window); // takes drops of its own
    TOleDropper dropper;
    TDropTarget target{dropper};
    QList<TOleDropper::TDropKind> kinds;
    Qt::DropAction enterAction = Qt::IgnoreAction;
    Qt::DropAction dropAction = Qt::IgnoreAction;
};

TEST_F(DropTargetTest, EveryDragIsTakenAsACopyAndEachDropReachesTheDropper)
{
    EXPECT_FALSE(target.RegisterWindow(nullptr));
    ASSERT_TRUE(target.RegisterWindow(&window));
    EXPECT_TRUE(window.acceptDrops());

    QMimeData text;
    text.setText(QStringLiteral("dragged words"));
    EXPECT_EQ(DragAndDrop(Qt::CopyAction | Qt::MoveAction, text), std::make_pair(true, true));
    EXPECT_EQ(enterAction, Qt::CopyAction) << "a moving source must not delete what it dragged here";
    EXPECT_EQ(dropAction, Qt::CopyAction);

    EXPECT_EQ(DragAndDrop(Qt::MoveAction, text, field), std::make_pair(true, true));
    EXPECT_EQ(dropAction, Qt::MoveAction) << "a source that only moves is answered as it proposes";
    EXPECT_TRUE(field->text().isEmpty()) << "a drop over a control inside the window is the window's";

    QMimeData icons; // nothing usable is still a drop: the receiver explains the refusal
    icons.setData(QStringLiteral("x-special/gnome-icon-list"), "icon");
    DragAndDrop(Qt::CopyAction, icons);
    EXPECT_EQ(kinds, (QList<TOleDropper::TDropKind>{TOleDropper::dkText, TOleDropper::dkText, TOleDropper::dkNone}));

    target.Revoke();
    EXPECT_FALSE(window.acceptDrops());
    DragAndDrop(Qt::CopyAction, text);
    EXPECT_EQ(kinds.size(), 3) << "a revoked window hands on no drop";
}

} // namespace
