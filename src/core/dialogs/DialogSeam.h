#pragma once

#include <QString>

// Everything the program asks or tells the user, behind one interface: the gui's dialog facade
// (gui/dialogs/Dialogs.h) implements it over the windows, and a test installs a scripted one
// that answers instead of them. Core code asks Current().
class TDialogSeam
{
public:
    virtual ~TDialogSeam() = default;

    virtual void Message(const QString& text) = 0;
    // The platform's plain message box of the document frames and a few others.
    virtual void PlainMessage(const QString& text) { Message(text); }
    virtual bool Confirm(const QString& question) = 0;
    // The confirmation of a destructive action ("Yes, I'm sure").
    virtual bool ConfirmChecked(const QString& question) { return Confirm(question); }
    // A file or folder; empty when cancelled.
    virtual QString ChooseFile(const QString& caption) = 0;
    // A chosen object (server) or typed text; empty when cancelled.
    virtual QString TypeText(const QString& caption) = 0;

    // The seam that answers instead of the windows (a test's), or null. Install does not take
    // ownership; null uninstalls.
    static TDialogSeam* Installed();
    static void Install(TDialogSeam* seam);
    // The windows' own seam, which the gui registers once its dialogs exist.
    static void InstallWindows(TDialogSeam* seam);
    // Installed(), else the windows' seam, else null (nobody to ask: messages go unshown and
    // questions count as "No").
    static TDialogSeam* Current();
};
