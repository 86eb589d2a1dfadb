#include "app/Windows.h"

#include "app/Fmain.h"
#include "core/database/DatabaseActions.h"
#include "core/database/DatabaseSession.h"
#include "core/settings/SettingsModel.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/JobProgress.h"
#include "gui/database/actions_with_db.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/database/wz_new_database.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/dialogs/msg.h"
#include "gui/dialogs/sure.h"
#include "gui/dialogs/sure_hecked.h"
#include "gui/documents/O_db_image.h"
#include "gui/documents/db_image.h"
#include "gui/documents/db_rtf.h"
#include "gui/documents/scale_image.h"
#include "gui/documents/search.h"
#include "gui/documents/wz_new_doc.h"
#include "gui/settings/SB_settings.h"
#include "gui/widgets/ClipboardGuard.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The session asks for a database and password through the selection window.
class TWindowPrompts : public TSessionPrompts
{
public:
    bool AskDatabaseAndPassword(QString& name, QString& path, QString& password) override
    {
        TFaskBaseAndPwd* ask = Windows().FaskBaseAndPwd;
        if (!ask)
            return false;
        const bool chosen = ask->AskDatabaseAndPassword(path, password, name);
        name = ask->SelectedDatabaseName();
        return chosen;
    }
};

TWindowPrompts g_prompts;

} // namespace

TWindows& Windows()
{
    static TWindows windows;
    return windows;
}

static void InitResources()
{
    // The resources live in a static library: make sure the linker keeps them.
    Q_INIT_RESOURCE(app);
}

void CreateWindows()
{
    InitResources();
    TWindows& w = Windows();
    w.Settings = new TSettingsModel;
    w.Session = new TDatabaseSession(*w.Settings);
    w.Actions = new TDatabaseActions(*w.Session);
    w.Fmain = new TFmain(*w.Session);
    w.ClipboardGuard = new TClipboardGuard;
    // What was copied out of a document does not outlive the lock.
    QObject::connect(w.Fmain, &TFmain::LockedChanged, w.ClipboardGuard, [guard = w.ClipboardGuard](bool locked) {
        if (locked)
            guard->ClearAtLock();
    });
    // Dialogs belong to the main window, so they stay above it although it stays on top.
    w.FaskBaseAndPwd = new TFaskBaseAndPwd(*w.Settings, w.Fmain);
    // Connected before the settings dialog loads the file, so the first values apply too.
    QObject::connect(w.Settings, &TSettingsModel::PrivacyChanged, w.ClipboardGuard,
                     [guard = w.ClipboardGuard, settings = w.Settings] {
                         guard->SetClearSeconds(settings->ClipboardClearSeconds());
                     });
    w.D_SB_settings = new TD_SB_settings(*w.Settings, w.Fmain);
    // "OK": the main window stores where it is now, then takes the placement chosen.
    QObject::connect(w.D_SB_settings, &QDialog::accepted, w.Fmain, [main = w.Fmain] {
        main->StorePlacement();
        main->ApplyPlacement();
    });
    w.Fsure = new TFsure(w.Fmain);
    w.FChngPwd = new TFChngPwd(*w.Actions, w.Fmain);
    w.Dmsg = new TDmsg(w.Fmain);
    auto* control = new TD_action_with_db(*w.Actions, w.Fmain);
    QObject::connect(control, &TD_action_with_db::PackStarting, w.Fmain, &TFmain::BeforePack);
    QObject::connect(w.Actions, &TDatabaseActions::Packed, w.Fmain, &TFmain::PackEnded);
    w.D_action_with_db = control;
    QObject::connect(w.Fmain, &TFmain::SettingsWanted, w.D_SB_settings, &QDialog::exec);
    QObject::connect(w.Fmain, &TFmain::DatabaseControlWanted, control, &TD_action_with_db::DatabaseControl);
    QObject::connect(w.Fmain, &TFmain::PasswordChangeWanted, w.FChngPwd, &TFChngPwd::Execute);
    auto* search = new TD_search(w.Session->Connection(), w.Fmain);
    w.D_search = search;
    auto* pictureWindow = new TF_db_image(w.Session->Connection(), w.Fmain);
    w.F_db_image = pictureWindow;
    auto* textWindow = new TF_db_rtf(w.Session->Connection(), w.Fmain);
    w.F_db_rtf = textWindow;
    auto* scale = new TD_scale_image(w.Fmain);
    w.D_scale_image = scale;
    w.Fsure_checked = new TFsure_checked(w.Fmain);
    w.W_new_doc = new TW_new_doc(w.Fmain);
    auto* wizard = new TW_new_database(*w.Actions, w.Fmain);
    w.W_new_database = wizard;

    Dialogs::Install(w.Dmsg, w.Fsure, w.Fsure_checked);
    w.Session->SetPrompts(&g_prompts);
    QObject::connect(w.Session, &TDatabaseSession::DatabaseListChanged, w.FaskBaseAndPwd,
                     &TFaskBaseAndPwd::FillDatabaseList);
    // The selection dialog's "..." button creates a database through the database control.
    control->SetWizard(wizard);
    QObject::connect(w.FaskBaseAndPwd, &TFaskBaseAndPwd::NewDatabaseWanted, control,
                     [ask = w.FaskBaseAndPwd, control] { ask->NewDatabaseMade(control->CreateNew()); });
    TFmain* main = w.Fmain;
    QObject::connect(w.Actions, &TDatabaseActions::NewPasswordWanted, main, &TFmain::TB_chng_pwdClick);
    // The document frames share the program's dialogs; the viewer borrows the edit windows.
    pictureWindow->SetDialogs(scale);
    main->UseDocumentWindows(search, w.W_new_doc, pictureWindow, textWindow, scale);
    // The new-document wizard lists the settings' servers; its "..." opens their settings page.
    TW_new_doc* newDoc = w.W_new_doc;
    newDoc->SetSettings(w.Settings);
    QObject::connect(newDoc, &TW_new_doc::ServerSettingsWanted, w.D_SB_settings, &TD_SB_settings::ShowServerPage);
}

void DestroyWindows()
{
    TWindows& w = Windows();
    if (w.ClipboardGuard)
        w.ClipboardGuard->ClearAtExit();
    if (w.Fmain) {
        w.Fmain->CloseDatabase(); // as closing the main window does; a no-op when it was closed
        w.Fmain->StorePlacement();
    }
    if (w.D_SB_settings)
        w.D_SB_settings->FormDestroy();
    if (w.Session)
        w.Session->SetPrompts(nullptr);
    Dialogs::Install(nullptr, nullptr, nullptr);
    delete w.W_new_database;
    delete w.W_new_doc;
    delete w.Fsure_checked;
    delete w.D_scale_image;
    delete w.F_db_rtf;
    delete w.F_db_image;
    delete w.D_search;
    delete w.D_action_with_db;
    delete w.Dmsg;
    delete w.FChngPwd;
    delete w.Fsure;
    delete w.D_SB_settings;
    delete w.FaskBaseAndPwd;
    delete w.Fmain;
    delete w.ClipboardGuard;
    delete w.Actions;
    delete w.Session;
    delete w.Settings;
    w = TWindows{};
}

void BringToFront()
{
    if (TFmain* main = Windows().Fmain) {
        main->showNormal();
        main->raise();
        main->activateWindow();
    }
    QWidget* above = QApplication::activeModalWidget();
    if (!above)
        above = TJobProgress::Showing();
    if (above) {
        above->raise();
        above->activateWindow();
    }
}

namespace {

int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_terminating = 0;

void OnTerminate(int)
{
    // However the ending goes, it is bounded: the default action of SIGALRM ends the process.
    if (!g_terminating) {
        g_terminating = 1;
        ::alarm(TerminateBoundSeconds);
    }
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[0], &byte, 1);
}

// A logout or `kill` ends the program like closing its window: the database is closed and the
// settings are written, instead of losing what changed since the last save. The pipe is
// closed on exec, so programs started from here (the browser, object servers) do not hold it.
} // namespace

void CloseOnTerminate(QApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[1], &byte, 1);
        // Nothing opens a database from here on, whatever the code below an open dialog does
        // once that dialog returns.
        if (Windows().Session)
            Windows().Session->SetQuitting();
        // Every running event loop ends, and one started later (a dialog shown by the code that
        // goes on) returns at once: no question waits for an answer now.
        QCoreApplication::exit(0);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->reject();
        // Stops (or waits for) a running job and closes the database, writing pending changes;
        // the settings are written as the windows go.
        if (Windows().Fmain)
            Windows().Fmain->close();
    });
    struct sigaction sa
    {
    };
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}
