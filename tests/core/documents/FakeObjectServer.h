#pragma once

// Fake object servers for tests: a desktop entry under the sandbox's XDG_DATA_HOME whose Exec
// runs a small shell script on the object's file ("$1").
#include "core/documents/OleContainer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

namespace qbtest {

inline QString WriteFakeEntry(const QString& id, const QString& entryBody)
{
    const QString apps
        = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(QFileInfo(apps + QLatin1Char('/') + id).path());
    const QString path = apps + QLatin1Char('/') + id + QStringLiteral(".desktop");
    QFile entry(path);
    if (entry.open(QIODevice::WriteOnly | QIODevice::Truncate))
        entry.write((QStringLiteral("[Desktop Entry]\n") + entryBody).toUtf8());
    return path;
}

// Registers <id>.desktop (declaring mimeType) running the script; returns the script's path.
inline QString AddFakeServer(const QString& id, const QByteArray& script,
                             const QString& mimeType = QStringLiteral("text/plain"))
{
    const QString bin
        = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/fake servers");
    QDir().mkpath(bin);
    const QString scriptPath = bin + QLatin1Char('/') + id + QStringLiteral(".sh");
    QFile file(scriptPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write("#!/bin/sh\n" + script + '\n');
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    WriteFakeEntry(
        id,
        QStringLiteral("Type=Application\nName=Fake %1\nExec=\"%2\" %f\nMimeType=%3;\n").arg(id, scriptPath, mimeType));
    return scriptPath;
}

// A server that hands the file to an "instance" and returns at once: the instance locks the
// file as office suites do, writes `saved`, and waits for a file "go" beside it before it
// writes `closed` and unlocks.
inline QByteArray LockingServerScript(const QByteArray& saved, const QByteArray& closed)
{
    return "dir=$(dirname \"$1\"); lock=\"$dir/.~lock.$(basename \"$1\")#\"\n"
           ": > \"$lock\"; printf '"
        + saved
        + "' >> \"$1\"\n"
          "( i=0; while [ ! -e \"$dir/go\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
          "  printf '"
        + closed + "' >> \"$1\"; rm -f \"$lock\" ) >/dev/null 2>&1 &";
}

// The editing folders a container left in the runtime folder.
inline QStringList LeftoverObjectFolders()
{
    return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR"))
        .entryList({QStringLiteral("quietbox-object-*")}, QDir::AllEntries | QDir::Hidden);
}

// An object of class, suffix and content in its stored form, built byte by byte.
inline QByteArray StoredForm(const QByteArray& cls, const QByteArray& suffix, const QByteArray& content,
                             quint16 version = 1)
{
    QByteArray out = TOleContainer::Magic;
    auto number = [&out](quint64 value, int size) {
        for (int i = size - 1; i >= 0; --i)
            out += char((value >> (8 * i)) & 0xff);
    };
    number(version, 2);
    number(quint64(cls.size()), 2);
    out += cls;
    number(quint64(suffix.size()), 2);
    out += suffix;
    number(quint64(content.size()), 8);
    return out + content;
}

} // namespace qbtest
