// The collapsed drop target window.
#include "gui/intake/target.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

namespace {

QLabel* MakeLabel(const char* name, const char* text, bool bold, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

} // namespace

TO_target::TO_target(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("O_target1"));
    setToolTip(QStringLiteral("Drop text or a picture here to make it a document"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    setPalette(pal);

    Label2 = MakeLabel("Label2", "Accepted since collaps:", false, this);
    Label_counter = MakeLabel("Label_counter", "0", true, this);
    Label1 = MakeLabel("Label1", "Status:", false, this);
    Label_status = MakeLabel("Label_status", "Waiting...", true, this);

    // A row each, the value right after its caption, so that the small target can fit both.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    for (auto [caption, value] : {std::pair{Label2, Label_counter}, std::pair{Label1, Label_status}}) {
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        row->addWidget(caption);
        row->addWidget(value, 1);
        layout->addLayout(row);
    }
}

void TO_target::ShowStatus(const QString& text)
{
    Label_status->setText(text);
    Label_status->repaint();
    QCoreApplication::processEvents();
}

void TO_target::ShowWaiting()
{
    ShowStatus(QStringLiteral("Waiting..."));
}

void TO_target::ShowAccepting()
{
    ShowStatus(QStringLiteral("Accepting..."));
}

void TO_target::ResetCounter()
{
    Label_counter->setText(QStringLiteral("0"));
}

void TO_target::CountAccepted()
{
    bool ok = false;
    const int n = Label_counter->text().toInt(&ok);
    if (ok)
        Label_counter->setText(QString::number(n + 1));
}

void TO_target::resizeEvent(QResizeEvent* e)
{
    QFrame::resizeEvent(e);
    FitFont();
}

void TO_target::FitFont()
{
    const QMargins m = layout()->contentsMargins();
    const int spacing = 2;
    const int width = contentsRect().width() - m.left() - m.right() - spacing;
    const int height = contentsRect().height() - m.top() - m.bottom() - spacing;
    QFont plain = QWidget::font();
    for (qreal size = plain.pointSizeF(); size > 0; size -= 0.5) {
        plain.setPointSizeF(std::max<qreal>(size, 5.0));
        QFont bold = plain;
        bold.setBold(true);
        const QFontMetrics fp(plain), fb(bold);
        const int needed
            = std::max(fp.horizontalAdvance(Label2->text()) + fb.horizontalAdvance(QStringLiteral("000")),
                       fp.horizontalAdvance(Label1->text()) + fb.horizontalAdvance(QStringLiteral("Accepting...")));
        if ((needed <= width && 2 * std::max(fp.height(), fb.height()) <= height) || size <= 5.0)
            break;
    }
    QFont bold = plain;
    bold.setBold(true);
    Label2->setFont(plain);
    Label1->setFont(plain);
    Label_counter->setFont(bold);
    Label_status->setFont(bold);
}
