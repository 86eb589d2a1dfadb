#include "core/jobs/JobRunner.h"

#include "core/common/QbError.h"

#include <QMetaObject>
#include <QPointer>
#include <set>
#include <system_error>

namespace {

// The runners with a job, touched only by the threads that start and watch them (the GUI's).
std::set<TJobRunner*>& Running()
{
    static std::set<TJobRunner*> running;
    return running;
}

} // namespace

class TJobRunner::Context : public TJobContext
{
public:
    explicit Context(TJobRunner* runner)
        : m_runner(runner)
    {
    }
    void Report(int percent) override
    {
        if (percent == m_last)
            return;
        m_last = percent;
        // Queued to the runner's thread, so steps arrive in order and before the end.
        QMetaObject::invokeMethod(
            m_runner, [r = m_runner, percent] { Q_EMIT r->Progress(percent); }, Qt::QueuedConnection);
    }
    bool StopRequested() const override { return m_runner->m_stop.load(); }

private:
    TJobRunner* m_runner;
    int m_last = -1;
};

TJobRunner::TJobRunner(QObject* parent)
    : QObject(parent)
{
}

TJobRunner::~TJobRunner()
{
    m_stop = true;
    Join();
    Running().erase(this);
}

bool TJobRunner::Start(Work work)
{
    if (m_busy)
        return false;
    Join(); // a finished worker whose end has not been watched yet
    m_stop = false;
    try {
        m_worker = std::thread([this, work = std::move(work)] {
            QString error;
            try {
                Context context(this);
                work(context);
            } catch (const QbError& e) {
                error = e.Message();
            } catch (const std::exception& e) {
                error = QString::fromLocal8Bit(e.what());
            } catch (...) {
                error = QStringLiteral("The operation failed.");
            }
            m_error = error;
            // Should the runner be destroyed first, the call goes with it.
            QMetaObject::invokeMethod(
                this, [this] { Done(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_busy = true;
    Running().insert(this);
    return true;
}

void TJobRunner::Join()
{
    if (m_worker.joinable())
        m_worker.join();
}

void TJobRunner::Done()
{
    Join();
    if (!m_busy)
        return; // ended by StopAllAndWait
    m_busy = false;
    Running().erase(this);
    Q_EMIT Ending();
    Q_EMIT Finished(m_error);
}

bool TJobRunner::AnyBusy()
{
    return !Running().empty();
}

void TJobRunner::StopAllAndWait()
{
    const std::set<TJobRunner*> running = Running();
    for (TJobRunner* runner : running)
        runner->m_stop = true;
    for (TJobRunner* runner : running) {
        // A Finished handler may have ended another runner meanwhile.
        if (Running().count(runner))
            runner->Done();
    }
}

std::vector<TJobRunner*> TJobRunner::Jobs()
{
    return {Running().begin(), Running().end()};
}

bool TJobRunner::AllStoppable()
{
    for (const TJobRunner* runner : Running())
        if (!runner->m_stoppable)
            return false;
    return true;
}
