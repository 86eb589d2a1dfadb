#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QDBusConnection;
class QTimer;
class TDatabaseSession;

// Locks a protected database while the program stays open: closes it through the session (the
// key is forgotten with the connection) and reopens it through the normal password dialog.
// What asks for a lock: the user's command, input idle for a set time, the desktop's screen
// lock and the system's suspend. Unprotected databases are never locked.
class TPrivacyLock : public QObject
{
    Q_OBJECT

public:
    explicit TPrivacyLock(TDatabaseSession& session, QObject* parent = nullptr);

    bool Locked() const { return m_locked; }
    QString LockedName() const { return m_name; }
    // The open database is protected: a lock has something to close.
    bool CanLock() const;

    // What stands before a lock: nothing (Ready), something that ends by itself soon (Wait: a
    // window that edits a document is closing, a job is running; the lock is tried again from
    // the event loop), or the user's choice to keep a document open (Refused: no lock).
    enum class Readiness
    {
        Ready,
        Wait,
        Refused
    };

    // Closes the open protected database. Requested: the user asked (and may be asked back).
    // BeforeLock runs first. A lock asked for while one is under way is the same lock.
    void Lock(bool requested);
    // Reopens the locked database, asking its password; stays locked when it does not open.
    void Unlock();

    std::function<Readiness(bool requested)> BeforeLock;

    // Idle: minutes without input (0: never). The clock is injectable for tests (ms).
    void SetIdleMinutes(int minutes);
    int IdleMinutes() const { return m_idleMinutes; }
    std::function<qint64()> Clock;
    void NoteActivity();
    void CheckIdle(); // locks when the idle time has passed

    // The desktop signals, read from the settings when listening starts.
    bool LockOnScreenLock = false; // off until the user turns it on: a new feature changes nothing unasked
    bool LockOnSuspend = false;
    void ReadSettings();
    // Listens for org.freedesktop.ScreenSaver ActiveChanged on session and for logind's
    // PrepareForSleep and session Lock on system. False when neither could be connected.
    bool Listen(QDBusConnection session, QDBusConnection system);

Q_SIGNALS:
    void LockedChanged(bool locked);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private Q_SLOTS:
    void OnScreenSaverActive(bool active);
    void OnPrepareForSleep(bool start);
    void OnSessionLock();

private:
    void SetLocked(bool locked);

    TDatabaseSession& m_session;
    bool m_locked = false;
    bool m_retryQueued = false;
    bool m_locking = false; // BeforeLock may ask the user, in a nested event loop
    QString m_name;
    QString m_path;
    int m_idleMinutes = 0;
    qint64 m_lastInput = 0;
    QTimer* m_idleTimer = nullptr;
};
