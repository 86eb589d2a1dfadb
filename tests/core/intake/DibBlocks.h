#pragma once

// Device-independent bitmap blocks built byte by byte for the decoder's tests.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QtEndian>

namespace qbtest {

struct DibLayout
{
    qint32 width = 0;
    qint32 height = 0; // negative: rows top-down
    quint16 bits = 24;
    quint32 compression = 0;
    quint32 coloursUsed = 0;
    quint32 headerSize = 40;
    QList<QRgb> table; // written as blue, green, red, 0
    QList<quint32> masks; // written after a 40-byte header, inside a larger one
    QByteArray pixels;
};

inline void Put32(QByteArray& b, int at, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + at);
}

inline QByteArray MakeDib(const DibLayout& s)
{
    QByteArray b(int(s.headerSize), '\0');
    Put32(b, 0, s.headerSize);
    Put32(b, 4, quint32(s.width));
    Put32(b, 8, quint32(s.height));
    qToLittleEndian<quint16>(1, b.data() + 12);
    qToLittleEndian<quint16>(s.bits, b.data() + 14);
    Put32(b, 16, s.compression);
    Put32(b, 32, s.coloursUsed);
    for (int i = 0; i < s.masks.size(); ++i) {
        if (s.headerSize == 40)
            b.append(4, '\0');
        Put32(b, 40 + 4 * i, s.masks.at(i));
    }
    for (QRgb c : s.table) {
        const char entry[4] = {char(qBlue(c)), char(qGreen(c)), char(qRed(c)), 0};
        b.append(entry, 4);
    }
    return b + s.pixels;
}

inline QByteArray BmpFile(const QByteArray& dib)
{
    QByteArray file("BM");
    file.append(12, '\0');
    Put32(file, 2, quint32(14 + dib.size()));
    return file + dib;
}

} // namespace qbtest
