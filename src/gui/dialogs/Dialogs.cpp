#include "gui/dialogs/Dialogs.h"

#include "gui/dialogs/msg.h"
#include "gui/dialogs/sure.h"
#include "gui/dialogs/sure_hecked.h"

#include <QPointer>

namespace {
struct Installed
{
    QPointer<TDmsg> message;
    QPointer<TFsure> sure;
    QPointer<TFsure_checked> sureChecked;
};

Installed& Shared()
{
    static Installed installed;
    return installed;
}
} // namespace

void Dialogs::Install(TDmsg* message, TFsure* sure, TFsure_checked* sureChecked)
{
    Shared() = Installed{message, sure, sureChecked};
}

void Dialogs::ShowMessage(const QString& text)
{
    if (TDmsg* m = Shared().message)
        m->ShowText(text);
}

bool Dialogs::Confirm(const QString& text)
{
    TFsure* s = Shared().sure;
    return s && s->Ask(text);
}

bool Dialogs::ConfirmChecked(const QString& text)
{
    TFsure_checked* s = Shared().sureChecked;
    return s && s->Ask(text);
}

bool Dialogs::MessageInstalled()
{
    return Shared().message != nullptr;
}
