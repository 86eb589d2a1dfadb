#include "core/database/BlobStream.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/SqlEngine.h"

#include <QByteArray>
#include <QIODevice>

namespace {

// Closes the blob handle on every path.
class BlobHandle
{
public:
    BlobHandle(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid, bool write)
    {
        const int rc = sqlite3_blob_open(connection.Handle(), "main", table.toUtf8().constData(),
                                         column.toUtf8().constData(), rowid, write ? 1 : 0, &m_blob);
        if (rc != SQLITE_OK) {
            const QString message = connection.ErrorText(QStringLiteral("Can not open the content of %1").arg(column));
            sqlite3_blob_close(m_blob);
            m_blob = nullptr;
            throw QbError(message);
        }
    }
    ~BlobHandle() { sqlite3_blob_close(m_blob); }
    BlobHandle(const BlobHandle&) = delete;
    BlobHandle& operator=(const BlobHandle&) = delete;
    sqlite3_blob* get() const { return m_blob; }

private:
    sqlite3_blob* m_blob = nullptr;
};

} // namespace

qint64 TBlobStream::Read(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid,
                         QIODevice& dst)
{
    BlobHandle blob(connection, table, column, rowid, false);
    const qint64 size = sqlite3_blob_bytes(blob.get());
    QByteArray chunk;
    for (qint64 offset = 0; offset < size;) {
        const int n = int(qMin(ChunkSize, size - offset));
        chunk.resize(n);
        if (sqlite3_blob_read(blob.get(), chunk.data(), n, int(offset)) != SQLITE_OK)
            throw QbError(connection.ErrorText(QStringLiteral("Can not read the content of %1").arg(column)));
        if (dst.write(chunk) != n)
            throw QbError(QStringLiteral("Can not write the document content: %1").arg(dst.errorString()));
        offset += n;
    }
    return size;
}

void TBlobStream::Write(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid,
                        QIODevice& src, qint64 size)
{
    BlobHandle blob(connection, table, column, rowid, true);
    if (sqlite3_blob_bytes(blob.get()) != size)
        throw QbError(QStringLiteral("The content cell of %1 has the wrong size.").arg(column));
    QByteArray chunk;
    for (qint64 offset = 0; offset < size;) {
        const qint64 want = qMin(ChunkSize, size - offset);
        chunk.resize(want);
        const qint64 got = src.read(chunk.data(), want);
        if (got <= 0) {
            // A sequential device may simply have no data yet.
            if (got == 0 && src.waitForReadyRead(30000))
                continue;
            throw QbError(QStringLiteral("Can not read the document content: %1")
                              .arg(got < 0 ? src.errorString() : QStringLiteral("it ended early")));
        }
        if (sqlite3_blob_write(blob.get(), chunk.constData(), int(got), int(offset)) != SQLITE_OK)
            throw QbError(connection.ErrorText(QStringLiteral("Can not write the content of %1").arg(column)));
        offset += got;
    }
}

TBlobDevice::TBlobDevice(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid)
{
    const int rc = sqlite3_blob_open(connection.Handle(), "main", table.toUtf8().constData(),
                                     column.toUtf8().constData(), rowid, 0, &m_blob);
    if (rc != SQLITE_OK) {
        const QString message = connection.ErrorText(QStringLiteral("Can not open the content of %1").arg(column));
        sqlite3_blob_close(m_blob);
        m_blob = nullptr;
        throw QbError(message);
    }
    m_size = sqlite3_blob_bytes(m_blob);
    // Unbuffered: reads go straight to the engine at the device's own offset.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

TBlobDevice::~TBlobDevice()
{
    sqlite3_blob_close(m_blob);
}

bool TBlobDevice::seek(qint64 pos)
{
    if (pos < 0 || pos > m_size || !QIODevice::seek(pos))
        return false;
    m_offset = pos;
    return true;
}

qint64 TBlobDevice::readData(char* data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, m_size - m_offset);
    if (n <= 0)
        return 0;
    if (sqlite3_blob_read(m_blob, data, int(n), int(m_offset)) != SQLITE_OK) {
        setErrorString(QStringLiteral("Can not read the document content."));
        return -1;
    }
    m_offset += n;
    return n;
}
