#include "core/shell/Shell.h"

#include <QDesktopServices>

namespace {
Shell::Opener& CurrentOpener()
{
    static Shell::Opener opener;
    return opener;
}
} // namespace

bool Shell::Open(const QUrl& url)
{
    if (CurrentOpener())
        return CurrentOpener()(url);
    return QDesktopServices::openUrl(url);
}

void Shell::SetOpener(Opener opener)
{
    CurrentOpener() = std::move(opener);
}
