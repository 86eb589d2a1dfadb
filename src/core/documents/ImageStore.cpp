#include "core/documents/ImageStore.h"

#include "core/common/MadeDevice.h"
#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QtEndian>
#include <climits>
#include <cstdint>
#include <cstring>

namespace ImageStore {

namespace {

const QString ImageField = QStringLiteral("Image");

constexpr qint64 FileHeaderSize = 14;
constexpr qint64 LargestInfoHeader = 124;

QbError Damaged(const QString& why)
{
    return QbError(QStringLiteral("The picture is damaged: %1.").arg(why));
}

quint16 U16(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
qint32 I32(const QByteArray& b, int at)
{
    return qFromLittleEndian<qint32>(b.constData() + at);
}
quint32 U32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// What the headers promise, checked against the bytes there are before Qt's decoder sees them:
// the decoder fills a short pixel area with whatever it likes instead of failing.
struct BmpLayout
{
    qint64 width = 0;
    qint64 height = 0; // magnitude; negative heights mean top-down rows
    int bits = 0;
    quint32 compression = 0;
    quint32 offBits = 0;
    bool topDown = false;
    qint32 dotsPerMeterX = 0;
    qint32 dotsPerMeterY = 0;

    bool Compressed() const { return compression == 1 || compression == 2; }
};

BmpLayout CheckBmp(const QByteArray& head, qint64 available)
{
    if (available < 2 || !head.startsWith("BM"))
        throw QbError(QStringLiteral("The picture is damaged or not a bitmap (BMP)."));
    if (available < FileHeaderSize + 4)
        throw Damaged(QStringLiteral("its header is cut short"));
    const quint32 offBits = U32(head, 10);
    const quint32 infoSize = U32(head, 14);
    const bool core = infoSize == 12;
    if (!core && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 64 && infoSize != 108
        && infoSize != 124)
        throw Damaged(QStringLiteral("its header has an unknown size (%1)").arg(infoSize));
    if (available < FileHeaderSize + qint64(infoSize))
        throw Damaged(QStringLiteral("its header is cut short"));

    BmpLayout layout;
    int planes = 0;
    if (core) {
        layout.width = U16(head, 18);
        layout.height = qint16(U16(head, 20));
        planes = U16(head, 22);
        layout.bits = U16(head, 24);
    } else {
        layout.width = I32(head, 18);
        layout.height = I32(head, 22);
        planes = U16(head, 26);
        layout.bits = U16(head, 28);
        layout.compression = U32(head, 30);
        layout.dotsPerMeterX = I32(head, 38);
        layout.dotsPerMeterY = I32(head, 42);
    }
    if (layout.height < 0) {
        layout.height = -layout.height;
        layout.topDown = true;
    }
    if (layout.width <= 0 || layout.height <= 0 || planes != 1)
        throw Damaged(QStringLiteral("its size is invalid"));
    const int bits = layout.bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw Damaged(QStringLiteral("its colour depth (%1 bits) is invalid").arg(bits));
    const quint32 c = layout.compression;
    const bool valid
        = c == 0 || (c == 1 && bits == 8) || (c == 2 && bits == 4) || (c == 3 && (bits == 16 || bits == 32));
    if (!valid)
        throw QbError(QStringLiteral("The picture uses a BMP compression (%1) that is not supported.").arg(c));
    if (offBits < FileHeaderSize + infoSize || offBits > available)
        throw Damaged(QStringLiteral("its pixel data lies outside the file"));
    if (c == 0 || c == 3) {
        const qint64 rowBytes = (layout.width * bits + 31) / 32 * 4;
        if (rowBytes * layout.height > available - qint64(offBits))
            throw Damaged(QStringLiteral("its pixel data is cut short"));
    }
    layout.offBits = offBits;
    return layout;
}

// Walks a run-length coded pixel area (RLE8 or RLE4) without decoding it: it must end, or fill
// every row, before its bytes do. The decoder would show a cut picture instead of failing.
void CheckRunLengths(const char* data, qint64 size, const BmpLayout& layout)
{
    const auto at = [data](qint64 i) { return quint8(data[i]); };
    qint64 i = 0;
    qint64 row = 0;
    while (row < layout.height) {
        if (i + 2 > size)
            throw Damaged(QStringLiteral("its pixel data is cut short"));
        const int count = at(i);
        const int code = at(i + 1);
        i += 2;
        if (count > 0)
            continue; // a run of one value
        if (code == 0) { // end of row
            ++row;
        } else if (code == 1) { // end of picture
            return;
        } else if (code == 2) { // skip right and down
            if (i + 2 > size)
                throw Damaged(QStringLiteral("its pixel data is cut short"));
            row += at(i + 1);
            i += 2;
        } else { // that many pixels as they are, padded to a whole word
            qint64 bytes = layout.compression == 1 ? code : (code + 1) / 2;
            bytes += bytes % 2;
            if (i + bytes > size)
                throw Damaged(QStringLiteral("its pixel data is cut short"));
            i += bytes;
        }
    }
}

// Qt refuses to decode pictures above a fixed memory limit. An uncompressed picture decodes to
// at most about twice the bytes it came from, which are already in memory, so the limit is
// raised to what that picture needs; compressed ones keep the limit.
class AllocationLimit
{
public:
    explicit AllocationLimit(const BmpLayout& layout)
        : m_old(QImageReader::allocationLimit())
    {
        if (m_old == 0 || layout.Compressed())
            return;
        const qint64 needed = layout.width * layout.height * 4 / (1024 * 1024) + 1;
        if (needed > m_old)
            QImageReader::setAllocationLimit(int(qMin<qint64>(needed, INT_MAX)));
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_old); }
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;

private:
    int m_old;
};

// The BMP form of a picture, made one stored row at a time: EncodeBmp, files and the content
// cell all take their bytes from here, so a large picture is never converted or encoded whole.
// 1-bit and 8-bit palette pictures keep their palette; every other one becomes 24 bits, with
// transparent parts laid onto white.
class BmpRows
{
public:
    explicit BmpRows(const QImage& image)
        : m_image(image)
    {
        const QImage::Format format = image.format();
        const bool opaque = !image.hasAlphaChannel();
        const int colours = image.colorCount();
        if (opaque && (format == QImage::Format_Mono || format == QImage::Format_MonoLSB) && colours > 0
            && colours <= 2)
            m_bits = 1;
        else if (opaque && format == QImage::Format_Indexed8 && colours > 0)
            m_bits = 8;
        m_flatten = !opaque;
        m_rowBytes = (qint64(image.width()) * m_bits + 31) / 32 * 4;
        const int palette = m_bits == 24 ? 0 : colours;
        const qint64 offBits = FileHeaderSize + 40 + qint64(palette) * 4;
        const qint64 pixels = m_rowBytes * image.height();
        if (offBits + pixels > qint64(UINT32_MAX))
            throw QbError(QStringLiteral("The picture is too large to be stored as a bitmap."));

        m_header = QByteArray(offBits, '\0');
        char* h = m_header.data();
        h[0] = 'B';
        h[1] = 'M';
        qToLittleEndian<quint32>(quint32(offBits + pixels), h + 2);
        qToLittleEndian<quint32>(quint32(offBits), h + 10);
        qToLittleEndian<quint32>(40, h + 14);
        qToLittleEndian<qint32>(image.width(), h + 18);
        qToLittleEndian<qint32>(image.height(), h + 22); // positive: the last line comes first
        qToLittleEndian<quint16>(1, h + 26);
        qToLittleEndian<quint16>(quint16(m_bits), h + 28);
        qToLittleEndian<quint32>(quint32(pixels), h + 34);
        // 72 dpi when the picture names no resolution.
        qToLittleEndian<qint32>(image.dotsPerMeterX() ? image.dotsPerMeterX() : 2834, h + 38);
        qToLittleEndian<qint32>(image.dotsPerMeterY() ? image.dotsPerMeterY() : 2834, h + 42);
        qToLittleEndian<quint32>(quint32(palette), h + 46);
        qToLittleEndian<quint32>(quint32(palette), h + 50);
        for (int i = 0; i < palette; ++i) {
            const QRgb c = image.color(i);
            char* entry = h + FileHeaderSize + 40 + 4 * i;
            entry[0] = char(qBlue(c));
            entry[1] = char(qGreen(c));
            entry[2] = char(qRed(c));
        }
    }

    const QByteArray& Header() const { return m_header; }
    qint64 RowBytes() const { return m_rowBytes; }
    int Rows() const { return m_image.height(); }
    qint64 Size() const { return m_header.size() + m_rowBytes * Rows(); }

    // Stored row `stored` (the picture's last line is stored first), RowBytes() long, into out.
    void Row(int stored, char* out) const
    {
        const int y = Rows() - 1 - stored;
        const int width = m_image.width();
        // A view of the line without a copy; a conversion below makes one line at most.
        QImage line(m_image.constScanLine(y), width, 1, m_image.bytesPerLine(), m_image.format());
        if (m_image.colorCount() > 0)
            line.setColorTable(m_image.colorTable());
        if (m_flatten) {
            QImage flat(width, 1, QImage::Format_RGB32);
            flat.fill(Qt::white);
            QPainter(&flat).drawImage(0, 0, line);
            line = flat;
        }
        const QImage::Format target = m_bits == 1 ? QImage::Format_Mono
            : m_bits == 8                         ? QImage::Format_Indexed8
                                                  : QImage::Format_BGR888; // BMP's byte order
        if (line.format() != target)
            line = line.convertToFormat(target);
        if (line.isNull())
            throw QbError(QStringLiteral("There is not enough memory to store the picture."));
        const qint64 used = (qint64(width) * m_bits + 7) / 8;
        std::memcpy(out, line.constScanLine(0), size_t(used));
        std::memset(out + used, 0, size_t(m_rowBytes - used));
    }

    // Up to maxSize bytes of the stored form at offset, as far as the header or the row there
    // reaches; a row split between two reads is made once.
    qint64 Read(qint64 offset, char* data, qint64 maxSize)
    {
        if (offset < m_header.size()) {
            const qint64 n = qMin(maxSize, m_header.size() - offset);
            std::memcpy(data, m_header.constData() + offset, size_t(n));
            return n;
        }
        const qint64 at = offset - m_header.size();
        const int row = int(at / m_rowBytes);
        const qint64 in = at % m_rowBytes;
        const qint64 n = qMin(maxSize, m_rowBytes - in);
        if (n == m_rowBytes) {
            Row(row, data);
            return n;
        }
        if (m_lineRow != row) {
            m_line.resize(m_rowBytes);
            Row(row, m_line.data());
            m_lineRow = row;
        }
        std::memcpy(data, m_line.constData() + in, size_t(n));
        return n;
    }

private:
    QImage m_image;
    int m_bits = 24;
    bool m_flatten = false;
    qint64 m_rowBytes = 0;
    QByteArray m_header;
    QByteArray m_line; // the row last made for a split read
    int m_lineRow = -1;
};

void WriteBmpTo(const QImage& image, QIODevice& device)
{
    const BmpRows rows(image);
    QByteArray line(rows.RowBytes(), Qt::Uninitialized);
    bool written = device.write(rows.Header()) == rows.Header().size();
    for (int i = 0; written && i < rows.Rows(); ++i) {
        rows.Row(i, line.data());
        written = device.write(line) == line.size();
    }
    if (!written)
        throw QbError(QStringLiteral("The picture cannot be written as a bitmap: %1").arg(device.errorString()));
}

// Uncompressed 24-bit pixels, the form large pictures are stored in, are read straight into the
// picture's lines: the stored byte order is the picture's own, so nothing is converted.
QImage DecodeRgb24(QIODevice& device, const BmpLayout& layout, qint64 start)
{
    QImage image(int(layout.width), int(layout.height), QImage::Format_BGR888);
    if (image.isNull())
        throw QbError(QStringLiteral("There is not enough memory to show the picture."));
    if (layout.dotsPerMeterX > 0)
        image.setDotsPerMeterX(layout.dotsPerMeterX);
    if (layout.dotsPerMeterY > 0)
        image.setDotsPerMeterY(layout.dotsPerMeterY);
    const qint64 rowBytes = (layout.width * 3 + 3) / 4 * 4; // the picture's own line length
    if (!device.seek(start + layout.offBits))
        throw Damaged(QStringLiteral("its pixel data lies outside the file"));
    for (int i = 0; i < image.height(); ++i) {
        char* line = reinterpret_cast<char*>(image.scanLine(layout.topDown ? i : image.height() - 1 - i));
        if (device.read(line, rowBytes) != rowBytes)
            throw QbError(QStringLiteral("The picture cannot be decoded: %1").arg(device.errorString()));
    }
    return image;
}

QImage DecodeChecked(QIODevice& device)
{
    const qint64 available = device.size() - device.pos();
    if (available <= 0)
        return QImage();
    const qint64 start = device.pos();
    const BmpLayout layout = CheckBmp(device.peek(FileHeaderSize + LargestInfoHeader), available);
    if (layout.bits == 24 && layout.compression == 0)
        return DecodeRgb24(device, layout, start);
    if (layout.Compressed()) {
        // Compressed pixel areas are small; a buffer's own bytes are used without a copy.
        const auto* buffer = qobject_cast<const QBuffer*>(&device);
        const QByteArray bytes = buffer ? buffer->data() : device.peek(available);
        const qint64 pixels = (buffer ? start : 0) + layout.offBits;
        CheckRunLengths(bytes.constData() + pixels, bytes.size() - pixels, layout);
    }
    AllocationLimit limit(layout);
    QImageReader reader(&device, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw QbError(QStringLiteral("The picture cannot be decoded: %1").arg(reader.errorString()));
    return image;
}

} // namespace

QImage PlaceholderImage(int index)
{
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (index == PlaceholderNew) {
        painter.setPen(QColor(192, 192, 192));
        painter.drawRect(0, 0, 99, 99);
    } else {
        painter.setPen(QPen(QColor(160, 160, 160), 2));
        painter.drawRect(QRectF(15, 20, 70, 60));
        painter.drawEllipse(QPointF(66, 36), 6, 6);
        const QPointF hills[] = {{16, 72}, {38, 46}, {52, 62}, {62, 54}, {84, 74}};
        painter.drawPolyline(hills, 5);
    }
    return image;
}

QByteArray EncodeBmp(const QImage& image)
{
    if (image.isNull())
        return QByteArray();
    const BmpRows rows(image);
    const qint64 header = rows.Header().size();
    QByteArray bytes(rows.Size(), Qt::Uninitialized);
    std::memcpy(bytes.data(), rows.Header().constData(), size_t(header));
    for (int i = 0; i < rows.Rows(); ++i)
        rows.Row(i, bytes.data() + header + i * rows.RowBytes());
    return bytes;
}

QImage DecodeBmp(QIODevice& device)
{
    if (!device.isSequential())
        return DecodeChecked(device);
    QBuffer whole;
    whole.setData(device.readAll());
    whole.open(QIODevice::ReadOnly);
    return DecodeChecked(whole);
}

QImage DecodeBmp(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return DecodeChecked(buffer);
}

QImage ReadImageFile(const QString& path)
{
    const QString shown = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QbError(QStringLiteral("Can't read the picture \"%1\": %2").arg(shown, file.errorString()));
    if (file.peek(2) == "BM") {
        try {
            return DecodeChecked(file);
        } catch (const QbError& e) {
            throw QbError(QStringLiteral("Can't read the picture \"%1\": %2").arg(shown, e.Message()));
        }
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw QbError(QStringLiteral("Can't read the picture \"%1\": %2").arg(shown, reader.errorString()));
    return image;
}

void WriteImageFile(const QImage& image, const QString& path)
{
    const QString shown = QFileInfo(path).fileName();
    if (image.isNull())
        throw QbError(QStringLiteral("There is no picture to write to \"%1\".").arg(shown));
    QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        format = "bmp";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw QbError(QStringLiteral("Can't write the picture \"%1\": %2").arg(shown, file.errorString()));
    try {
        if (format == "bmp") {
            WriteBmpTo(image, file);
        } else {
            QImageWriter writer(&file, format);
            if (!writer.write(image))
                throw QbError(writer.errorString());
        }
    } catch (const QbError& e) {
        file.cancelWriting();
        throw QbError(QStringLiteral("Can't write the picture \"%1\": %2").arg(shown, e.Message()));
    }
    if (!file.commit())
        throw QbError(QStringLiteral("Can't write the picture \"%1\": %2").arg(shown, file.errorString()));
}

QImage ImageFromMimeData(const QMimeData& data)
{
    if (data.hasImage()) {
        const QImage image = qvariant_cast<QImage>(data.imageData());
        if (!image.isNull())
            return image;
    }
    const QStringList formats = data.formats();
    for (const QString& format : formats) {
        if (!format.startsWith(QLatin1String("image/")))
            continue;
        const QByteArray bytes = data.data(format);
        if (bytes.startsWith("BM")) {
            try {
                return DecodeBmp(bytes);
            } catch (const QbError&) {
                continue; // another format of the same picture may still decode
            }
        }
        QImage image;
        if (image.loadFromData(bytes))
            return image;
    }
    return QImage();
}

QImage ReadPicture(TDatabaseConnection& connection, const QString& id)
{
    // Decoded from the cell in place: the stored bytes are never held beside the picture.
    const std::unique_ptr<QIODevice> cell = TDocStore(connection).OpenContent(id, ImageField);
    return cell ? DecodeChecked(*cell) : QImage();
}

void WritePicture(TDatabaseConnection& connection, const QString& id, const QImage& image)
{
    TDocStore store(connection);
    if (image.isNull()) {
        store.WriteContentBytes(id, ImageField, QByteArray());
        return;
    }
    // Encoded row by row as the cell is filled: the picture is the only whole copy held.
    BmpRows rows(image);
    TMadeDevice source(rows.Size(), [&rows](qint64 at, char* data, qint64 max) { return rows.Read(at, data, max); });
    store.WriteContent(id, ImageField, source);
}

} // namespace ImageStore
