#pragma once

#include "core/jobs/JobRunner.h"

#include <QObject>
#include <QString>

class TDatabaseSession;

// The use cases that make a database or rewrite the open one as a whole: each checks what it
// can at once, then runs as a job on its runner (which stops at a safe point when asked: the old
// file stays as it was), reports its end by a signal and tells the user through the session's
// prompts. While a job runs, the database's connection belongs to it.
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

    // Makes the folder <location>/<name trimmed> (private to the user), an empty database in it
    // and, unless password is empty, puts the password on it; then lists it in the settings
    // (saved). CreateFromArchive rebuilds the database there from a backup archive instead,
    // which keeps its own protection. A failure takes back the folder and leaves the settings
    // as they were. False, with the reason told, when it does not start; else Created follows.
    bool CreateDatabase(const QString& location, const QString& name, const QString& password);
    bool CreateFromArchive(const QString& archive, const QString& location, const QString& name);

    static QString PackedText(); // what the user is told after a pack

Q_SIGNALS:
    void Progress(int percent);
    // The job ended; error is empty on success (already told to the user either way).
    void PasswordChanged(const QString& error);
    void Packed(const QString& error);
    // After a pack the user asked to set a new password now.
    void NewPasswordWanted();
    // A create job ended: on success folder holds the new database, listed under name.
    void Created(const QString& name, const QString& folder, const QString& error);

private:
    void PackEnded(QString error);
    // The checks before anything is made, then mkdir: the new folder, or empty (told).
    QString MakeFolder(const QString& location, const QString& name, const QString& archive);
    bool StartCreate(const QString& name, const QString& folder, const QString& success, TJobRunner::Work work);

    TDatabaseSession& m_session;
    TJobRunner m_runner;
};
