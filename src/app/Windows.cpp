#include "app/Windows.h"

#include "app/Fmain.h"
#include "app/msg.h"
#include "app/sure.h"
#include "app/sure_hecked.h"
#include "settings/SB_settings.h"

TWindows& Windows()
{
    static TWindows windows;
    return windows;
}

void CreateWindows()
{
    TWindows& w = Windows();
    w.Fmain = new TFmain;
    w.D_SB_settings = new TD_SB_settings(w.Fmain);
    w.Fsure = new TFsure;
    w.Dmsg = new TDmsg;
    w.Fsure_checked = new TFsure_checked;
}

void DestroyWindows()
{
    TWindows& w = Windows();
    if (w.D_SB_settings)
        w.D_SB_settings->FormDestroy();
    delete w.Fsure_checked;
    delete w.Dmsg;
    delete w.Fsure;
    delete w.D_SB_settings;
    delete w.Fmain;
    w = TWindows{};
}
