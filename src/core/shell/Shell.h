#pragma once

#include <QUrl>
#include <functional>

// The desktop shell's "open" for documentation pages and web pages. Tests replace it to
// see what would have been opened.
namespace Shell {
using Opener = std::function<bool(const QUrl&)>;
bool Open(const QUrl& url);
void SetOpener(Opener opener); // an empty opener restores the desktop's own
} // namespace Shell
