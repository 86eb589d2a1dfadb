#include "app/Windows.h"

#include "app/Fmain.h"
#include "core/database/Connection.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/actions_with_db.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/database/wz_new_database.h"
#include "gui/dialogs/msg.h"
#include "gui/dialogs/sure.h"
#include "gui/dialogs/sure_hecked.h"
#include "gui/documents/DocumentCommands.h"
#include "gui/documents/O_db_image.h"
#include "gui/documents/db_image.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/scale_image.h"
#include "gui/documents/search.h"
#include "gui/settings/SB_settings.h"

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
    w.Fmain = new TFmain;
    // Dialogs belong to the main window, so they stay above it although it stays on top.
    w.FaskBaseAndPwd = new TFaskBaseAndPwd(w.Fmain);
    w.D_SB_settings = new TD_SB_settings(w.Fmain, w.Fmain);
    w.Fsure = new TFsure(w.Fmain);
    w.FChngPwd = new TFChngPwd(w.Fmain);
    w.Dmsg = new TDmsg(w.Fmain);
    auto* actions = new TD_action_with_db(w.Fmain);
    actions->BeforePack = [main = w.Fmain] { main->DocCommands->BeforePack(); };
    actions->AfterPack = [main = w.Fmain] { main->DocCommands->AfterPack(); };
    w.D_action_with_db = actions;
    w.D_search = new TD_search(TDatabaseConnection::ADB(), w.Fmain);
    auto* pictureWindow = new TF_db_image(TDatabaseConnection::ADB(), w.Fmain);
    w.F_db_image = pictureWindow;
    auto* scale = new TD_scale_image(w.Fmain);
    w.D_scale_image = scale;
    w.Fsure_checked = new TFsure_checked(w.Fmain);
    w.W_new_database = new TW_new_database(w.Fmain);
    // The document frames share the program's dialogs; the viewer borrows the edit windows.
    TO_doc_content* viewer = w.Fmain->O_doc_content1;
    viewer->O_db_image1->SetDialogs(w.Dmsg, w.Fsure, scale);
    pictureWindow->O_db_image1->SetDialogs(w.Dmsg, w.Fsure, scale);
    viewer->PictureWindow = pictureWindow;
}

void DestroyWindows()
{
    TWindows& w = Windows();
    if (w.Fmain)
        w.Fmain->CloseDatabase(); // as closing the main window does; a no-op when it was closed
    if (w.D_SB_settings)
        w.D_SB_settings->FormDestroy();
    delete w.W_new_database;
    delete w.Fsure_checked;
    delete w.D_scale_image;
    delete w.F_db_image;
    delete w.D_search;
    delete w.D_action_with_db;
    delete w.Dmsg;
    delete w.FChngPwd;
    delete w.Fsure;
    delete w.D_SB_settings;
    delete w.FaskBaseAndPwd;
    delete w.Fmain;
    w = TWindows{};
}
