#include "core/common/MadeDevice.h"

#include "core/common/QbError.h"

TMadeDevice::TMadeDevice(qint64 size, Maker maker)
    : m_size(size)
    , m_maker(std::move(maker))
{
    // Unbuffered: every read asks for the bytes at pos(), and nothing is made twice.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 TMadeDevice::readData(char* data, qint64 maxSize)
{
    qint64 done = 0;
    try {
        for (qint64 at = pos(); done < maxSize && at < m_size; at = pos() + done)
            done += m_maker(at, data + done, qMin(maxSize - done, m_size - at));
    } catch (const QbError& e) {
        setErrorString(e.Message());
        return -1;
    }
    return done;
}
