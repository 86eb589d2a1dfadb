#include "core/placement/Placement.h"

#include <cmath>
#include <cstdlib>

namespace Placement {

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
            return QRect(work.left(), work.top(), work.width(), r.height());
        case Docking::Bottom:
            return QRect(work.left(), work.top() + work.height() - r.height(), work.width(), r.height());
        case Docking::Left:
            return QRect(work.left(), work.top(), r.width(), work.height());
        case Docking::Right:
            return QRect(work.left() + work.width() - r.width(), work.top(), r.width(), work.height());
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

} // namespace Placement
