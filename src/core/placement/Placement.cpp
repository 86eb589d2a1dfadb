#include "core/placement/Placement.h"

#include <cmath>
#include <cstdlib>

namespace Placement {

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

    switch (s.align) {
        case 0: // top edge
            return QRect(work.left(), work.top(), work.width(), r.height());
        case 1: // bottom edge
            return QRect(work.left(), work.top() + work.height() - r.height(), work.width(), r.height());
        case 2: // left edge
            return QRect(work.left(), work.top(), r.width(), work.height());
        case 3: // right edge
            return QRect(work.left() + work.width() - r.width(), work.top(), r.width(), work.height());
        case 5: // the whole work area
            return work;
        default: // 4 and anything else float
            return r;
    }
}

bool SideBySide(int align)
{
    return static_cast<unsigned>(align) <= 1u;
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
