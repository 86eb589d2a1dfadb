#pragma once

#include "core/jobs/JobRunner.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;

// A small window over a long database job: what runs and a progress bar, which moves without
// steps until the job reports a percent. It takes the input of the program's other windows
// without a nested event loop, so they keep repainting; it is not modal, so that their close
// boxes still reach them (the main window's asks about the job). Its close box asks to stop a
// job that stops at a safe point, and says that any other will finish first. It closes and
// deletes itself, with any question of its own still open, when the job has ended; then `done` runs.
class TJobProgress : public QDialog
{
    Q_OBJECT

public:
    // Starts work and shows the window. `done` gets the job's error text (empty on success);
    // it also runs, with the reason, when the job cannot start.
    static TJobProgress* Run(QWidget* parent, const QString& text, TJobRunner::Work work,
                             std::function<void(const QString& error)> done, bool stoppable = false);
    // Shows the window over a job already started on runner (not owned); it closes when that
    // job ends, whoever handles its outcome.
    static TJobProgress* Watch(QWidget* parent, const QString& text, TJobRunner& runner);

    TJobRunner* Runner() const { return m_runner; }
    // Runs ask, which asks the user about the running jobs through the dialog facade; when the
    // last of them ends first, the question closes unanswered (ask's "No"), before the outcome
    // is told.
    static bool AskWhileRunning(const std::function<bool()>& ask);
    // The window of a running job, or null.
    static TJobProgress* Showing();

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Ends the window when its job has ended, with any question it left open.
    void CloseForGood();
    TJobProgress(QWidget* parent, const QString& text, TJobRunner* runner);
    void Show();

    TJobRunner* m_runner = nullptr;
    QLabel* Label_job = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    bool m_asking = false;
    bool m_closing = false;
};
