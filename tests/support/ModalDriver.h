#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace qbtest {

// How long a test waits for a modal window before it fails instead of hanging.
inline constexpr int ModalDeadlineMs = 20000;

// Closes every modal window that is open, so that the exec() under test returns.
inline void CloseModalWindows()
{
    while (QWidget* w = QApplication::activeModalWidget()) {
        w->close();
        if (QApplication::activeModalWidget() == w)
            break; // a window that refuses to close
    }
}

// Runs `act` on the next visible modal window of class T (other than `except`) as soon as it
// is shown, while its exec() runs. Schedule it before the call that opens the window. When no
// such window shows up within the deadline, the test fails and open modal windows are closed.
template <class T = QWidget> void OnModal(std::function<void(T*)> act, const QWidget* except = nullptr)
{
    // Owned by the application too, so a timer whose deferred delete never ran goes with it.
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, except, clock] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window || window == except || !window->isVisible()) {
            if (clock->elapsed() > ModalDeadlineMs) {
                timer->stop();
                timer->deleteLater();
                ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " opened";
                CloseModalWindows();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(window);
    });
    timer->start();
}

// Fails the test and closes what is still modal when the scope outlives the deadline, so that
// a dialog left open ends the test instead of hanging it.
class ModalWatchdog
{
public:
    ModalWatchdog()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [] {
            ADD_FAILURE() << "a modal window stayed open";
            CloseModalWindows();
        });
        m_timer.start(ModalDeadlineMs);
    }

private:
    QTimer m_timer;
};

// Fails the test when one modal window stays open past the deadline, and closes it: a window
// that nobody drives ends the test instead of hanging it. The window fixture keeps one.
class StrayModalGuard
{
public:
    StrayModalGuard()
    {
        m_timer.setInterval(200);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w != m_window) {
                m_window = w;
                m_since.start();
                return;
            }
            if (w && m_since.elapsed() > ModalDeadlineMs) {
                ADD_FAILURE() << "the modal window " << w->objectName().toStdString() << " stayed open";
                CloseModalWindows();
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
    QWidget* m_window = nullptr;
    QElapsedTimer m_since;
};

} // namespace qbtest
