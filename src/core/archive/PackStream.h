#pragma once

#include "core/archive/BlockPool.h"

#include <QtGlobal>
#include <functional>
#include <vector>

class QIODevice;

// The archive's compressing output: bytes written through Write() are cut into blocks of
// 524,288 bytes, each stored as a 4-byte little-endian length and one zlib stream: level 9, or
// stored deflate blocks for a block that would not shrink.
// Blocks are compressed on a worker pool and reach the device in the order they were made, so
// the bytes are the same as a one-thread writer's. WriteRaw() bytes bypass the blocks but keep
// their place in that order. Device failures throw QbError.
class TPackStream
{
public:
    static constexpr qint64 BufferSize = 524288;

    // threads <= 0: one worker per core. The device must be open for writing and outlive the stream.
    explicit TPackStream(QIODevice* device, int threads = 0);
    // Drops blocks not yet written, without writing them: callers Finish() first.
    ~TPackStream();
    TPackStream(const TPackStream&) = delete;
    TPackStream& operator=(const TPackStream&) = delete;

    // Buffers the bytes; a buffer that becomes exactly full is flushed. Returns length.
    qint64 Write(const char* data, qint64 length);
    // Turns the buffered bytes (if any) into one block.
    void Flush();
    // Bytes straight to the file, after every block flushed before. Only while the buffer is empty.
    void WriteRaw(const char* data, qint64 length);
    // Waits until every flushed block and raw write is on the device.
    void Finish();

    // Called on the writing thread, once per block when it reached the device, with the
    // block's uncompressed size.
    std::function<void(qint64 uncompressed)> BlockWritten;

private:
    void Drain(bool all);
    void Put(const std::vector<char>& bytes);

    QIODevice* m_device;
    int m_fd = -1; // the device's file, when it is one
    qint64 m_written = 0;
    qint64 m_writtenBack = 0;
    BlockPool m_pool;
    std::vector<char> m_buffer;
};
