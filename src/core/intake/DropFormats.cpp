#include "core/intake/DropFormats.h"

#include <QStringDecoder>
#include <QUrl>
#include <QtEndian>
#include <bit>
#include <cstring>

namespace DropFormats {

namespace {

const QString WindowsMimePrefix = QStringLiteral("application/x-qt-windows-mime;value=\"");

// The format's name without Qt's wrapper around a Windows format name, lower case.
QString Normalised(const QString& mimeType)
{
    QString name = mimeType.trimmed();
    if (name.startsWith(WindowsMimePrefix, Qt::CaseInsensitive) && name.endsWith(QLatin1Char('"')))
        name = name.mid(WindowsMimePrefix.size(), name.size() - WindowsMimePrefix.size() - 1);
    return name.toLower();
}

// "text/plain" with no character set or UTF-8 (or its ASCII subset).
bool IsPlainText(const QString& name)
{
    const QStringList parts = name.split(QLatin1Char(';'));
    if (parts.first().trimmed() != QStringLiteral("text/plain"))
        return false;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString param = parts.at(i).trimmed().remove(QLatin1Char('"'));
        if (!param.startsWith(QStringLiteral("charset=")))
            continue;
        const QString charset = param.mid(8);
        if (charset != QStringLiteral("utf-8") && charset != QStringLiteral("utf8")
            && charset != QStringLiteral("us-ascii"))
            return false;
    }
    return true;
}

QString CutAtZero(QString text)
{
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

// Links from browsers come as UTF-16 without a byte order mark, HTML often with one.
QString DecodeWide(const QByteArray& block)
{
    if (auto encoding = QStringConverter::encodingForData(block))
        return QStringDecoder(*encoding).decode(block);
    if (block.size() >= 2 && block.size() % 2 == 0 && block.at(0) != 0 && block.at(1) == 0)
        return QStringDecoder(QStringConverter::Utf16LE).decode(block);
    return QString::fromUtf8(block);
}

QString DecodeHtml(const QByteArray& block)
{
    if (auto encoding = QStringConverter::encodingForHtml(block))
        return QStringDecoder(*encoding).decode(block);
    return DecodeWide(block);
}

// ---- Device-independent bitmaps ----

constexpr qint64 InfoHeaderSize = 40;
constexpr qint64 FileHeaderSize = 14;

enum Compression : quint32
{
    BiRgb = 0,
    BiRle8 = 1,
    BiRle4 = 2,
    BiBitfields = 3
};

// The block with every read checked against its end.
class Block
{
public:
    explicit Block(const QByteArray& bytes)
        : m_data(reinterpret_cast<const uchar*>(bytes.constData()))
        , m_size(bytes.size())
    {
    }
    qint64 Size() const { return m_size; }
    bool Has(qint64 at, qint64 count) const { return at >= 0 && count >= 0 && count <= m_size && at <= m_size - count; }
    quint8 U8(qint64 at) const { return m_data[at]; }
    quint16 U16(qint64 at) const { return qFromLittleEndian<quint16>(m_data + at); }
    quint32 U32(qint64 at) const { return qFromLittleEndian<quint32>(m_data + at); }
    const uchar* At(qint64 at) const { return m_data + at; }

private:
    const uchar* m_data;
    qint64 m_size;
};

// One colour channel of a masked pixel, scaled to 0..255.
struct Channel
{
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    explicit Channel(quint32 m)
        : mask(m)
    {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    int Value(quint32 pixel) const { return max == 0 ? 0 : int(quint64((pixel & mask) >> shift) * 255 / max); }
};

struct DibHeader
{
    qint64 width = 0;
    qint64 height = 0; // rows; the block lists them bottom-up unless topDown
    bool topDown = false;
    int bits = 0;
    quint32 compression = BiRgb;
    qint64 colours = 0; // entries in the colour table
    qint64 table = 0; // where the colour table starts
    qint64 pixels = 0; // where the pixel bits start
    quint32 masks[3] = {0, 0, 0};
};

bool ReadHeader(const Block& b, DibHeader& h)
{
    if (!b.Has(0, InfoHeaderSize))
        return false;
    // Later header versions start with the same 40 bytes and hold the colour masks next; the
    // colour table and the pixels follow the whole header.
    const quint32 headerSize = b.U32(0);
    const bool knownSize = headerSize == InfoHeaderSize || headerSize == 52 || headerSize == 56 || headerSize == 108
        || headerSize == 124;
    if (!knownSize || !b.Has(0, headerSize))
        return false;
    const qint64 width = qint32(b.U32(4));
    const qint64 height = qint32(b.U32(8));
    if (b.U16(12) != 1)
        return false;
    h.bits = b.U16(14);
    h.compression = b.U32(16);
    const quint32 used = b.U32(32);
    if (width <= 0 || height == 0)
        return false;
    h.width = width;
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    if (h.width * h.height > MaxPixels)
        return false;

    switch (h.bits) {
        case 1:
            h.colours = 2;
            break;
        case 4:
            h.colours = used ? used : 16;
            break;
        case 8:
            h.colours = used ? used : 256;
            break;
        case 16:
        case 24:
        case 32:
            h.colours = 0;
            break;
        default:
            return false;
    }
    const quint32 c = h.compression;
    const bool valid = (c == BiRgb) || (c == BiRle8 && h.bits == 8) || (c == BiRle4 && h.bits == 4)
        || (c == BiBitfields && (h.bits == 16 || h.bits == 32));
    // Run-length coded rows only run bottom-up.
    if (!valid || (h.topDown && (c == BiRle8 || c == BiRle4)))
        return false;

    qint64 at = headerSize;
    if (c == BiBitfields) {
        // The three masks follow a 40-byte header (the pixels after them) or lie inside a later one.
        if (!b.Has(InfoHeaderSize, 12))
            return false;
        for (int i = 0; i < 3; ++i)
            h.masks[i] = b.U32(InfoHeaderSize + 4 * i);
        if (headerSize == InfoHeaderSize)
            at += 12;
    } else if (h.bits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bits == 32) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
    }
    h.table = at;
    if (!b.Has(h.table, h.colours * 4)) // also refuses a colours-used count beyond the block
        return false;
    h.pixels = h.table + h.colours * 4;
    return true;
}

// The colour table as RGB values; entries the table lacks are black.
QList<QRgb> ColourTable(const Block& b, const DibHeader& h)
{
    QList<QRgb> table(256, qRgb(0, 0, 0));
    const qint64 count = qMin<qint64>(h.colours, 256);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 at = h.table + 4 * i;
        table[i] = qRgb(b.U8(at + 2), b.U8(at + 1), b.U8(at));
    }
    return table;
}

QImage DecodeUncompressed(const Block& b, const DibHeader& h)
{
    const qint64 rowBytes = (h.width * h.bits + 31) / 32 * 4;
    if (!b.Has(h.pixels, rowBytes * h.height))
        return QImage();
    const bool indexed = h.bits <= 8;
    QImage image(int(h.width), int(h.height), indexed ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    if (indexed)
        image.setColorTable(ColourTable(b, h));
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    for (qint64 row = 0; row < h.height; ++row) {
        const uchar* src = b.At(h.pixels + row * rowBytes);
        const int y = int(h.topDown ? row : h.height - 1 - row);
        uchar* line = image.scanLine(y);
        auto* rgb = reinterpret_cast<QRgb*>(line);
        for (qint64 x = 0; x < h.width; ++x) {
            switch (h.bits) {
                case 1:
                    line[x] = (src[x / 8] >> (7 - x % 8)) & 1;
                    break;
                case 4:
                    line[x] = x % 2 ? src[x / 2] & 0x0F : src[x / 2] >> 4;
                    break;
                case 8:
                    line[x] = src[x];
                    break;
                case 24:
                    rgb[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                    break;
                case 16: {
                    const quint32 p = qFromLittleEndian<quint16>(src + 2 * x);
                    rgb[x] = qRgb(red.Value(p), green.Value(p), blue.Value(p));
                    break;
                }
                default: {
                    const quint32 p = qFromLittleEndian<quint32>(src + 4 * x);
                    rgb[x] = qRgb(red.Value(p), green.Value(p), blue.Value(p));
                    break;
                }
            }
        }
    }
    return image;
}

// Run-length coded 8- or 4-bit pixels. Pixels the codes skip keep colour 0; pixels beyond the
// right edge are dropped. Codes that end before the end-of-picture mark or the last row mean
// the block was cut short.
QImage DecodeRunLengths(const Block& b, const DibHeader& h)
{
    QImage image(int(h.width), int(h.height), QImage::Format_Indexed8);
    if (image.isNull())
        return QImage();
    image.setColorTable(ColourTable(b, h));
    image.fill(0);
    const bool four = h.compression == BiRle4;
    qint64 x = 0;
    qint64 row = 0;
    qint64 at = h.pixels;
    auto put = [&](int index) {
        if (x < h.width && row < h.height)
            image.scanLine(int(h.height - 1 - row))[x] = uchar(index);
        ++x;
    };
    while (row < h.height) {
        if (!b.Has(at, 2))
            return QImage();
        const int count = b.U8(at);
        const int code = b.U8(at + 1);
        at += 2;
        if (count > 0) { // count pixels of one value (two alternating nibbles when 4-bit)
            for (int i = 0; i < count && x < h.width; ++i)
                put(four ? (i % 2 ? code & 0x0F : code >> 4) : code);
            continue;
        }
        if (code == 0) { // end of row
            x = 0;
            ++row;
        } else if (code == 1) { // end of picture
            break;
        } else if (code == 2) { // move right and up
            if (!b.Has(at, 2))
                return QImage();
            x += b.U8(at);
            row += b.U8(at + 1);
            at += 2;
        } else { // code pixels as they are, padded to a whole word
            const qint64 bytes = four ? (code + 1) / 2 : code;
            const qint64 padded = bytes + bytes % 2;
            if (!b.Has(at, padded))
                return QImage();
            for (int i = 0; i < code; ++i) {
                const quint8 byte = b.U8(at + (four ? i / 2 : i));
                put(four ? (i % 2 ? byte & 0x0F : byte >> 4) : byte);
            }
            at += padded;
        }
    }
    return image;
}

} // namespace

TDropFormat Classify(const QString& mimeType)
{
    const QString name = Normalised(mimeType);
    if (IsPlainText(name) || name == QStringLiteral("cf_text"))
        return TDropFormat::Text;
    if (name.startsWith(QStringLiteral("image/")) || name == QStringLiteral("application/x-qt-image")
        || name == QStringLiteral("cf_dib"))
        return TDropFormat::Dib;
    if (name == QStringLiteral("text/uri-list"))
        return TDropFormat::UriList;
    if (name == QStringLiteral("text/x-moz-url") || name == QStringLiteral("uniformresourcelocator"))
        return TDropFormat::Url;
    if (name == QStringLiteral("filename"))
        return TDropFormat::FileName;
    if (name == QStringLiteral("filecontents"))
        return TDropFormat::FileContents;
    if (name == QStringLiteral("text/html") || name == QStringLiteral("html format"))
        return TDropFormat::Html;
    if (name == QStringLiteral("text/rtf") || name == QStringLiteral("application/rtf")
        || name == QStringLiteral("rich text format"))
        return TDropFormat::Rtf;
    return TDropFormat::None;
}

TDropFormat UriListFormat(const QByteArray& uriList)
{
    const QString first = FirstUri(uriList);
    if (first.isEmpty())
        return TDropFormat::None;
    return QUrl(first).isLocalFile() ? TDropFormat::FileName : TDropFormat::Url;
}

QString ZeroTerminated(const QByteArray& block)
{
    const qsizetype zero = block.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? block : block.left(zero));
}

QString FirstUri(const QByteArray& uriList)
{
    for (const QByteArray& line : ZeroTerminated(uriList).toUtf8().split('\n')) {
        const QByteArray entry = line.trimmed();
        if (!entry.isEmpty() && !entry.startsWith('#'))
            return QString::fromUtf8(entry);
    }
    return QString();
}

QStringList UriEntries(const QByteArray& uriList)
{
    QStringList entries;
    for (const QByteArray& line : ZeroTerminated(uriList).toUtf8().split('\n')) {
        const QByteArray entry = line.trimmed();
        if (!entry.isEmpty() && !entry.startsWith('#'))
            entries << QString::fromUtf8(entry);
    }
    return entries;
}

QString TextOf(TDropFormat format, const QString& mimeType, const QByteArray& block)
{
    const QString name = Normalised(mimeType);
    const bool uriList = name == QStringLiteral("text/uri-list");
    switch (format) {
        case TDropFormat::FileName:
            return uriList ? QUrl(FirstUri(block)).toLocalFile() : ZeroTerminated(block);
        case TDropFormat::Url:
            if (uriList)
                return FirstUri(block);
            if (name == QStringLiteral("text/x-moz-url")) // the link, then a line with its title
                return CutAtZero(DecodeWide(block)).section(QLatin1Char('\n'), 0, 0).trimmed();
            return ZeroTerminated(block);
        case TDropFormat::Html:
            return CutAtZero(DecodeHtml(block));
        case TDropFormat::Rtf: { // seven-bit text; other bytes kept as they are
            const qsizetype zero = block.indexOf('\0');
            return QString::fromLatin1(zero < 0 ? block : block.left(zero));
        }
        case TDropFormat::Text:
        case TDropFormat::FileContents:
            return ZeroTerminated(block);
        case TDropFormat::UriList:
            return TextOf(UriListFormat(block), mimeType, block);
        case TDropFormat::Dib:
        case TDropFormat::None:
            break;
    }
    return QString();
}

QImage DecodeDib(const QByteArray& block)
{
    const Block b(block);
    DibHeader h;
    if (!ReadHeader(b, h))
        return QImage();
    if (h.compression == BiRle8 || h.compression == BiRle4)
        return DecodeRunLengths(b, h);
    return DecodeUncompressed(b, h);
}

QImage DecodeBmpFile(const QByteArray& file)
{
    if (file.size() < FileHeaderSize || !file.startsWith("BM"))
        return QImage();
    return DecodeDib(file.mid(FileHeaderSize));
}

QImage PictureOf(const QString& mimeType, const QByteArray& block)
{
    const QString name = Normalised(mimeType);
    if (name == QStringLiteral("cf_dib"))
        return DecodeDib(block);
    if (name == QStringLiteral("image/bmp") || name == QStringLiteral("image/x-bmp")
        || name == QStringLiteral("image/x-ms-bmp"))
        return DecodeBmpFile(block);
    return QImage::fromData(block);
}

} // namespace DropFormats
