#pragma once

#include "core/archive/BackRest.h"

#include <QByteArray>
#include <vector>

class QIODevice;

// Reads an archive from a device in the order it was written. Content blocks are inflated on a
// worker pool; each file is expected as the writer makes it: ceil(size / 524,288) blocks, all
// full but the last. Every method returns a BackRest::Code.
class ArchiveReader
{
public:
    // Receives the files in archive order. A false return ends the read with code 5.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        virtual bool Begin(const QByteArray& name, qint64 size) = 0;
        virtual bool Append(const char* data, qint64 length) = 0;
        virtual bool End() = 0;
        QString error;
    };

    ArchiveReader(QIODevice* device, int threads = 0);

    // "BACKUP" and the name list. Names must be usable as file names in one folder.
    int ReadHeader();
    const std::vector<QByteArray>& Names() const { return m_names; }

    // Every file's content, into sink (null: inflate and check only).
    int ReadFiles(Sink* sink, const BackRest::ProgressCallback& callback);
    // Every file's size, skipping the blocks.
    int ReadSizes(std::vector<qint64>& sizes);

    QString Error() const { return m_error; }

    // Splits the name list text at CR, LF or CR LF; a last line without a break counts.
    static std::vector<QByteArray> SplitNames(const QByteArray& text);
    static bool IsSafeName(const QByteArray& name);

private:
    int Fail(int code, const QString& why);
    bool ReadExactly(char* data, qint64 length);
    int ReadInt(qint32& value);
    int ReadBlock(std::vector<char>& block);

    QIODevice* m_device;
    int m_threads;
    std::vector<QByteArray> m_names;
    QString m_error;
};
