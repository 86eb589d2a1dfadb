#pragma once

#include <QString>
#include <functional>

class QDialog;
class QFileDialog;
class QWidget;
class TDmsg;
class TFsure;
class TFsure_checked;

// The one way windows tell and ask the user. Each call goes to the installed dialog seam when a
// test has one (TDialogSeam::Installed), else to a window, which comes up above whatever window
// the user sees. No other code opens a message box.
namespace Dialogs {
// The program's shared message and confirmation dialogs, installed once the application has
// made them; this also gives core code (TDialogSeam::Current) the windows. Nulls uninstall.
void Install(TDmsg* message, TFsure* sure, TFsure_checked* sureChecked);
bool MessageInstalled();

// TDmsg; nothing happens while none is installed.
void ShowMessage(const QString& text);
// TFsure; false while none is installed.
bool Confirm(const QString& text);
// TFsure_checked; false while none is installed.
bool ConfirmChecked(const QString& text);

// The platform's plain message box, for the few messages that use it instead of TDmsg.
enum class Plain
{
    Information,
    Warning,
    Critical
};
void PlainMessage(QWidget* parent, Plain kind, const QString& text,
                  const QString& caption = QStringLiteral("Quietbox"));
// A plain Yes/No box; true for "Yes".
bool PlainQuestion(QWidget* parent, const QString& caption, const QString& question);
// A plain information box that does not block: shown and returned (it deletes itself when
// closed), or null when the seam took the text.
QDialog* PlainNotice(QWidget* parent, const QString& text);

// Runs a file dialog the caller has set up; the chosen path, empty when cancelled.
QString ChooseFile(QFileDialog& dialog);
// Runs an object chooser; chosen() is its result once accepted, empty when cancelled.
QString ChooseObject(QDialog& dialog, const std::function<QString()>& chosen);

// Parents a dialog about to open to a visible window when its own (or parent's) window is
// hidden, and keeps it on top when a visible window stays on top; otherwise a window manager
// may put it under the always-on-top main window, out of the user's reach.
void PlaceAbove(QWidget* dialog, QWidget* parent);
} // namespace Dialogs
