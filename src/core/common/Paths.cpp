#include "core/common/Paths.h"

#include <QDir>
#include <QFileInfo>

QString Paths::CanonicalFolder(const QString& folder)
{
    const QString c = QFileInfo(folder).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : c;
}
