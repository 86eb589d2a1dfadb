#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace qbtest {

// Runs `act` on the next modal window of class T as soon as it is shown (its exec() is then
// running). Schedule it before the call that opens the window.
template <class T> void OnModal(std::function<void(T*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(window);
    });
    timer->start();
}

} // namespace qbtest
