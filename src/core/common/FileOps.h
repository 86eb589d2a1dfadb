// Small POSIX file operations shared by the database and the archive code.
#pragma once

#include <QByteArray>
#include <QString>

namespace FileOps {

// The text of errno, for a message.
QString SystemError();
// Writes all of data, going on after interruptions; false on any failure (errno set).
bool WriteFully(int fd, const char* data, qint64 length);
// Reads exactly length bytes; false on a failure or an early end.
bool ReadFully(int fd, char* data, qint64 length);
// fsync of a file or folder; a folder fsync makes a rename in it durable.
bool SyncPath(const QByteArray& path, bool folder);
bool Rename(const QByteArray& from, const QByteArray& to);
// Overwrites a regular file that is its only name with zeros, syncs and removes it: it may
// hold content in clear. Links, symbolic or hard, are only removed (they may lead elsewhere).
void Shred(const QByteArray& path);

} // namespace FileOps
