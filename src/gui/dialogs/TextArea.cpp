#include "gui/dialogs/TextArea.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

void FitTextArea(QPlainTextEdit* area, const QSize& designSize)
{
    const QScreen* screen = area->screen() ? area->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QString text = area->toPlainText();
    const QFontMetrics metrics(area->font());
    const int frame = 2 * area->frameWidth();
    const int margin = 2 * int(std::ceil(area->document()->documentMargin()));
    const int slack = metrics.averageCharWidth(); // the cursor's room at a line's end

    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int maxWidth = std::max(designSize.width(), std::min(560, room.width() / 2));
    const int width = std::clamp(widest + frame + margin + slack, designSize.width(), maxWidth);

    // The wrapped height at that width, measured the way the area lays its text out.
    QTextDocument measure;
    measure.setDefaultFont(area->font());
    measure.setDocumentMargin(area->document()->documentMargin());
    QTextOption option = measure.defaultTextOption();
    option.setWrapMode(area->wordWrapMode());
    measure.setDefaultTextOption(option);
    measure.setPlainText(text);
    measure.setTextWidth(width - frame);
    const int needed = int(std::ceil(measure.size().height())) + frame + metrics.lineSpacing() / 2;
    const int maxHeight = std::max(designSize.height(), room.height() * 3 / 5);
    const int height = std::clamp(needed, designSize.height(), maxHeight);

    area->setVerticalScrollBarPolicy(needed > maxHeight ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    area->setFixedSize(width, height);
    area->verticalScrollBar()->setValue(0);
}
