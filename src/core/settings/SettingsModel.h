#pragma once

#include "core/settings/SettingsFile.h"
#include "core/settings/SettingsKeys.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

// The settings of the program: the tree of the settings file, read through typed queries that
// apply the same limits as the settings dialog's controls, changed through typed setters that
// say what changed, and written to the file by Save() alone. The settings dialog only shows and
// edits it; logic asks it directly, without any window.
class TSettingsModel : public QObject
{
    Q_OBJECT

public:
    explicit TSettingsModel(QObject* parent = nullptr);
    ~TSettingsModel() override;

    TOrbPigger& Root() { return m_file.Root(); }
    const TOrbPigger& Root() const { return m_file.Root(); }

    // Reads the file; a missing or unusable file gives the defaults, written at once.
    void Load();
    // The one writer of the settings file; a failure is ignored (the tree stays in memory).
    void Save();
    // Tells the windows that show the settings that the tree was changed behind their back.
    void NotifyChanged();

    TOrbPigger* BaseListNode() const;
    TOrbPigger* OleServersNode() const;
    // The first BASE_LIST child of any node name whose NAME equals name ignoring case, or null.
    TOrbPigger* FindDatabaseEntry(const QString& name) const;
    // That entry's PATH, or empty.
    QString DatabasePath(const QString& name) const;
    // The names the database selection offers: BASE children in file order, without the
    // default database while it is hidden (exact comparison).
    QStringList ListedDatabaseNames() const;

    // ALIGN, or 1 when it is missing or not a number.
    int Align() const;
    // DELAY when it lies strictly between the slider's ends; else nothing (the slider stays).
    std::optional<int> StoredDelay() const;
    QString DefaultDbName() const;
    QString WrongPasswordMode() const;
    // FATTEMPTS limited to 2..5; missing or not a number gives 2.
    int Attempts() const;
    // Attempts() under DROP_DB, else -1.
    int AttemptsLimit() const;
    bool OpenLastUsedWanted() const;
    bool DefaultHidden() const;
    QString LastOpenName() const;
    void SetLastOpenName(const QString& name);
    bool GettingStartedWanted() const;
    void SetGettingStartedWanted(bool wanted);

    // Typed writes of the settings dialog and the database commands; each signals a real change
    // (SetDelay signals every call: the slider's each move sets the preview's pace).
    void SetAlign(int align);
    void SetDelay(int delay);
    void SetOpenLastUsedWanted(bool wanted);
    void SetDefaultHidden(bool hidden);
    void SetWrongPasswordMode(const QString& mode); // empty: restrict (the key goes)
    void SetDefaultDbName(const QString& name);
    void SetAttempts(int attempts);
    // The main window's outer frame and its list panel's size.
    void SetPlacement(const QRect& outer, const QSize& listPanel);
    // Renames a BASE_LIST entry and points it at path.
    void SetDatabaseEntry(TOrbPigger* entry, const QString& name, const QString& path);

    // How a dropped text or picture is taken in: by the program's own editor, or by a server
    // (the class name kept apart from the choice).
    enum class DropKind
    {
        Text,
        Image
    };
    QString DropMode(DropKind kind) const;
    QString DropServer(DropKind kind) const;
    void SetDropUsesServer(DropKind kind, bool server);
    void SetDropServer(DropKind kind, const QString& server);

    // Privacy while open. Each is off while absent, and a setter given "off" removes the
    // attribute, so a file that never had them keeps its content.
    int LockIdleMinutes() const; // 0: never; limited to MaxLockIdleMinutes
    void SetLockIdleMinutes(int minutes);
    bool LockOnScreenLock() const;
    void SetLockOnScreenLock(bool on);
    bool LockOnSuspend() const;
    void SetLockOnSuspend(bool on);
    int ClipboardClearSeconds() const; // 0: never; limited to MaxClipboardClearSeconds
    void SetClipboardClearSeconds(int seconds);

    static constexpr int MinAttempts = 2;
    static constexpr int MaxAttempts = 5;
    static constexpr int MinDelay = 200;
    static constexpr int MaxDelay = 1000;
    static constexpr int MaxLockIdleMinutes = 720;
    static constexpr int MaxClipboardClearSeconds = 3600;

Q_SIGNALS:
    void Changed();
    void AlignChanged(int align);
    void DelayChanged(int delay);
    void DatabaseListChanged(); // entries, the default database or its hiding
    void OpenPolicyChanged(); // opening the last used, the wrong-password mode and attempts
    void PlacementChanged();
    void DropServersChanged();
    void PrivacyChanged(); // the lock and clipboard settings, also on every Load()

private:
    // Sets key to value (an empty one removes it); true when that changed anything.
    bool Put(const QString& key, const QString& value);

    TSettingsFile m_file;
};
