#include "core/documents/ImageStore.h"

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
    }
    if (layout.height < 0)
        layout.height = -layout.height;
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

// A picture in a form Qt's BMP writer stores without loss of what BMP can hold.
QImage Storable(const QImage& image)
{
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.setDotsPerMeterX(image.dotsPerMeterX());
        flat.setDotsPerMeterY(image.dotsPerMeterY());
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        return flat;
    }
    switch (image.format()) {
        case QImage::Format_Mono:
        case QImage::Format_Indexed8:
        case QImage::Format_RGB32:
            return image;
        case QImage::Format_MonoLSB:
            return image.convertToFormat(QImage::Format_Mono);
        default:
            return image.convertToFormat(QImage::Format_RGB32);
    }
}

qint64 EncodedSizeHint(const QImage& image)
{
    const int bits = image.depth() == 1 ? 1 : image.format() == QImage::Format_Indexed8 ? 8 : 24;
    const qint64 palette = bits <= 8 ? qint64(image.colorCount()) * 4 : 0;
    return FileHeaderSize + 40 + palette + (qint64(image.width()) * bits + 31) / 32 * 4 * image.height();
}

void WriteBmpTo(const QImage& image, QIODevice& device)
{
    QImageWriter writer(&device, "bmp");
    if (!writer.write(Storable(image)))
        throw QbError(QStringLiteral("The picture cannot be written as a bitmap: %1").arg(writer.errorString()));
}

QImage DecodeChecked(QIODevice& device)
{
    const qint64 available = device.size() - device.pos();
    if (available <= 0)
        return QImage();
    const BmpLayout layout = CheckBmp(device.peek(FileHeaderSize + LargestInfoHeader), available);
    if (layout.Compressed()) {
        // Compressed pixel areas are small; a buffer's own bytes are used without a copy.
        const auto* buffer = qobject_cast<const QBuffer*>(&device);
        const QByteArray bytes = buffer ? buffer->data() : device.peek(available);
        const qint64 start = (buffer ? device.pos() : 0) + layout.offBits;
        CheckRunLengths(bytes.constData() + start, bytes.size() - start, layout);
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
    QByteArray bytes;
    bytes.reserve(EncodedSizeHint(image));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    WriteBmpTo(image, buffer);
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
    QByteArray bytes = EncodeBmp(image);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TDocStore(connection).WriteContent(id, ImageField, buffer);
}

} // namespace ImageStore
