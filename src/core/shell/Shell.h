#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// The desktop shell's "open" for documentation pages and web pages. Tests replace it to
// see what would have been opened.
namespace Shell {
using Opener = std::function<bool(const QUrl&)>;
bool Open(const QUrl& url);
void SetOpener(Opener opener); // an empty opener restores the desktop's own

// Where the documentation pages are: <executable's folder>/../doc, else the installed folder.
QString DocFolder();
// The file of the page doc/<name>.html.
QString DocPagePath(const QString& name);
// Opens doc/<name>.html in the desktop's browser; false when nothing could open it.
bool OpenDocPage(const QString& name);
} // namespace Shell
