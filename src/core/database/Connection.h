#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <set>

struct sqlite3;
class TQuery;

// The engine connection "ADB": one database folder, exactly one password, opened exclusively.
//
// A database is a folder holding the SQLite/SQLCipher file Docs.db with the table Docs. Open()
// never creates that file and writes nothing until the caller does: a folder with a missing,
// foreign or broken Docs.db is left byte for byte as it was. While open, the file is locked
// exclusively: no other connection, in this process or another, can open it.
//
// Every failure raises QbError with a message text.
class TDatabaseConnection
{
public:
    // Asked for a password when the password list lacks the right one. Return true with the
    // password filled in to try it (it replaces the list's password), false to decline.
    using PasswordRequest = std::function<bool(QString& password)>;
    // Replaces `to` by `from` atomically; false on failure (errno tells why). A seam for tests.
    using RenameFunction = std::function<bool(const QString& from, const QString& to)>;

    TDatabaseConnection();
    ~TDatabaseConnection();
    TDatabaseConnection(const TDatabaseConnection&) = delete;
    TDatabaseConnection& operator=(const TDatabaseConnection&) = delete;

    // The one shared connection of the program.
    static TDatabaseConnection& ADB();

    // The connection parameters: the database folder ("PATH="). Clearing them closes nothing.
    void SetParams(const QString& folder);
    void ClearParams();
    QString Path() const { return m_folder; }
    QString FilePath() const; // <folder>/Docs.db

    // The password list: at most one password; Add replaces it. Passwords reach the engine
    // exactly as given. An empty password means "none" (an unencrypted database). Open() uses
    // the password up: afterwards the connection holds none, only the engine its key.
    void ClearPasswords();
    void AddPassword(const QString& password);
    // Whether password is the one the open database was opened with (empty for an unencrypted
    // one). Proven by the engine on a handle of its own, as no copy of the password is kept.
    bool IsKeyedWith(const QString& password);
    // Overwrites a password that this string alone holds, then empties it.
    static void Wipe(QString& secret);

    void SetPasswordRequest(PasswordRequest hook) { m_passwordRequest = std::move(hook); }
    void SetRenameFunction(RenameFunction rename);

    // Opens <Path>/Docs.db exclusively and checks that it holds the table Docs with the expected
    // columns. A wrong or missing password, after the hook declined, fails with the kind
    // WrongKey and a message that contains "Insufficient table rights"; a database held by
    // another connection with InUse; a missing, foreign or damaged file with NotADatabase.
    // On failure nothing stays open.
    void Open();
    // Closes the database; queries still alive are finalised and become unusable.
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    // Whether a transaction or savepoint is open on it (false when closed).
    bool InTransaction() const;
    // Whether the open database file is encrypted (has a master password).
    bool IsEncrypted() const { return m_encrypted; }
    // "SQLCIPHER" for an encrypted table, "SQLITE" for a plain one. Fails when not open.
    QString TableType() const;

    // Whether the index of the name order may be used (see SqlEngine::NameOrderIndex). False
    // when one in another order stays because it could not be rebuilt; the list and the search
    // then read the table NOT INDEXED, and NameOrderProblem() says why for the user.
    bool NameOrderTrusted() const { return m_nameOrderTrusted; }
    QString NameOrderProblem() const { return m_nameOrderProblem; }

    // Runs fixed SQL text (one or more statements, no values: those go through TQuery).
    void Exec(const QString& sql);

    // Rewrites the open database under a new key and reopens it with that key: an empty
    // password removes the encryption and compacts the file (pack); a password encrypts the
    // file or changes its key. Export goes to a new file beside Docs.db, with the old file's
    // mode and (where allowed) owner, that replaces it by an atomic rename; on any failure the
    // old file stays as it was, with its old password, and no new file is left. `stop` is asked
    // now and then while the new file is written; when it says yes the rewrite is abandoned
    // (the old file untouched) with the kind Stopped. Once the new file replaces the old one
    // the rewrite finishes whatever `stop` says.
    using StopCheck = std::function<bool()>;
    void Restructure(const QString& newPassword, const StopCheck& stop = {});

    // sqlite3_libversion_number() (3015002 for 3.15.2). Fails when the engine has no cipher.
    static int EngineVersion();
    // Whether the engine can open the program's databases: it has a cipher that reads and
    // writes their format (SQLCipher 3 or later).
    static bool EngineUsable();
    static constexpr int MinCipherMajorVersion = 3;

    // For TQuery and the blob streams of this subsystem.
    sqlite3* Handle() const;
    // Locked: a search runs on a worker thread while the window's thread may read too.
    void Register(TQuery* query)
    {
        const std::lock_guard<std::mutex> lock(m_queriesLock);
        m_queries.insert(query);
    }
    void Unregister(TQuery* query)
    {
        const std::lock_guard<std::mutex> lock(m_queriesLock);
        m_queries.erase(query);
    }
    // The engine's last error text, prefixed with what was being done.
    QString ErrorText(const QString& what) const;

    // Removes a database file and the journal beside it; returns the first of the two that is
    // still there afterwards, or empty.
    static QString RemoveWithJournal(const QString& path);

    static constexpr int MaxPasswordLength = 31;
    static const QString FileName; // "Docs.db"
    // What the engine keeps beside FileName: its journals, and a rewrite's (pack, password
    // change) new file with its journal, left behind when one was interrupted.
    static const QStringList& CompanionSuffixes();

private:
    enum class KeyResult
    {
        Opened,
        WrongKey
    };
    KeyResult TryOpen(const QString& password);
    void CheckDocsTable();
    void PrepareNameOrder();
    void CloseHandle();
    void ExportTo(const QString& target, const QString& password, const StopCheck& stop);

    sqlite3* m_db = nullptr;
    bool m_encrypted = false;
    bool m_nameOrderTrusted = true;
    QString m_nameOrderProblem;
    QString m_folder;
    QString m_password;
    PasswordRequest m_passwordRequest;
    RenameFunction m_rename;
    std::set<TQuery*> m_queries;
    std::mutex m_queriesLock;
};
