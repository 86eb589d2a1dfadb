// The collapsed drop target window.
#pragma once

// The collapsed drop target: how many documents were taken in since the window last collapsed
// or expanded, and whether an import is running.
#include <QFrame>

class QLabel;

class TO_target : public QFrame
{
    Q_OBJECT
public:
    explicit TO_target(QWidget* parent = nullptr);

    // The status, painted at once: an import runs inside the drop call, with no event loop of
    // its own to paint it.
    void ShowWaiting();
    void ShowAccepting();
    void ResetCounter();
    // One more; a counter that does not read as a number is left as it is.
    void CountAccepted();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void ShowStatus(const QString& text);
    // The target keeps its small size whatever the desktop's font: the labels' font shrinks
    // until both lines fit.
    void FitFont();

    // Controls (objectName = member name).
    QLabel* Label2 = nullptr;
    QLabel* Label_counter = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label_status = nullptr;
};
