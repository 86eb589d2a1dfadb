#pragma once

#include <QIODevice>
#include <QString>

struct sqlite3_blob;
class TDatabaseConnection;

// Streams one blob cell through the engine's incremental blob I/O in fixed-size chunks, so
// a large document is never held in memory whole.
class TBlobStream
{
public:
    static constexpr qint64 ChunkSize = 256 * 1024;

    // Appends the blob at (table, column, rowid) of the main database to dst; returns the
    // bytes copied. A NULL cell copies nothing. A failing device raises an error.
    static qint64 Read(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid,
                       QIODevice& dst);

    // Fills a blob cell already sized to `size` bytes (zeroblob) with exactly `size` bytes
    // read from src. A short or failing source raises an error; the caller rolls back.
    static void Write(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid,
                      QIODevice& src, qint64 size);
};

// One blob cell read in place, as a read-only random-access device: a reader that seeks (an
// image decoder) takes what it needs without the whole content ever being copied into memory.
// Valid while the connection is open and the row unchanged. Failures raise QbError.
class TBlobDevice : public QIODevice
{
public:
    TBlobDevice(TDatabaseConnection& connection, const QString& table, const QString& column, qint64 rowid);
    ~TBlobDevice() override;
    TBlobDevice(const TBlobDevice&) = delete;
    TBlobDevice& operator=(const TBlobDevice&) = delete;

    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    sqlite3_blob* m_blob = nullptr;
    qint64 m_size = 0;
    qint64 m_offset = 0;
};
