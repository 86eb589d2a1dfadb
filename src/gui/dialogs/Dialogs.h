#pragma once

#include <QString>

class TDmsg;
class TFsure;
class TFsure_checked;

// The program's shared message and confirmation dialogs, which the application installs once
// it has made them. Windows ask through these instead of reaching for the main window.
namespace Dialogs {
void Install(TDmsg* message, TFsure* sure, TFsure_checked* sureChecked); // nulls uninstall
// TDmsg; nothing happens while none is installed.
void ShowMessage(const QString& text);
// TFsure; false while none is installed.
bool Confirm(const QString& text);
// TFsure_checked; false while none is installed.
bool ConfirmChecked(const QString& text);
bool MessageInstalled();
} // namespace Dialogs
