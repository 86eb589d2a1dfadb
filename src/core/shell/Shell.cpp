#include "core/shell/Shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

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

QString Shell::DocFolder()
{
    // The build tree and portable copies keep doc/ beside bin/; an installed copy finds its
    // documentation relative to bin/ too, so a different install prefix still works.
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {bin + QStringLiteral("/../doc"), bin + QStringLiteral("/../" QB_DOC_SUBDIR)}) {
        const QString folder = QDir::cleanPath(candidate);
        if (QFileInfo::exists(folder + QStringLiteral("/index.html")))
            return folder;
    }
    return QStringLiteral(QB_INSTALLED_DOC_DIR);
}

QString Shell::DocPagePath(const QString& name)
{
    return QStringLiteral("%1/%2.html").arg(DocFolder(), name.trimmed());
}

bool Shell::OpenDocPage(const QString& name)
{
    return Open(QUrl::fromLocalFile(DocPagePath(name)));
}
