#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace qbtest {

// The temporary folder that stands in for the user's home during this test run.
// XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_RUNTIME_DIR and HOME point below it.
QString SandboxRoot();

// A fresh empty folder below the sandbox; its name holds blanks and non-ASCII letters on purpose.
QString FreshFolder(const QString& hint = QStringLiteral("data данные"));

// Reads/writes a whole file; failures fail the calling test.
QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

} // namespace qbtest
