#pragma once

#include <QRect>
#include <QSize>

// The placement rule of the main window as pure arithmetic, so it can be checked without a
// window system. Rectangles are outer (frame) rectangles.
namespace Placement {

// The docking of the main window; the settings store it as ALIGN, its number.
enum class Docking
{
    Top = 0,
    Bottom = 1,
    Left = 2,
    Right = 3,
    None = 4, // floating
    Max = 5 // the whole work area
};

// The docking of a stored ALIGN number: anything outside 0..5 floats.
Docking DockingOf(int align);

// Where the window goes for a docking and the stored coordinates (0 = not set).
struct Stored
{
    Docking docking = Docking::Bottom;
    int width = 0, height = 0, left = 0, top = 0;
};

// Steps 2-4 of applying the placement: stored coordinates first, then docking against the
// work area. A docked window spans its whole edge; only its other dimension comes from
// `current` as updated by the stored values, and never more than the work area holds, so
// the whole frame of a docked window is on the work area. A floating window goes where it
// was stored, even partly off screen.
QRect Dock(const Stored& stored, const QRect& current, const QRect& workArea);

// Whether list and viewer stand side by side: docked at the top or the bottom edge.
bool SideBySide(Docking docking);

// The 30 % cut of a window that almost fills the screen in the direction the panels are laid
// out: height for side by side (within 39 pixels), width otherwise (within 9 pixels).
QSize CutToScreen(bool sideBySide, const QSize& window, const QSize& screen);

// The collapsed window: the collapsed panel plus 10 wide and 30 high.
QSize CollapsedSize(const QSize& collapsedPanel);

// Where the collapsed window of `size` goes when it is at `current`: on the edge it is docked
// to, and wholly inside the work area whatever the docking, so it stays reachable.
QRect CollapsedRect(Docking docking, const QRect& current, const QSize& size, const QRect& workArea);

} // namespace Placement
