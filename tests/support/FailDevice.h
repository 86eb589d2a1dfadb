#pragma once

#include <QBuffer>

namespace qbtest {

// An in-memory device that accepts the first failAfter bytes written (and hands out the first
// failAfter bytes read), then fails: writers and readers must report the failure, not succeed.
class FailDevice : public QBuffer
{
public:
    explicit FailDevice(qint64 failAfter, QObject* parent = nullptr)
        : QBuffer(parent)
        , m_failAfter(failAfter)
    {
    }

    qint64 BytesWritten() const { return m_written; }

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        if (m_written >= m_failAfter) {
            setErrorString(QStringLiteral("FailDevice: write refused"));
            return -1;
        }
        const qint64 n = QBuffer::writeData(data, qMin(len, m_failAfter - m_written));
        if (n > 0)
            m_written += n;
        return n;
    }

    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_read >= m_failAfter) {
            setErrorString(QStringLiteral("FailDevice: read refused"));
            return -1;
        }
        const qint64 n = QBuffer::readData(data, qMin(maxSize, m_failAfter - m_read));
        if (n > 0)
            m_read += n;
        return n;
    }

private:
    qint64 m_failAfter;
    qint64 m_written = 0;
    qint64 m_read = 0;
};

} // namespace qbtest
