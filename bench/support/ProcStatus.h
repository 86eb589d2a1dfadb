// What the benchmarks read of a process's memory, from /proc.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace qbbench {

// A field of /proc/<pid>/status (this process when pid is 0) in bytes: VmHWM is the peak
// resident set, VmRSS the resident set now. -1 when it cannot be read.
inline qint64 Status(const char* field, qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// Starts a new peak: VmHWM becomes the resident set of now.
inline void ResetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

inline double Mb(qint64 bytes)
{
    return double(bytes) / 1e6;
}

} // namespace qbbench
