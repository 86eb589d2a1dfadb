#pragma once

#include <QString>

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
inline const QString TxtAcceptMode = QStringLiteral("TXT_ACCEPT_MODE");
inline const QString TxtServer = QStringLiteral("TXT_SERVER");
inline const QString ImgAcceptMode = QStringLiteral("IMG_ACCEPT_MODE");
inline const QString ImgServer = QStringLiteral("IMG_SERVER");
// Privacy while open; absent means off.
inline const QString LockIdleMinutes = QStringLiteral("LOCK_IDLE_MINUTES");
inline const QString LockOnScreenLock = QStringLiteral("LOCK_ON_SCREEN_LOCK");
inline const QString LockOnSuspend = QStringLiteral("LOCK_ON_SUSPEND");
inline const QString ClipboardClearSeconds = QStringLiteral("CLIPBOARD_CLEAR_SECONDS");

// Values.
inline const QString Yes = QStringLiteral("Y");
inline const QString No = QStringLiteral("NO");
inline const QString OpenDefault = QStringLiteral("OPEN_DEFAULT");
inline const QString DropDb = QStringLiteral("DROP_DB");
inline const QString Own = QStringLiteral("OWN");
inline const QString Ole = QStringLiteral("OLE");
} // namespace SettingsKey
