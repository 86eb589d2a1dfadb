#include "core/database/PrivacyLock.h"

#include "core/database/Connection.h"
#include "core/database/DatabaseSession.h"
#include "core/settings/SettingsModel.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QEvent>
#include <QTimer>

namespace {

// logind's object path of a session: every byte but letters and digits (and a leading digit)
// escaped as _xx.
QString SessionPath(const QByteArray& id)
{
    QString path = QStringLiteral("/org/freedesktop/login1/session/");
    for (int i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && c >= '0' && c <= '9');
        path += plain ? QString(QLatin1Char(c)) : QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return path;
}

} // namespace

TPrivacyLock::TPrivacyLock(TDatabaseSession& session, QObject* parent)
    : QObject(parent)
    , Clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_session(session)
{
    m_idleTimer = new QTimer(this);
    m_idleTimer->setInterval(15 * 1000);
    connect(m_idleTimer, &QTimer::timeout, this, &TPrivacyLock::CheckIdle);
    // Any open (the unlock or another database) ends the locked state.
    connect(&m_session, &TDatabaseSession::StateChanged, this, [this] {
        if (m_locked && m_session.DatabaseOpen())
            SetLocked(false);
    });
}

bool TPrivacyLock::CanLock() const
{
    return !m_locked && m_session.DatabaseOpen() && m_session.Connection().IsOpen()
        && TDatabaseSession::IsProtectedDatabase(m_session.Connection().Path());
}

void TPrivacyLock::Lock(bool requested)
{
    if (!CanLock() || m_locking)
        return;
    m_locking = true;
    const Readiness ready = BeforeLock ? BeforeLock(requested) : Readiness::Ready;
    m_locking = false;
    if (ready == Readiness::Refused || !CanLock())
        return;
    if (ready == Readiness::Wait) {
        // Lock once the closing window's event loop or the job has ended.
        if (!m_retryQueued) {
            m_retryQueued = true;
            QTimer::singleShot(50, this, [this, requested] {
                m_retryQueued = false;
                Lock(requested);
            });
        }
        return;
    }
    m_name = m_session.CurrentDatabaseName();
    m_path = m_session.Connection().Path();
    m_session.CloseDatabase(); // pending edits are written back as the list closes
    SetLocked(true);
}

void TPrivacyLock::Unlock()
{
    if (!m_locked)
        return;
    // The normal open of a protected database: the selection dialog with it selected.
    m_session.OpenCreatedDatabase(m_name, m_path, QString());
}

void TPrivacyLock::SetLocked(bool locked)
{
    m_locked = locked;
    if (!locked) {
        m_name.clear();
        m_path.clear();
    }
    NoteActivity();
    Q_EMIT LockedChanged(locked);
}

void TPrivacyLock::SetIdleMinutes(int minutes)
{
    m_idleMinutes = std::max(0, minutes);
    NoteActivity();
    if (m_idleMinutes > 0) {
        QCoreApplication::instance()->installEventFilter(this);
        m_idleTimer->start();
    } else {
        QCoreApplication::instance()->removeEventFilter(this);
        m_idleTimer->stop();
    }
}

void TPrivacyLock::NoteActivity()
{
    m_lastInput = Clock();
}

void TPrivacyLock::CheckIdle()
{
    if (m_idleMinutes > 0 && Clock() - m_lastInput >= qint64(m_idleMinutes) * 60 * 1000)
        Lock(false);
}

bool TPrivacyLock::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            NoteActivity();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, e);
}

void TPrivacyLock::ReadSettings()
{
    const TSettingsModel& settings = m_session.Settings();
    LockOnScreenLock = settings.LockOnScreenLock();
    LockOnSuspend = settings.LockOnSuspend();
    SetIdleMinutes(settings.LockIdleMinutes());
}

bool TPrivacyLock::Listen(QDBusConnection session, QDBusConnection system)
{
    bool any = false;
    if (session.isConnected())
        any |= session.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                               QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                               SLOT(OnScreenSaverActive(bool)));
    if (system.isConnected()) {
        const QString login = QStringLiteral("org.freedesktop.login1");
        any |= system.connect(login, QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                              SLOT(OnPrepareForSleep(bool)));
        const QByteArray id = qgetenv("XDG_SESSION_ID");
        if (!id.isEmpty())
            any |= system.connect(login, SessionPath(id), QStringLiteral("org.freedesktop.login1.Session"),
                                  QStringLiteral("Lock"), this, SLOT(OnSessionLock()));
    }
    return any;
}

void TPrivacyLock::OnScreenSaverActive(bool active)
{
    if (active && LockOnScreenLock)
        Lock(false);
}

void TPrivacyLock::OnPrepareForSleep(bool start)
{
    if (start && LockOnSuspend)
        Lock(false);
}

void TPrivacyLock::OnSessionLock()
{
    if (LockOnScreenLock)
        Lock(false);
}
