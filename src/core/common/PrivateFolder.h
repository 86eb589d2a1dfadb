#pragma once

// Private folders for decrypted content: where they live, their locks, and the sweep of those a
// killed run left behind.
#include <QString>

// A folder only this user can enter (0700), made under Base() for content that must not outlive
// its use. A hidden lock file beside it (".<name>.lock") is held with flock() for the folder's
// lifetime, so another running Quietbox's sweep leaves it alone, and the kernel lets the lock go
// when the process dies however it ends. The folder is made after its lock is held and removed
// before the lock is, so a folder whose lock is free is a leftover.
class TPrivateFolder
{
public:
    // Makes Base()/<prefix>XXXXXX; raises QbError when it can not.
    explicit TPrivateFolder(const QString& prefix);
    ~TPrivateFolder();
    TPrivateFolder(const TPrivateFolder&) = delete;
    TPrivateFolder& operator=(const TPrivateFolder&) = delete;

    const QString& Path() const { return m_path; }
    // Overwrites and removes the folder, then lets its lock go. Does nothing the second time.
    void Wipe();

    // Where private folders live: $XDG_RUNTIME_DIR when it is usable (absolute, a folder owned
    // by this user with mode 0700), else "private" in the user's cache folder, made 0700 here.
    // Raises QbError when neither can be had.
    static QString Base();
    // Wipes every <prefix>* folder under either base whose lock no running process holds, and
    // lock files left without a folder. Returns the number of folders wiped; never raises.
    static int SweepLeftovers(const QString& prefix);
    // Overwrites every file below folder with zeros and removes the folder. Links, symbolic or
    // hard, are removed and never written through.
    static void WipeFolder(const QString& folder);

private:
    QString m_path;
    QString m_lockPath;
    int m_lock = -1;
};
