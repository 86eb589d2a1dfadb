#pragma once

#include <QString>

// What the program's own dialogs ask or tell, behind one interface. While one is installed it
// answers instead of the windows (tests install DialogScript's); with none, each dialog shows
// itself to the user.
class TDialogSeam
{
public:
    virtual ~TDialogSeam() = default;

    virtual void Message(const QString& text) = 0;
    virtual bool Confirm(const QString& question) = 0;
    // A file or folder; empty when cancelled.
    virtual QString ChooseFile(const QString& caption) = 0;
    // A typed text; empty when cancelled.
    virtual QString TypeText(const QString& caption) = 0;

    // The installed seam, or null. Install does not take ownership; null uninstalls.
    static TDialogSeam* Installed();
    static void Install(TDialogSeam* seam);
};
