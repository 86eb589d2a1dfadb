#pragma once

#include <QString>

namespace Paths {
// The folder with links resolved; a folder that does not exist yet gives its clean absolute path.
QString CanonicalFolder(const QString& folder);
} // namespace Paths
