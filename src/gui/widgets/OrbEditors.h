#pragma once

#include <QLineEdit>
#include <QWidget>

class QPainter;

// A control without a window of its own that reports clicks; subclasses decide when one happens.
class TClickControl : public QWidget
{
    Q_OBJECT
public:
    explicit TClickControl(QWidget* parent = nullptr);

Q_SIGNALS:
    void Click();

protected:
    void DoClick();
};

// The small square button that sits inside the right end of a button edit. It never takes the
// keyboard focus, so the field keeps it while the button is used.
class TOrbCustomEditButton : public TClickControl
{
    Q_OBJECT
public:
    explicit TOrbCustomEditButton(QWidget* parent = nullptr);

    bool Pressed() const { return m_pressed; }
    QSize sizeHint() const override;

protected:
    // Draws the button's symbol into rect; the plain button has none.
    virtual void PaintGlyph(QPainter& painter, const QRect& rect);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetPressed(bool pressed);

    bool m_pressed = false;
    bool m_captured = false;
};

class TEllipsisButton : public TOrbCustomEditButton
{
    Q_OBJECT
public:
    using TOrbCustomEditButton::TOrbCustomEditButton;

protected:
    void PaintGlyph(QPainter& painter, const QRect& rect) override;
};

// A single-line field that settles its pending change itself: Enter and leaving the field accept
// it, Escape resets it. What accepting, resetting and clearing mean is up to subclasses; here
// Accept and Reset only clear the modified flag.
class TCustomValueEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TCustomValueEdit(QWidget* parent = nullptr);
    ~TCustomValueEdit() override;

    virtual void Reset();
    virtual void Accept();
    virtual void Clear();

    bool AutoSelect() const { return m_autoSelect; }
    void SetAutoSelect(bool autoSelect) { m_autoSelect = autoSelect; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_autoSelect = true;
};

// A value edit with a button square at its right end; the text area stops where the square begins.
class TCustomButtonEdit : public TCustomValueEdit
{
    Q_OBJECT
public:
    explicit TCustomButtonEdit(QWidget* parent = nullptr);

    // The button, made on first use because the class to make comes from a virtual call.
    TOrbCustomEditButton* Button();
    // The square window at the right end that holds the button.
    QWidget* ButtonHolder() const { return m_holder; }

    virtual void ButtonClick();

protected:
    // Makes the button this edit shows, inside holder.
    virtual TOrbCustomEditButton* ButtonClass(QWidget* holder) const;

    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceButton();
    void ButtonClicked();

    QWidget* m_holder = nullptr;
    TOrbCustomEditButton* m_button = nullptr;
};
