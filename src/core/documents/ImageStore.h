#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QIODevice;
class QMimeData;
class TDatabaseConnection;

// Pictures of picture documents. The content cell "Image" holds one picture in the BMP file
// format; files, the clipboard and drops may offer any format Qt reads. Every failure raises
// QbError with a text for the user; damaged bytes never crash and never yield half a picture.
namespace ImageStore {

// The two pictures the program draws itself, 100 × 100 pixels on white.
enum Placeholder
{
    // A new picture document made without content: a blank white sheet in a light grey frame.
    PlaceholderNew = 0,
    // Shown while no document is open: a grey outline of a landscape (hills and a sun).
    PlaceholderClosed = 1
};
QImage PlaceholderImage(int index);

// The picture as stored: 1-bit, 8-bit palette or 24-bit BMP. BMP as written here has no alpha,
// so transparent parts are laid onto white first. A null image gives no bytes.
QByteArray EncodeBmp(const QImage& image);

// Decodes BMP bytes from the device's position to its end. No bytes give a null image (the
// state of a picture document just created); anything but a whole BMP raises an error.
// Uncompressed 24-bit pixels are read into Format_BGR888 lines as they are stored, unconverted.
QImage DecodeBmp(QIODevice& device);
QImage DecodeBmp(const QByteArray& bytes);

// Reads a picture file of any format Qt reads.
QImage ReadImageFile(const QString& path);
// Writes the picture to path in the format its suffix names when Qt writes that format, else as
// BMP. The old file is replaced only once the new one is complete.
void WriteImageFile(const QImage& image, const QString& path);

// The picture that clipboard or drop data offers: Qt's own image, else the first "image/..."
// format that decodes. Null when there is none.
QImage ImageFromMimeData(const QMimeData& data);

// The picture of document id from its "Image" cell; an empty cell gives a null image. It is
// decoded from the cell in place, so the decoded picture is the only copy held. A missing row
// raises an error.
QImage ReadPicture(TDatabaseConnection& connection, const QString& id);
// Replaces the "Image" cell of document id with the picture as BMP, encoded row by row as the cell
// is filled, so no second whole copy of the picture is made. On failure the old content stays.
void WritePicture(TDatabaseConnection& connection, const QString& id, const QImage& image);

} // namespace ImageStore
