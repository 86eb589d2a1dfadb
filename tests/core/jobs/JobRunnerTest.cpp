#include "core/jobs/JobRunner.h"

#include "core/common/QbError.h"

#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Waits, bounded, for something only the other thread can bring about.
template <typename F> bool Eventually(F done)
{
    for (int i = 0; i < 2000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(JobRunnerTest, TheStartingThreadKeepsHandlingEventsWhileASlowJobRuns)
{
    TJobRunner runner;
    std::atomic<int> ticks{0};
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(1);
    QSignalSpy progress(&runner, &TJobRunner::Progress);
    QSignalSpy finished(&runner, &TJobRunner::Finished);

    // The job can only end once the starting thread has handled events meanwhile.
    ASSERT_TRUE(runner.Start([&ticks](TJobContext& job) {
        for (int step = 1; step <= 4; ++step) {
            const int seen = ticks.load();
            if (!Eventually([&] { return ticks.load() > seen; }))
                throw QbError(QStringLiteral("the event loop stood still"));
            job.Report(step * 25);
            job.Report(step * 25); // repeated: reported once
        }
    }));
    EXPECT_TRUE(runner.Busy());
    EXPECT_FALSE(runner.Start([](TJobContext&) {})) << "one job at a time";
    EXPECT_TRUE(TJobRunner::AnyBusy());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(finished.at(0).at(0).toString(), QString());
    ASSERT_EQ(progress.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(progress.at(i).at(0).toInt(), (i + 1) * 25);
    EXPECT_FALSE(runner.Busy());
    EXPECT_FALSE(TJobRunner::AnyBusy());
}

TEST(JobRunnerTest, FailuresAndStopsEndThroughFinished)
{
    TJobRunner runner;
    QSignalSpy finished(&runner, &TJobRunner::Finished);
    ASSERT_TRUE(runner.Start([](TJobContext&) { throw QbError(QStringLiteral("disk full")); }));
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(finished.at(0).at(0).toString(), QStringLiteral("disk full"));

    std::atomic<bool> sawStop{false};
    ASSERT_TRUE(
        runner.Start([&sawStop](TJobContext& job) { sawStop = Eventually([&job] { return job.StopRequested(); }); }));
    runner.RequestStop();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(sawStop);
}

TEST(JobRunnerTest, ARunnerDestroyedOrStoppedUnderAJobWaitsForIt)
{
    std::atomic<bool> ended{false};
    {
        TJobRunner runner;
        ASSERT_TRUE(runner.Start([&ended](TJobContext& job) {
            Eventually([&job] { return job.StopRequested(); });
            ended = true;
        }));
    }
    EXPECT_TRUE(ended);

    ended = false;
    TJobRunner runner;
    QSignalSpy finished(&runner, &TJobRunner::Finished);
    ASSERT_TRUE(runner.Start([&ended](TJobContext& job) {
        Eventually([&job] { return job.StopRequested(); });
        ended = true;
    }));
    EXPECT_FALSE(TJobRunner::AllStoppable()) << "not declared";
    TJobRunner::StopAllAndWait();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(TJobRunner::AnyBusy());
    ASSERT_EQ(finished.size(), 1) << "its outcome is delivered before the wait ends";
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.size(), 1) << "and only once";
}

} // namespace
