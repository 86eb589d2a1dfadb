#pragma once

#include "core/settings/SettingsFile.h"

#include <QObject>
#include <QString>
#include <QStringList>

// The names of the settings file's keys, in one place.
namespace SettingsKey {
inline const QString Root = QStringLiteral("SETTINGS");
inline const QString Align = QStringLiteral("ALIGN");
inline const QString Delay = QStringLiteral("DELAY");
inline const QString WrongPasswordMode = QStringLiteral("RP_MODE");
inline const QString DefaultDb = QStringLiteral("DEFAULT_DB");
inline const QString Attempts = QStringLiteral("FATTEMPTS");
inline const QString OpenLastUsed = QStringLiteral("OPEN_LAST_USED");
inline const QString DefaultInvisible = QStringLiteral("DEFAULT_INVISIBLE");
inline const QString LastOpenName = QStringLiteral("LAST_OPEN_NAME");
inline const QString GettingStarted = QStringLiteral("GS");
inline const QString Width = QStringLiteral("WIDTH");
inline const QString Height = QStringLiteral("HEIGHT");
inline const QString Left = QStringLiteral("LEFT");
inline const QString Top = QStringLiteral("TOP");
inline const QString ListWidth = QStringLiteral("G_WIDTH");
inline const QString ListHeight = QStringLiteral("G_HEIGHT");
inline const QString BaseList = QStringLiteral("BASE_LIST");
inline const QString Base = QStringLiteral("BASE");
inline const QString Name = QStringLiteral("NAME");
inline const QString Path = QStringLiteral("PATH");
inline const QString OleServers = QStringLiteral("OLE_SERVERS");

// Values.
inline const QString Yes = QStringLiteral("Y");
inline const QString OpenDefault = QStringLiteral("OPEN_DEFAULT");
inline const QString DropDb = QStringLiteral("DROP_DB");
} // namespace SettingsKey

// The settings of the program: the tree of the settings file, read through typed queries that
// apply the same limits as the settings dialog's controls, and written by Save() alone. The
// settings dialog only shows and edits it; logic asks it directly, without any window.
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

    static constexpr int MinAttempts = 2;
    static constexpr int MaxAttempts = 5;

Q_SIGNALS:
    void Changed();

private:
    TSettingsFile m_file;
};
