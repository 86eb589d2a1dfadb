#pragma once

// The drop target: makes a window accept drags from other programs and hands each drop to a
// TOleDropper.
#include <QObject>
#include <QPointer>
#include <QWidget>

class QDropEvent;
class TOleDropper;

class TDropTarget : public QObject
{
    Q_OBJECT
public:
    explicit TDropTarget(TOleDropper& dropper, QObject* parent = nullptr);
    ~TDropTarget() override;

    // Every drag over the window, or over any control inside it, is accepted whatever it
    // carries; a drop goes to the dropper. A window registered before is revoked first. False
    // (and nothing remembered) without a window.
    bool RegisterWindow(QWidget* window);
    // The window stops accepting drops, unless it accepted them of its own before.
    void Revoke();
    QWidget* RegisteredWindow() const { return m_window; }

    // The action a drop is answered with: a copy whenever the source allows one, so a source
    // that moves never deletes what it dragged here.
    static Qt::DropAction AnswerFor(Qt::DropActions possible, Qt::DropAction proposed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TOleDropper& m_dropper;
    QPointer<QWidget> m_window;
    bool m_acceptedDropsBefore = false;
};
