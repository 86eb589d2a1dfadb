#pragma once

#include <QString>

class QIODevice;
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
