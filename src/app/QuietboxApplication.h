#pragma once

#include <QApplication>

// The application object. An exception that a user action raises (from the toolbar, a menu, a
// key or a timer) ends that action here: its message is shown and the program goes on, instead
// of ending in std::terminate with the run's settings unsaved.
class TQuietboxApplication : public QApplication
{
    Q_OBJECT

public:
    TQuietboxApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The general error display: the message dialog when the program has one, else a plain box.
    static void ShowFailure(const QString& text);
};
