#include "core/dialogs/DialogSeam.h"

namespace {
TDialogSeam* g_installed = nullptr;
TDialogSeam* g_windows = nullptr;
} // namespace

TDialogSeam* TDialogSeam::Installed()
{
    return g_installed;
}

void TDialogSeam::Install(TDialogSeam* seam)
{
    g_installed = seam;
}

void TDialogSeam::InstallWindows(TDialogSeam* seam)
{
    g_windows = seam;
}

TDialogSeam* TDialogSeam::Current()
{
    return g_installed ? g_installed : g_windows;
}
