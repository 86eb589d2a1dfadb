#include "core/placement/Placement.h"

#include <gtest/gtest.h>

using namespace Placement;

namespace {
const QRect kWork(0, 0, 1280, 1000); // a work area above a 24-pixel panel
const QRect kWindow(100, 120, 640, 451);
} // namespace

TEST(Placement, SideBySideOnlyForTopAndBottomAndOtherNumbersFloat)
{
    EXPECT_TRUE(SideBySide(DockingOf(0)));
    EXPECT_TRUE(SideBySide(DockingOf(1)));
    for (int align : {2, 3, 4, 5, 7, -1, -2147483647})
        EXPECT_FALSE(SideBySide(DockingOf(align))) << align;
    for (int align : {6, -1, 2147483647, -2147483647})
        EXPECT_EQ(DockingOf(align), Docking::None) << align;
}

TEST(Placement, DockedWindowsSpanTheirEdgeOfTheWorkArea)
{
    const QRect work(10, 24, 1270, 976);
    EXPECT_EQ(Dock({Docking::Top, 0, 0, 0, 0}, kWindow, work), QRect(10, 24, 1270, 451));
    EXPECT_EQ(Dock({Docking::Bottom, 0, 0, 0, 0}, kWindow, work), QRect(10, 24 + 976 - 451, 1270, 451));
    EXPECT_EQ(Dock({Docking::Left, 0, 0, 0, 0}, kWindow, work), QRect(10, 24, 640, 976));
    EXPECT_EQ(Dock({Docking::Right, 0, 0, 0, 0}, kWindow, work), QRect(10 + 1270 - 640, 24, 640, 976));
    EXPECT_EQ(Dock({Docking::Max, 0, 0, 0, 0}, kWindow, work), work);
    // Only the dimension across the edge comes from the settings.
    EXPECT_EQ(Dock({Docking::Bottom, 300, 200, 5, 6}, kWindow, work), QRect(10, 24 + 976 - 200, 1270, 200));
    EXPECT_EQ(Dock({Docking::Left, 300, 200, 5, 6}, kWindow, work), QRect(10, 24, 300, 976));
}

TEST(Placement, FloatingWindowTakesStoredValuesButZeroMeansUnset)
{
    // ALIGN 4 with WIDTH 0 keeps the current width.
    EXPECT_EQ(Dock({Docking::None, 0, 300, 50, 60}, kWindow, kWork), QRect(50, 60, 640, 300));
    // LEFT 0 and TOP 0 do not move the window; negative coordinates do.
    EXPECT_EQ(Dock({Docking::None, 500, 400, 0, 0}, kWindow, kWork), QRect(100, 120, 500, 400));
    EXPECT_EQ(Dock({Docking::None, 500, 400, -20, -5}, kWindow, kWork), QRect(-20, -5, 500, 400));
    // Anything outside 0..5 floats too.
    EXPECT_EQ(Dock({DockingOf(7), 500, 400, 30, 40}, kWindow, kWork), QRect(30, 40, 500, 400));
    EXPECT_EQ(Dock({DockingOf(-1), 0, 0, 0, 0}, kWindow, kWork), kWindow);
}

TEST(Placement, ThirtyPercentCutsHaveExactBorders)
{
    const QSize screen(1280, 1024);
    // Side by side: the height is cut within 39 pixels of the screen height, either way.
    EXPECT_EQ(CutToScreen(true, QSize(640, 1024 - 39), screen), QSize(640, 307)); // 0.3 * 1024 = 307.2
    EXPECT_EQ(CutToScreen(true, QSize(640, 1024 - 40), screen), QSize(640, 984));
    EXPECT_EQ(CutToScreen(true, QSize(640, 1024 + 39), screen), QSize(640, 307));
    EXPECT_EQ(CutToScreen(true, QSize(1280, 500), screen), QSize(1280, 500)) << "width is not looked at";
    // Otherwise: the width within 9 pixels; exactly 10 narrower stays.
    EXPECT_EQ(CutToScreen(false, QSize(1280 - 9, 700), screen), QSize(384, 700));
    EXPECT_EQ(CutToScreen(false, QSize(1280 - 10, 700), screen), QSize(1270, 700));
    EXPECT_EQ(CutToScreen(false, QSize(600, 1024), screen), QSize(600, 1024)) << "height is not looked at";
}

TEST(Placement, CollapsedWindowIsThePanelPlusItsFrame)
{
    EXPECT_EQ(CollapsedSize(QSize(148, 57)), QSize(158, 87));
}

TEST(Placement, DockedWindowNeverReachesBeyondTheWorkArea)
{
    const QRect work(8, 16, 1260, 984);
    // Stored sizes larger than the work area, as a window stored on a bigger screen or scale.
    EXPECT_EQ(Dock({Docking::Top, 0, 1500, 0, 0}, kWindow, work), QRect(8, 16, 1260, 984));
    EXPECT_EQ(Dock({Docking::Bottom, 0, 1500, 0, 0}, kWindow, work), QRect(8, 16, 1260, 984));
    EXPECT_EQ(Dock({Docking::Left, 2000, 0, 0, 0}, kWindow, work), QRect(8, 16, 1260, 984));
    EXPECT_EQ(Dock({Docking::Right, 2000, 0, 0, 0}, kWindow, work), QRect(8, 16, 1260, 984));
    // Negative sizes leave a window of one pixel on its edge rather than one off the screen.
    EXPECT_EQ(Dock({Docking::Bottom, 0, -40, 0, 0}, kWindow, work), QRect(8, 999, 1260, 1));
    EXPECT_EQ(Dock({Docking::Right, -40, 0, 0, 0}, kWindow, work), QRect(1267, 16, 1, 984));
}

TEST(Placement, CollapsedWindowKeepsToItsEdgeInsideTheWorkArea)
{
    const QRect work(8, 16, 1260, 984); // right edge 1267, bottom edge 999
    const QSize small(158, 87);
    // A collapsed window resized by hand, grown past the bottom or right of the screen.
    const QRect grown(300, 950, 400, 300);
    EXPECT_EQ(CollapsedRect(Docking::Bottom, grown, small, work), QRect(300, 1000 - 87, 158, 87));
    EXPECT_EQ(CollapsedRect(Docking::Right, QRect(1200, 40, 400, 300), small, work), QRect(1268 - 158, 40, 158, 87));
    EXPECT_EQ(CollapsedRect(Docking::Top, grown, small, work), QRect(300, 16, 158, 87));
    EXPECT_EQ(CollapsedRect(Docking::Left, grown, small, work), QRect(8, 913, 158, 87));
    // Floating it stays where it is while it fits, and comes back onto the work area otherwise.
    EXPECT_EQ(CollapsedRect(Docking::None, QRect(300, 400, 10, 10), small, work), QRect(300, 400, 158, 87));
    EXPECT_EQ(CollapsedRect(Docking::None, QRect(-50, -30, 10, 10), small, work), QRect(8, 16, 158, 87));
    // A work area smaller than the window keeps the top-left corner on it.
    EXPECT_EQ(CollapsedRect(Docking::Bottom, grown, small, QRect(0, 0, 100, 50)), QRect(0, 0, 158, 87));
}
