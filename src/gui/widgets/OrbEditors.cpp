#include "gui/widgets/OrbEditors.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <qdrawutil.h>

TClickControl::TClickControl(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void TClickControl::DoClick()
{
    Q_EMIT Click();
}

TOrbCustomEditButton::TOrbCustomEditButton(QWidget* parent)
    : TClickControl(parent)
{
    // The field above shows an I-beam; over the button the pointer is a plain arrow.
    setCursor(Qt::ArrowCursor);
}

QSize TOrbCustomEditButton::sizeHint() const
{
    return {30, 20};
}

void TOrbCustomEditButton::PaintGlyph(QPainter&, const QRect&) { }

void TOrbCustomEditButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette& pal = palette();
    QRect r = rect();
    painter.fillRect(r, pal.button());
    if (!m_pressed) {
        qDrawWinButton(&painter, r, pal, false, &pal.button());
    } else {
        painter.setPen(pal.color(QPalette::ButtonText));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
    r.adjust(2, 2, -2, -2);
    if (m_pressed)
        r.translate(1, 1);
    PaintGlyph(painter, r);
}

void TOrbCustomEditButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        TClickControl::mousePressEvent(event);
        return;
    }
    m_captured = true;
    SetPressed(true);
}

void TOrbCustomEditButton::mouseMoveEvent(QMouseEvent* event)
{
    if (m_captured)
        SetPressed(rect().contains(event->position().toPoint()));
}

void TOrbCustomEditButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_captured) {
        TClickControl::mouseReleaseEvent(event);
        return;
    }
    m_captured = false;
    const bool click = m_pressed;
    SetPressed(false);
    if (click)
        DoClick();
}

void TOrbCustomEditButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            m_captured = false;
            m_pressed = false;
        }
        update();
    }
    TClickControl::changeEvent(event);
}

void TOrbCustomEditButton::SetPressed(bool pressed)
{
    if (pressed == m_pressed || !isEnabled())
        return;
    m_pressed = pressed;
    update();
}

void TEllipsisButton::PaintGlyph(QPainter& painter, const QRect& rect)
{
    const QColor colour = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    // Integer division truncating towards zero, as a too small rectangle must still centre.
    const int left = rect.left() + (rect.width() - 10) / 2;
    const int top = rect.top() + (rect.height() - 2) / 2;
    for (int i = 0; i < 3; ++i)
        painter.fillRect(left + 4 * i, top, 2, 2, colour);
}

TCustomValueEdit::TCustomValueEdit(QWidget* parent)
    : QLineEdit(parent)
{
    // Clicking anything else in the window settles a pending change, even a control that does
    // not take the focus; the application filter sees those clicks.
    qApp->installEventFilter(this);
}

TCustomValueEdit::~TCustomValueEdit()
{
    qApp->removeEventFilter(this);
}

void TCustomValueEdit::Reset()
{
    setModified(false);
}

void TCustomValueEdit::Accept()
{
    setModified(false);
}

void TCustomValueEdit::Clear() { }

void TCustomValueEdit::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Accept();
            event->accept();
            return;
        case Qt::Key_Escape:
            // Reset, but let the key travel on (a dialog may still close on it).
            Reset();
            event->ignore();
            return;
        case Qt::Key_Delete:
            QLineEdit::keyPressEvent(event);
            if (mods == Qt::ControlModifier)
                Clear();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void TCustomValueEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    // A click places the cursor, and coming back from a popup or another window is no new entry.
    if (m_autoSelect && reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason
        && reason != Qt::ActiveWindowFocusReason)
        selectAll();
}

void TCustomValueEdit::focusOutEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    // The field's own context menu or a switch to another window does not leave the field.
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && isModified())
        Accept();
    QLineEdit::focusOutEvent(event);
}

bool TCustomValueEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() && isModified()) {
        auto* clicked = static_cast<QWidget*>(watched);
        if (clicked != this && !isAncestorOf(clicked) && clicked->window() == window()
            && window()->focusWidget() == this)
            Accept();
    }
    return QLineEdit::eventFilter(watched, event);
}

TCustomButtonEdit::TCustomButtonEdit(QWidget* parent)
    : TCustomValueEdit(parent)
    , m_holder(new QWidget(this))
{
    m_holder->setObjectName(QStringLiteral("ButtonHolder"));
    m_holder->setCursor(Qt::ArrowCursor);
    PlaceButton();
}

TOrbCustomEditButton* TCustomButtonEdit::Button()
{
    if (!m_button) {
        m_button = ButtonClass(m_holder);
        m_button->setParent(m_holder);
        m_button->setObjectName(QStringLiteral("Button"));
        m_button->setGeometry(m_holder->rect());
        m_button->show();
        connect(m_button, &TClickControl::Click, this, &TCustomButtonEdit::ButtonClicked);
    }
    return m_button;
}

void TCustomButtonEdit::ButtonClick()
{
    if (isModified())
        Accept();
}

TOrbCustomEditButton* TCustomButtonEdit::ButtonClass(QWidget* holder) const
{
    return new TOrbCustomEditButton(holder);
}

void TCustomButtonEdit::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Down && mods == Qt::AltModifier) {
        event->accept();
        ButtonClick();
        return;
    }
    TCustomValueEdit::keyPressEvent(event);
}

void TCustomButtonEdit::resizeEvent(QResizeEvent* event)
{
    TCustomValueEdit::resizeEvent(event);
    PlaceButton();
}

void TCustomButtonEdit::showEvent(QShowEvent* event)
{
    Button();
    TCustomValueEdit::showEvent(event);
}

void TCustomButtonEdit::PlaceButton()
{
    // The square takes the full height inside the frame; the text margin keeps the text out of it.
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect inner = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const int side = qMax(0, inner.height());
    m_holder->setGeometry(inner.right() + 1 - side, inner.top(), side, side);
    if (m_button)
        m_button->setGeometry(m_holder->rect());
    if (textMargins().right() != side)
        setTextMargins(0, 0, side, 0);
}

void TCustomButtonEdit::ButtonClicked()
{
    if (isVisible())
        setFocus(Qt::MouseFocusReason);
    ButtonClick();
}
