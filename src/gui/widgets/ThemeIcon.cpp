#include "gui/widgets/ThemeIcon.h"

#include <QAction>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolBar>
#include <QWidget>
#include <cmath>

namespace {

// The program's own drawings, on a 16 x 16 grid, for a desktop without an icon theme.
using Draw = void (*)(QPainter&);

const QColor kInk(60, 60, 60);

void Page(QPainter& p, const QRectF& r, const QColor& paper = Qt::white)
{
    QPainterPath path;
    const qreal fold = r.width() / 3;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(paper);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void Cylinder(QPainter& p, const QRectF& r, const QColor& colour)
{
    const qreal cap = r.height() / 4;
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(colour);
    QPainterPath body;
    body.moveTo(r.left(), r.top() + cap / 2);
    body.lineTo(r.left(), r.bottom() - cap / 2);
    body.arcTo(QRectF(r.left(), r.bottom() - cap, r.width(), cap), 180, 180);
    body.lineTo(r.right(), r.top() + cap / 2);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(colour.lighter(130));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), cap));
}

void Arrow(QPainter& p, const QPolygonF& shape, const QColor& colour)
{
    p.setPen(QPen(colour.darker(140), 0.8));
    p.setBrush(colour);
    p.drawPolygon(shape);
}

void Lens(QPainter& p, bool plus)
{
    p.setPen(QPen(QColor(120, 80, 30), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QPointF(6.5, 6.5), 5, 5);
    if (plus) {
        p.setPen(QPen(QColor(0, 120, 0), 1.6));
        p.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
        p.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
    }
}

void Pencil(QPainter& p)
{
    p.save();
    p.translate(11, 8);
    p.rotate(45);
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(QColor(240, 160, 40));
    p.drawRect(QRectF(-1.4, -6, 2.8, 9));
    p.setBrush(QColor(250, 220, 170));
    p.drawPolygon(QPolygonF({QPointF(-1.4, 3), QPointF(1.4, 3), QPointF(0, 6)}));
    p.restore();
}

void CircleArrow(QPainter& p, const QColor& colour)
{
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
    Arrow(p, QPolygonF({QPointF(8, 0.5), QPointF(12, 3), QPointF(8, 5.5)}), colour);
}

const struct
{
    const char* name;
    Draw draw;
} kDrawings[] = {
    {"go-next",
     [](QPainter& p) {
         Arrow(p, QPolygonF({{4, 2}, {13, 8}, {4, 14}}), QColor(40, 160, 40));
     }},
    {"go-previous",
     [](QPainter& p) {
         Arrow(p, QPolygonF({{12, 2}, {3, 8}, {12, 14}}), QColor(40, 160, 40));
     }},
    {"go-down",
     [](QPainter& p) {
         p.setPen(QPen(kInk, 1));
         p.setBrush(Qt::NoBrush);
         p.drawRect(QRectF(1.5, 11.5, 13, 3));
         Arrow(p, QPolygonF({{5, 1}, {11, 1}, {11, 5}, {14, 5}, {8, 10.5}, {2, 5}, {5, 5}}), QColor(40, 110, 200));
     }},
    // An embedded object: a box, unlike any page.
    {"application-x-executable",
     [](QPainter& p) {
         p.setPen(QPen(kInk, 0.8));
         p.setBrush(QColor(90, 130, 220));
         p.drawPolygon(QPolygonF({{2, 5}, {8, 8}, {8, 15}, {2, 12}}));
         p.setBrush(QColor(60, 95, 180));
         p.drawPolygon(QPolygonF({{8, 8}, {14, 5}, {14, 12}, {8, 15}}));
         p.setBrush(QColor(150, 185, 250));
         p.drawPolygon(QPolygonF({{2, 5}, {8, 2}, {14, 5}, {8, 8}}));
     }},
    {"image-x-generic",
     [](QPainter& p) {
         p.setPen(QPen(kInk, 0.8));
         p.setBrush(QColor(150, 200, 255));
         p.drawRect(QRectF(1.5, 2.5, 13, 11));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(250, 200, 0));
         p.drawEllipse(QPointF(11, 5.5), 1.8, 1.8);
         p.setBrush(QColor(50, 150, 50));
         p.drawPolygon(QPolygonF({{2, 13}, {6.5, 6.5}, {10, 11}, {11.5, 9}, {14, 13}}));
     }},
    // Rich text: a page of coloured lines, a large initial.
    {"text-x-generic",
     [](QPainter& p) {
         Page(p, QRectF(2.5, 0.5, 11, 15));
         p.setPen(QPen(QColor(200, 30, 30), 1.6));
         p.drawLine(QPointF(4.5, 4), QPointF(8, 4));
         p.setPen(QPen(kInk, 1));
         for (const qreal y : {7.0, 9.5, 12.0})
             p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
     }},
    {"text-html",
     [](QPainter& p) {
         p.setPen(QPen(QColor(20, 80, 160), 1));
         p.setBrush(QColor(170, 210, 250));
         p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QRectF(5, 1.5, 6, 13));
         p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
         p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
     }},
    {"network-connect",
     [](QPainter& p) {
         Cylinder(p, QRectF(1, 3, 9, 12), QColor(230, 190, 60));
         Arrow(p, QPolygonF({{9, 4}, {12, 4}, {12, 1}, {15.5, 5.5}, {12, 10}, {12, 7}, {9, 7}}), QColor(40, 160, 40));
     }},
    {"dialog-password",
     [](QPainter& p) {
         p.setPen(QPen(QColor(150, 110, 0), 2.2, Qt::SolidLine, Qt::FlatCap));
         p.drawLine(QPointF(7, 8), QPointF(15, 8));
         p.drawLine(QPointF(12.5, 8), QPointF(12.5, 11.5));
         p.drawLine(QPointF(14.5, 8), QPointF(14.5, 11));
         p.setPen(QPen(QColor(150, 110, 0), 1));
         p.setBrush(QColor(245, 200, 40));
         p.drawEllipse(QPointF(4.5, 8), 3.5, 3.5);
         p.setBrush(Qt::white);
         p.drawEllipse(QPointF(3.8, 8), 1, 1);
     }},
    {"document-new",
     [](QPainter& p) {
         Page(p, QRectF(1.5, 0.5, 10, 14));
         p.setPen(QPen(QColor(30, 150, 30), 2.2));
         p.drawLine(QPointF(12, 9), QPointF(12, 16));
         p.drawLine(QPointF(8.5, 12.5), QPointF(15.5, 12.5));
     }},
    {"edit-delete",
     [](QPainter& p) {
         p.setPen(QPen(QColor(200, 30, 30), 2.6, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(3, 3), QPointF(13, 13));
         p.drawLine(QPointF(13, 3), QPointF(3, 13));
     }},
    {"edit-find", [](QPainter& p) { Lens(p, false); }},
    {"zoom-in", [](QPainter& p) { Lens(p, true); }},
    {"document-edit",
     [](QPainter& p) {
         Page(p, QRectF(1.5, 0.5, 10, 14));
         Pencil(p);
     }},
    {"document-properties", [](QPainter& p) { Cylinder(p, QRectF(2, 1, 12, 14), QColor(120, 150, 190)); }},
    {"preferences-system",
     [](QPainter& p) {
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(110, 110, 120));
         p.save();
         p.translate(8, 8);
         for (int i = 0; i < 8; ++i) {
             p.drawRect(QRectF(-1.4, -7.5, 2.8, 4));
             p.rotate(45);
         }
         p.restore();
         p.drawEllipse(QPointF(8, 8), 5, 5);
         p.setBrush(Qt::white);
         p.drawEllipse(QPointF(8, 8), 2, 2);
     }},
    {"help-contents",
     [](QPainter& p) {
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(40, 110, 200));
         p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
         QFont f = p.font();
         f.setBold(true);
         f.setPixelSize(12);
         p.setFont(f);
         p.setPen(Qt::white);
         p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
     }},
    {"document-open",
     [](QPainter& p) {
         p.setPen(QPen(QColor(150, 110, 20), 0.8));
         p.setBrush(QColor(230, 180, 60));
         p.drawPolygon(QPolygonF({{1, 3}, {6, 3}, {7.5, 4.5}, {14, 4.5}, {14, 13}, {1, 13}}));
         p.setBrush(QColor(250, 215, 110));
         p.drawPolygon(QPolygonF({{3, 7}, {15.5, 7}, {14, 13}, {1, 13}}));
     }},
    {"document-save-as",
     [](QPainter& p) {
         p.setPen(QPen(kInk, 0.8));
         p.setBrush(QColor(50, 90, 170));
         p.drawRect(QRectF(1.5, 1.5, 13, 13));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(4, 1.5, 8, 5));
         p.setBrush(QColor(200, 200, 200));
         p.drawRect(QRectF(4, 9.5, 8, 5));
     }},
    {"view-refresh", [](QPainter& p) { CircleArrow(p, QColor(40, 150, 40)); }},
    {"edit-copy",
     [](QPainter& p) {
         Page(p, QRectF(1.5, 0.5, 9, 11));
         Page(p, QRectF(5.5, 4.5, 9, 11));
     }},
    {"edit-paste",
     [](QPainter& p) {
         p.setPen(QPen(QColor(110, 70, 30), 0.8));
         p.setBrush(QColor(180, 130, 70));
         p.drawRoundedRect(QRectF(1.5, 2, 11, 13.5), 1, 1);
         p.setBrush(QColor(200, 200, 200));
         p.drawRect(QRectF(4.5, 0.5, 5, 3));
         Page(p, QRectF(6.5, 5.5, 8.5, 10));
     }},
};

Draw DrawingOf(const char* name)
{
    for (const auto& d : kDrawings)
        if (qstrcmp(d.name, name) == 0)
            return d.draw;
    return nullptr;
}

class TDrawnIconEngine : public QIconEngine
{
public:
    explicit TDrawnIconEngine(Draw draw)
        : m_draw(draw)
    {
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 16.0, rect.height() / 16.0);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.35);
        m_draw(*painter);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }
    QIconEngine* clone() const override { return new TDrawnIconEngine(m_draw); }
    QString key() const override { return QStringLiteral("quietbox-drawn"); }

private:
    Draw m_draw;
};

} // namespace

QIcon ProgramIcon(const char* themeName)
{
    const Draw draw = DrawingOf(themeName);
    return draw ? QIcon(new TDrawnIconEngine(draw)) : QIcon();
}

QIcon ThemeIcon(const QWidget* widget, const char* themeName, QStyle::StandardPixmap fallback)
{
    QIcon own = ProgramIcon(themeName);
    return QIcon::fromTheme(QString::fromLatin1(themeName),
                            own.isNull() ? widget->style()->standardIcon(fallback) : own);
}

QAction* AddNamedAction(QToolBar* bar, const char* name, const char* hint, const char* themeName,
                        QStyle::StandardPixmap fallback)
{
    QAction* a = bar->addAction(ThemeIcon(bar, themeName, fallback), QString::fromLatin1(hint));
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(QString::fromLatin1(hint));
    a->setStatusTip(QString::fromLatin1(hint));
    if (QWidget* button = bar->widgetForAction(a))
        button->setObjectName(QString::fromLatin1(name));
    return a;
}
