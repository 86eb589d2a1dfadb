#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// What a running job sees of its runner: where to report progress and whether to stop.
class TJobContext
{
public:
    // A percent 0..100; each new value reaches the runner's Progress signal, in order.
    virtual void Report(int percent) = 0;
    virtual bool StopRequested() const = 0;

protected:
    ~TJobContext() = default;
};

// Runs one long piece of work at a time on a worker thread and watches it from the thread that
// started it, whose event loop keeps running meanwhile: no nested loop, no waiting. The work
// reports failure by throwing (QbError); Finished then carries the message.
//
// While a job runs, the data it works on belongs to it: the starting thread must not touch it
// until Finished. Destroying a runner asks its job to stop and waits for the job to end.
class TJobRunner : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(TJobContext& context)>;

    explicit TJobRunner(QObject* parent = nullptr);
    ~TJobRunner() override;

    // Starts work and returns at once; false (and nothing started) while a job runs or when
    // no thread can be had.
    bool Start(Work work);
    bool Busy() const { return m_busy; }
    // Asks the running job to end at its next check; it still ends through Finished.
    void RequestStop() { m_stop = true; }
    // Whether the work stops at a safe point when asked (set before Start); one that does not
    // runs to its end, and whoever asks must say so.
    void SetStoppable(bool stoppable) { m_stoppable = stoppable; }
    bool Stoppable() const { return m_stoppable; }

    // Whether any runner of the program has a job running (for closing the program).
    static bool AnyBusy();
    // Whether every running job stops when asked.
    static bool AllStoppable();
    // The runners with a job running now.
    static std::vector<TJobRunner*> Jobs();
    // Asks every running job to stop and waits until each has ended; each then emits Finished
    // before this returns, so its outcome (stopped, or done after all) is not lost.
    static void StopAllAndWait();

Q_SIGNALS:
    void Progress(int percent);
    // Emitted just before Finished: windows that only watch the job go before its outcome is told.
    void Ending();
    // The job ended: error is empty on success. Emitted after the last Progress.
    void Finished(const QString& error);

private:
    class Context;
    void Join();
    void Done();

    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    bool m_busy = false;
    bool m_stoppable = false;
    QString m_error; // written by the worker before it ends, read after joining it
};
