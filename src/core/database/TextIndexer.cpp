#include "core/database/TextIndexer.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DatabaseSession.h"
#include "core/database/TextIndex.h"
#include "core/jobs/JobRunner.h"

namespace {

constexpr int ReportMs = 300;

} // namespace

TTextIndexer::TTextIndexer(TDatabaseSession& session, QObject* parent)
    : QObject(parent)
    , m_session(session)
{
    m_timer.setInterval(PauseMs);
    connect(&m_timer, &QTimer::timeout, this, &TTextIndexer::Step);
    connect(&m_session, &TDatabaseSession::StateChanged, this, &TTextIndexer::Follow);
}

void TTextIndexer::Follow()
{
    TDatabaseConnection& connection = m_session.Connection();
    const bool usable = m_session.DatabaseOpen() && m_session.ListReady() && connection.IsOpen();
    if (!usable) {
        if (Running())
            Stop(false);
        return;
    }
    if (!Running()) {
        m_total = -1; // counted at the first step
        m_sinceReport.invalidate();
        m_timer.start(); // a complete index ends the build at its first step
    }
}

void TTextIndexer::Step()
{
    TDatabaseConnection& connection = m_session.Connection();
    if (!connection.IsOpen()) {
        Stop(false);
        return;
    }
    // Another user of the connection goes first; the step comes back at the next tick.
    if (TJobRunner::AnyBusy() || connection.InTransaction())
        return;
    try {
        if (m_total < 0) {
            TextIndex::Create(connection);
            m_total = TextIndex::Rows(connection);
            m_left = TextIndex::Unindexed(connection);
        }
        const int done = TextIndex::IndexNext(connection, StepRows, StepMs);
        if (done == 0) {
            Stop(true);
            return;
        }
        // Counted as it goes: rows written meanwhile only make the figure a little off.
        m_left -= done;
        if (!m_sinceReport.isValid() || m_sinceReport.elapsed() >= ReportMs) {
            m_sinceReport.start();
            Q_EMIT Progress(m_total > 0 ? int(qBound<qint64>(0, m_total - m_left, m_total) * 100 / m_total) : 100);
        }
    } catch (const QbError&) {
        // Not told here: nobody asked for the build. The search in the text builds the rest and
        // reports its failure; the next open tries again.
        Stop(false);
    }
}

void TTextIndexer::Stop(bool complete)
{
    m_timer.stop();
    Q_EMIT Ended(complete);
}
