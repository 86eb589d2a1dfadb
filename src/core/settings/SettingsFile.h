#pragma once

#include "core/settings/OrbPigger.h"

#include <QString>
#include <memory>

// The settings tree and its file: where the file lives, reading it, writing it safely.
// The settings dialog owns one of these for the whole run; every other window reaches the
// settings through that dialog.
class TSettingsFile
{
public:
    TSettingsFile();

    TOrbPigger& Root() { return *m_root; }
    const TOrbPigger& Root() const { return *m_root; }

    // quietbox.SET in the per-user configuration folder.
    static QString SettingsFileName();

    // Reads the file into the tree. Returns false when it could not be read or parsed; a file
    // that exists but could not be used is first kept as quietbox.SET.bad, so the caller may
    // replace the tree by the defaults without losing the user's database list for good.
    // The file is UTF-8; one that is not (edited with an 8-bit editor) is read as Latin-1.
    bool Load();

    // Writes the tree through a temporary file in the same folder that is renamed over the old
    // file, so a crash or a full disk never leaves a truncated settings file. Returns false on
    // failure; the old file then stays as it was.
    //
    // Another run of the program or a tool may have written the file since this one read it:
    // under a lock, the file is read again and its changes are merged into the tree first
    // (what this run changed since it read the file wins per attribute and per entry; what
    // it did not touch takes the file's value; entries added or removed there stay so).
    bool Save();

    // The decimal value of text, or 0 when it is not a valid 32-bit integer (empty included).
    static int IntOrZero(const QString& text);

    // The default tree: SETTINGS with ALIGN="1" and the empty OLE_SERVERS and BASE_LIST.
    static void FillDefaults(TOrbPigger& root);

private:
    std::unique_ptr<TOrbPigger> m_root;
    // The tree as last read or written: what tells this run's changes from the file's.
    std::unique_ptr<TOrbPigger> m_base;
    void TakeBase();
};
