#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class TDatabaseSession;

// Builds the text index of the open database in the background, on the thread of the window:
// the connection serves one thread at a time, so the work goes in short steps run from the
// event loop, each one transaction of a few hundred rows at most. A step waits while a job
// has the connection or a write of the window's is under way. Closing the database, packing
// it (its list closes) or locking it stops the build between two steps; what was indexed
// stays, and the next open goes on from there.
class TTextIndexer : public QObject
{
    Q_OBJECT

public:
    static constexpr int StepRows = 200;
    static constexpr int StepMs = 25; // the longest a step keeps the window from its events
    static constexpr int PauseMs = 10; // between two steps

    explicit TTextIndexer(TDatabaseSession& session, QObject* parent = nullptr);

    bool Running() const { return m_timer.isActive(); }
    // Looks at the open database and starts or stops the build; the session's state changes
    // call it.
    void Follow();

Q_SIGNALS:
    // Now and then while building: how much is indexed, 0..100.
    void Progress(int percent);
    // The build stopped: complete, or stopped for now (closed, packed, locked, failed).
    void Ended(bool complete);

private:
    void Step();
    void Stop(bool complete);

    TDatabaseSession& m_session;
    QTimer m_timer;
    QElapsedTimer m_sinceReport;
    qint64 m_total = -1; // rows of the database when the build started
    qint64 m_left = 0; // of them not yet indexed
};
