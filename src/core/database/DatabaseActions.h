#pragma once

#include "core/jobs/JobRunner.h"

#include <QObject>
#include <QString>

class TDatabaseSession;

// The use cases that rewrite the open database as a whole: each checks what it can at once,
// then runs as a job on its runner (which stops at a safe point when asked: the old file stays
// as it was), reports its end by a signal and tells the user through the session's prompts.
// While a job runs, the database's connection belongs to it.
class TDatabaseActions : public QObject
{
    Q_OBJECT

public:
    explicit TDatabaseActions(TDatabaseSession& session, QObject* parent = nullptr);

    TDatabaseSession& Session() const { return m_session; }
    TJobRunner& Runner() { return m_runner; }

    // Proves the old password on the open database, closes it and starts putting the new one
    // on it; the database stays closed afterwards, to be opened with the new password. False,
    // with the reason told, when it does not start.
    bool ChangePassword(const QString& oldPassword, const QString& newPassword);
    // Closes the document list and starts the pack of the open database (which removes its
    // password); the list opens again when it has ended, and the user is then offered to set a
    // new password (NewPasswordWanted). False, with the reason told, when it does not start.
    bool Pack();

    static QString PackedText(); // what the user is told after a pack

Q_SIGNALS:
    void Progress(int percent);
    // The job ended; error is empty on success (already told to the user either way).
    void PasswordChanged(const QString& error);
    void Packed(const QString& error);
    // After a pack the user asked to set a new password now.
    void NewPasswordWanted();

private:
    void PackEnded(QString error);

    TDatabaseSession& m_session;
    TJobRunner m_runner;
};
