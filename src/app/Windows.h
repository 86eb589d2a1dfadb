#pragma once

class TDatabaseActions;
class TDatabaseSession;
class TSettingsModel;
class TFmain;
class TFaskBaseAndPwd;
class TFChngPwd;
class TD_SB_settings;
class TFsure;
class TDmsg;
class TFsure_checked;
class TW_new_doc;
class TClipboardGuard;
class QWidget;
class QApplication;

// The program's long-lived windows, created once in a fixed order and kept until the end.
// Windows that a later feature adds are null until it exists.
struct TWindows
{
    // Made before the windows and ended after them.
    TSettingsModel* Settings = nullptr;
    TDatabaseSession* Session = nullptr;
    TDatabaseActions* Actions = nullptr; // the database-wide jobs over Session
    TClipboardGuard* ClipboardGuard = nullptr;

    TFmain* Fmain = nullptr;
    TFaskBaseAndPwd* FaskBaseAndPwd = nullptr;
    TD_SB_settings* D_SB_settings = nullptr;
    TFsure* Fsure = nullptr;
    TFChngPwd* FChngPwd = nullptr;
    TDmsg* Dmsg = nullptr;
    QWidget* D_action_with_db = nullptr;
    QWidget* D_search = nullptr;
    QWidget* F_db_image = nullptr;
    QWidget* F_db_rtf = nullptr;
    QWidget* D_scale_image = nullptr;
    TFsure_checked* Fsure_checked = nullptr;
    TW_new_doc* W_new_doc = nullptr;
    QWidget* W_new_database = nullptr;
};

TWindows& Windows();

// Creates the settings model and the database session, then the windows in their order; the
// settings dialog loads the settings file as it is made.
void CreateWindows();

// The end of the program: the settings dialog stores the placement and writes the file while
// the main window still exists, then every window is destroyed in reverse order.
void DestroyWindows();

// A second start's request: the main window comes to the front, with what takes its input now
// (a question, else a running job's window) above it.
void BringToFront();

// SIGTERM, SIGINT and SIGHUP close the program as its window's close box would, without a
// question, whatever dialog is open; a job is stopped at its safe point. Should that take longer
// than TerminateBoundSeconds, the process ends anyway.
inline constexpr unsigned TerminateBoundSeconds = 20;
void CloseOnTerminate(QApplication& app);
