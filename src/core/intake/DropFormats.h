#pragma once

// What a drop offers, read format by format: which offered MIME types count and how each one's
// bytes become a text or a picture.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

namespace DropFormats {

// The formats a drop is read from; every other offered format is passed over.
enum class TDropFormat
{
    None,
    Text, // plain text
    Dib, // a device-independent bitmap, or a picture in any format Qt reads
    FileName, // the path of a dragged file
    FileContents, // the contents of a dragged file, read as text
    Url, // a link
    Html,
    Rtf,
    UriList // a file name or a link, as its first entry says (UriListFormat)
};

// The format an offered MIME type stands for. Formats that a Windows program offers through Qt's
// wrapper ("application/x-qt-windows-mime;value=\"FileName\"") and the bare Windows names count
// as those formats.
TDropFormat Classify(const QString& mimeType);
// A uri-list is a file name when its first entry is a local file, a link when it is another
// URL, and nothing when it lists no entry.
TDropFormat UriListFormat(const QByteArray& uriList);

// UTF-8 text up to the first zero byte.
QString ZeroTerminated(const QByteArray& block);
// The first entry of a uri-list (comments and blank lines passed over); empty when none.
QString FirstUri(const QByteArray& uriList);
// Every entry of a uri-list, in its order.
QStringList UriEntries(const QByteArray& uriList);
// The text a block of the given format carries: a file's local path, a link, an HTML or rich
// text, plain text. Cut at the first zero character in every case.
QString TextOf(TDropFormat format, const QString& mimeType, const QByteArray& block);

// Pixels beyond this count are refused before anything is allocated: a small run-length coded
// block may claim any size. 64 mebipixels is what Qt's default allocation limit lets it decode.
inline constexpr qint64 MaxPixels = qint64(1) << 26;

// A device-independent bitmap: a 40-byte (or larger) information header, the colour table and
// the pixel bits, uncompressed (1, 4, 8, 16, 24, 32 bits), with colour masks, or run-length coded
// (4 and 8 bits). Anything malformed, oversized or cut short gives a null image; nothing outside
// the block is ever read.
QImage DecodeDib(const QByteArray& block);
// A BMP file: its 14-byte file header is passed over and the rest read as above.
QImage DecodeBmpFile(const QByteArray& file);
// The picture of a block offered as mimeType (image/bmp through DecodeBmpFile, any other image
// type through Qt's readers, the bare Windows "CF_DIB" through DecodeDib). Null when it does not
// decode.
QImage PictureOf(const QString& mimeType, const QByteArray& block);

} // namespace DropFormats
