// The page rules of the new-database wizard, without widgets.
#pragma once

#include <QString>
#include <functional>

// The page rules of the wizards, apart from their widgets.
namespace WizardRules {

struct Buttons
{
    bool prev = false;
    bool next = false;
    bool finish = false;
    bool cancel = true;
};

// Prior on every page but the first, Next on every page but the last, Ok on the last only.
Buttons BaseButtons(int current, int count);

// What the new-database wizard's buttons depend on.
struct NewDatabaseState
{
    int current = 0;
    int count = 4;
    QString name;
    bool fromArchive = false;
    QString archive;
    bool isProtected = false;
    QString password1;
    QString password2;
};

Buttons NewDatabaseButtons(const NewDatabaseState& s);

inline constexpr int PasswordPage = 2;

// The page to go on to when `entered` was just entered coming from `previous`: an archive
// brings its own protection, so the password page is passed over in both directions.
// -1: stay on the entered page.
int PageAfterEntering(bool fromArchive, int entered, int previous);

// A database name becomes a folder name in the chosen location: it must stay one folder there.
bool IsUsableFolderName(const QString& trimmedName);

// Where a new database is first proposed: the folder above `current` when the user may create
// a folder there, else `home`. `writable` tells whether a folder takes new folders; unset, the
// file system is asked.
QString InitialLocation(const QString& current, const QString& home,
                        const std::function<bool(const QString& folder)>& writable = {});

} // namespace WizardRules
