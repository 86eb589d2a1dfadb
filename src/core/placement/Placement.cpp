#include "core/placement/Placement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Placement {

// The extent across the edge a docked window keeps: what it has, within the work area.
static int Across(int extent, int available)
{
    return std::clamp(extent, 1, std::max(1, available));
}

Docking DockingOf(int align)
{
    return align >= 0 && align <= 5 ? static_cast<Docking>(align) : Docking::None;
}

QRect Dock(const Stored& s, const QRect& current, const QRect& work)
{
    QRect r = current;
    if (s.width != 0)
        r.setWidth(s.width);
    if (s.height != 0)
        r.setHeight(s.height);
    if (s.left != 0)
        r.moveLeft(s.left);
    if (s.top != 0)
        r.moveTop(s.top);

    switch (s.docking) {
        case Docking::Top:
            return QRect(work.left(), work.top(), work.width(), Across(r.height(), work.height()));
        case Docking::Bottom: {
            const int h = Across(r.height(), work.height());
            return QRect(work.left(), work.top() + work.height() - h, work.width(), h);
        }
        case Docking::Left:
            return QRect(work.left(), work.top(), Across(r.width(), work.width()), work.height());
        case Docking::Right: {
            const int w = Across(r.width(), work.width());
            return QRect(work.left() + work.width() - w, work.top(), w, work.height());
        }
        case Docking::Max:
            return work;
        case Docking::None:
            break;
    }
    return r;
}

bool SideBySide(Docking docking)
{
    return docking == Docking::Top || docking == Docking::Bottom;
}

static int ThirtyPercent(int v)
{
    return static_cast<int>(std::lround(0.3 * v));
}

QSize CutToScreen(bool sideBySide, const QSize& window, const QSize& screen)
{
    QSize result = window;
    if (sideBySide) {
        if (std::abs(window.height() - screen.height()) < 40)
            result.setHeight(ThirtyPercent(screen.height()));
    } else {
        if (std::abs(window.width() - screen.width()) < 10)
            result.setWidth(ThirtyPercent(screen.width()));
    }
    return result;
}

QSize CollapsedSize(const QSize& panel)
{
    return QSize(panel.width() + 10, panel.height() + 30);
}

QRect CollapsedRect(Docking docking, const QRect& current, const QSize& size, const QRect& work)
{
    QRect r(current.topLeft(), size);
    switch (docking) {
        case Docking::Top:
            r.moveTop(work.top());
            break;
        case Docking::Bottom:
            r.moveBottom(work.bottom());
            break;
        case Docking::Left:
            r.moveLeft(work.left());
            break;
        case Docking::Right:
            r.moveRight(work.right());
            break;
        default:
            break;
    }
    // Inside the work area; a work area smaller than the window keeps its top-left corner.
    r.moveLeft(std::max(work.left(), std::min(r.left(), work.right() + 1 - r.width())));
    r.moveTop(std::max(work.top(), std::min(r.top(), work.bottom() + 1 - r.height())));
    return r;
}

} // namespace Placement
