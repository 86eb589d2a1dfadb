#pragma once

#include <QIODevice>
#include <functional>

// A read-only random-access device whose bytes are made on demand, so that a large stored form
// (a bitmap encoded row by row, an object's header before its shared bytes) streams into the
// database without being built whole first.
class TMadeDevice : public QIODevice
{
public:
    // Fills up to maxSize bytes of the stored form at offset (which is below the size) into data
    // and returns how many, at least one; a QbError fails the read with its message.
    using Maker = std::function<qint64(qint64 offset, char* data, qint64 maxSize)>;

    TMadeDevice(qint64 size, Maker maker);
    qint64 size() const override { return m_size; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const qint64 m_size;
    Maker m_maker;
};
