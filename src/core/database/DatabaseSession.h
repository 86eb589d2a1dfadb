#pragma once

#include <QObject>
#include <QString>

enum class QbErrorKind;
class TDatabaseConnection;
class TSettingsModel;

// The database selection that opening a database needs; the windows implement it. Without it
// no database is chosen. Messages and confirmations go through the dialog seam (TDialogSeam).
class TSessionPrompts
{
public:
    virtual ~TSessionPrompts() = default;
    // The database selection: true when a database was chosen, with the chosen name as listed
    // (empty when none is selected), its folder and the password typed. On entry, name is the
    // database to offer selected (empty: none).
    virtual bool AskDatabaseAndPassword(QString& name, QString& path, QString& password) = 0;
};

// The document list's part in opening and closing; the main window implements it. Without
// one, opening the list only connects.
class TSessionList
{
public:
    virtual ~TSessionList() = default;
    virtual void PrepareList() = 0; // before the list of a newly opened database
    virtual void OpenList() = 0; // prepares and fills the list; connects the database
    virtual void CloseList() = 0; // posts a pending edit and empties the list
    virtual bool ListActive() const = 0;
};

// The one open database of the program: the connection "ADB", the open and ready state, the
// name it was opened under, the wrong-password counter and what a wrong password leads to.
// No windows: it asks through TSessionPrompts and reports by signals.
//
// The application creates one session (over its settings) before its windows, hands it to them
// and destroys it after them.
class TDatabaseSession : public QObject
{
    Q_OBJECT

public:
    explicit TDatabaseSession(TSettingsModel& settings, QObject* parent = nullptr);
    ~TDatabaseSession() override;

    TSettingsModel& Settings() const { return m_settings; }
    TDatabaseConnection& Connection() const;
    void SetPrompts(TSessionPrompts* prompts) { m_prompts = prompts; } // not owned; null: none
    void SetList(TSessionList* list) { m_list = list; } // not owned; null: none

    bool DatabaseOpen() const { return m_open; }
    QString CurrentDatabaseName() const { return m_name; }
    bool ListReady() const { return m_listReady; }
    void SetListReady(bool ready);

    // The open command: closes the open database, then opens one, asking unless DirectOpen.
    // Failures never leave it: they are reported (or acted on by the wrong-password policy).
    void SBreopenClick();
    // The program is ending: from now on every open does nothing (the database stays closed).
    void SetQuitting() { m_quitting = true; }
    bool Quitting() const { return m_quitting; }
    // Opens a registered database without asking.
    void OpenDatabaseDirect(const QString& name, const QString& path, const QString& password);
    // Opens a database just created: at once when its password is known or it has none; a
    // protected one whose password is not known (rebuilt from an archive) through the selection
    // dialog with it selected. The open at once never counts as a wrong password.
    void OpenCreatedDatabase(const QString& name, const QString& path, const QString& password);
    // Whether the database file in folder is encrypted (a password protects it).
    static bool IsProtectedDatabase(const QString& folder);
    // Remembers the open database as the last used one, closes the list and disconnects.
    void CloseDatabase();
    // The start-up open of the last used database; never reports a wrong password.
    void OpenLastUsed();
    // At start: clears what interrupted runs left beside every registered database (a pack's or
    // password change's rewrite in clear, a restore's staging), skipping databases in use.
    void SweepRegisteredFolders();

    // Drops a registered database: its own files (Docs.db and the engine's companion files),
    // then its folder when that is empty, its list entry, and the default-database settings
    // when it was the default. Unless silent, asks first and tells when done. A folder that is
    // missing, or that is the file-system root, the home folder or one above it, is refused:
    // nothing is deleted and the entry stays. True when the entry was removed.
    bool DropDatabase(const QString& name, bool silent);
    // Why a database folder must not be dropped, or empty when it may.
    static QString DropRefusal(const QString& folder);

    // Tells and asks the user through the prompts (else the installed dialog seam).
    void Tell(const QString& text) { ShowMessage(text); }
    bool Ask(const QString& text);

    // Closes and reopens the document list around work on the whole open database.
    void CloseList();
    void ReopenList(); // throws what opening the list throws

    // The default database under the OPEN_DEFAULT policy, else empty.
    QString RedirectDatabaseName() const;

    // The wrong-password counter: consecutive wrong passwords for one database name.
    int WrongAttempts() const { return m_wrongAttempts; }
    QString LastWrongDatabase() const { return m_lastWrong; }
    void ResetWrongAttempts();
    // Opening state: DirectOpen only during OpenDatabaseDirect, StartupOpen during OpenLastUsed.
    bool DirectOpen() const { return m_directOpen; }
    bool StartupOpen() const { return m_startupOpen; }
    // The name selected for the open under way (the listed spelling), or empty.
    QString SelectedDatabaseName() const { return m_selected; }

Q_SIGNALS:
    // The open or ready state changed: commands follow it.
    void StateChanged();
    // The database list of the settings changed (a drop): the selection list refills.
    void DatabaseListChanged();

private:
    bool PrepareConnection();
    bool OnEnginePassword(QString& password);
    void HandleOpenFailure(const QString& message, QbErrorKind kind);
    void OpenDefaultInstead();
    void CountWrongAttempt(const QString& name);
    void SelectListed(const QString& name);
    void ShowMessage(const QString& text);
    bool ConfirmDestructive(const QString& text);
    void OpenListNow();
    void CloseListNow();
    bool ListActive() const;

    TSettingsModel& m_settings;
    TSessionPrompts* m_prompts = nullptr;
    TSessionList* m_list = nullptr;

    bool m_open = false;
    bool m_listReady = false;
    QString m_name;
    QString m_selected;
    bool m_directOpen = false;
    bool m_startupOpen = false;
    bool m_quitting = false;
    bool m_openingDefault = false; // the open that replaces a failed one is under way
    bool m_automaticOpen = false; // an open nobody typed a password for: a failure is no wrong attempt
    QString m_preselected; // offered first by the selection dialog
    QString m_directPath;
    QString m_directPassword;
    QString m_openPath;
    int m_wrongAttempts = 0;
    QString m_lastWrong;
};
