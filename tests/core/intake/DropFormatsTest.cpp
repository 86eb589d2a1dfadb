#include "core/intake/DropFormats.h"

#include "core/intake/DibBlocks.h"
#include "core/intake/DropImport.h"
#include "core/intake/OleDrop.h"

#include <QBuffer>
#include <QMimeData>
#include <QStringEncoder>
#include <gtest/gtest.h>
#include <utility>

using qbtest::BmpFile;
using qbtest::DibLayout;
using qbtest::MakeDib;

namespace {

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage Filled(QRgb colour)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray Utf16(const QString& text, bool bom)
{
    return QStringEncoder(QStringConverter::Utf16LE,
                          bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default)
        .encode(text);
}

const QRgb Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255);
const QByteArray RedBmp = Encoded(Filled(Red), "BMP");
const QByteArray BluePng = Encoded(Filled(Blue), "PNG");
const QByteArray FileList = "file:///home/u/notes%20%D0%B4.txt\r\n";
const QString FilePath = QStringLiteral("/home/u/notes д.txt");
const QString Url = QStringLiteral("https://example.org/a?b=1");

struct DropRow
{
    const char* what;
    QList<std::pair<const char*, QByteArray>> offers; // in the order the source lists them
    TOleDropper::TDropKind kind;
    QString text = {};
    QString html = {};
    QString rtf = {};
    QRgb picture = 0; // colour of the picture; 0: none
};

TEST(DropFormats, KindRuleFollowsTheSourcesOrder)
{
    using K = TOleDropper;
    // clang-format off
    const QList<DropRow> rows{
        {"plain text, cut at its first zero byte", {{"text/plain", QByteArray("first\0second", 12)}}, K::dkText, QStringLiteral("first")},
        {"only formats outside the seven", {{"x-special/gnome-icon-list", "icons"}, {"application/x-kde-cutselection", "1"}}, K::dkNone},
        {"a link after its text: the link's text is the last",
         {{"text/plain;charset=utf-8", "Example"}, {"text/x-moz-url", Utf16(Url + QStringLiteral("\nExample"), false)}}, K::dkUrl, Url},
        {"a link before its text: the plain text is the last",
         {{"text/uri-list", Url.toUtf8() + "\r\n"}, {"text/plain", "Example"}}, K::dkUrl, QStringLiteral("Example")},
        {"rich text, HTML and plain text fill all three",
         {{"text/rtf", "{\\rtf1 hi}"}, {"text/html", Utf16(QStringLiteral("<b>hi</b>"), true)}, {"text/plain", "hi"}},
         K::dkText, QStringLiteral("hi"), QStringLiteral("<b>hi</b>"), QStringLiteral("{\\rtf1 hi}")},
        {"HTML alone is text without plain text", {{"text/html", "<p>x</p>"}}, K::dkText, {}, QStringLiteral("<p>x</p>")},
        {"two bitmaps: the first is kept", {{"image/bmp", RedBmp}, {"image/png", BluePng}}, K::dkPicture, {}, {}, {}, Red},
        {"a bitmap, then a file name: the file decides", {{"image/bmp", RedBmp}, {"text/uri-list", FileList}}, K::dkFile, FilePath, {}, {}, Red},
        {"a file name, then a bitmap: the bitmap decides", {{"text/uri-list", FileList}, {"image/png", BluePng}}, K::dkPicture, FilePath, {}, {}, Blue},
        {"a damaged bitmap is passed over", {{"image/bmp", RedBmp.left(40)}, {"text/plain", "words"}}, K::dkText, QStringLiteral("words")},
        {"a damaged first bitmap leaves the place to the next", {{"image/bmp", RedBmp.chopped(1)}, {"image/png", BluePng}}, K::dkPicture, {}, {}, {}, Blue},
        {"a format offered without bytes could not be read", {{"text/plain", QByteArray()}}, K::dkNone},
        {"Windows names through Qt's wrapper",
         {{"application/x-qt-windows-mime;value=\"FileName\"", QByteArray("C:\\a.txt\0junk", 13)},
          {"application/x-qt-windows-mime;value=\"Rich Text Format\"", "{\\rtf1}"}},
         K::dkFile, QStringLiteral("C:\\a.txt"), {}, QStringLiteral("{\\rtf1}")},
    };
    // clang-format on

    TOleDropper dropper;
    int drops = 0;
    QObject::connect(&dropper, &TOleDropper::OnDrop, &dropper, [&drops, &dropper](TOleDropper* sender) {
        EXPECT_EQ(sender, &dropper);
        ++drops;
    });
    for (const DropRow& row : rows) {
        QMimeData data;
        for (const auto& [format, bytes] : row.offers)
            data.setData(QString::fromLatin1(format), bytes);
        const int before = drops;
        dropper.Drop(data);
        EXPECT_EQ(drops, before + 1) << row.what;
        EXPECT_EQ(dropper.DropKind(), row.kind) << row.what;
        EXPECT_EQ(dropper.DroppedText(), row.text) << row.what;
        EXPECT_EQ(dropper.DroppedHtml(), row.html) << row.what;
        EXPECT_EQ(dropper.DroppedRtf(), row.rtf) << row.what;
        const QImage& picture = dropper.DroppedPicture();
        EXPECT_EQ(picture.isNull() ? 0 : picture.pixel(0, 0), row.picture) << row.what;
    }
}

TEST(DropFormats, TextPicturesAndFilesBecomeDocuments)
{
    using K = TOleDropper;
    const struct
    {
        bool open;
        TOleDropper::TDropKind kind;
        const char* type;
        QString refusal;
    } rows[]{{true, K::dkText, "TXT", {}},
             {true, K::dkPicture, "IMG", {}},
             {true, K::dkFile, "", QString()}, // each file is judged on its own
             {true, K::dkUrl, "", DropImport::CannotImportText},
             {true, K::dkNone, "", DropImport::CannotImportText},
             {false, K::dkText, "TXT", DropImport::NoDatabaseText}};
    for (const auto& row : rows) {
        EXPECT_EQ(DropImport::DocumentType(row.kind), QString::fromLatin1(row.type)) << row.kind;
        EXPECT_EQ(DropImport::RefusalText(row.open, row.kind), row.refusal) << row.kind << row.open;
    }

    TOleDropper dropper;
    QMimeData text;
    text.setHtml(QStringLiteral("<p>ignored</p>"));
    text.setText(QStringLiteral("one\r\ntwo\rthree"));
    dropper.Drop(text);
    EXPECT_EQ(DropImport::Content(dropper).Lines,
              (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    QMimeData picture; // Qt's own image format, as a drag inside this program offers it
    picture.setImageData(Filled(Blue));
    dropper.Drop(picture);
    const TDocContent content = DropImport::Content(dropper);
    dropper.ClearData();
    ASSERT_TRUE(content.IsBitmap());
    EXPECT_EQ(content.Picture.pixel(2, 1), Blue) << "the content outlives the dropper's data";
}

// Rows of the picture, top first.
using Rows = QList<QList<QRgb>>;

Rows RowsOf(const QImage& image)
{
    Rows rows;
    for (int y = 0; y < image.height(); ++y) {
        QList<QRgb> row;
        for (int x = 0; x < image.width(); ++x)
            row << (image.pixel(x, y) | 0xFF000000);
        rows << row;
    }
    return rows;
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

TEST(DropFormats, DecodesEveryKindOfBitmapBlock)
{
    const QRgb k = qRgb(0, 0, 0), w = qRgb(255, 255, 255), r = Red, g = qRgb(0, 255, 0), b = Blue;
    QList<QRgb> sixteen{k, r, g, b};
    sixteen.resize(16, w);
    const struct
    {
        const char* what;
        DibLayout layout; // width, height, bits, compression, colours used, header size, colours, masks, pixels
        Rows expected;
    } rows[]{
        // clang-format off
        {"1 bit, rows bottom-up", {3, 2, 1, 0, 0, 40, {k, w}, {}, Bytes({0xA0, 0, 0, 0, 0x40, 0, 0, 0})}, {{k, w, k}, {w, k, w}}},
        {"4 bits, 16 colours unless told", {3, 1, 4, 0, 0, 40, sixteen, {}, Bytes({0x12, 0x30, 0, 0})}, {{r, g, b}}},
        {"8 bits with a colours-used count", {3, 1, 8, 0, 3, 40, {r, g, b}, {}, Bytes({2, 1, 0, 0})}, {{b, g, r}}},
        {"24 bits top-down", {2, -2, 24, 0, 0, 40, {}, {}, Bytes({0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0})}, {{r, g}, {b, k}}},
        {"16 bits as five bits a colour", {2, 1, 16, 0, 0, 40, {}, {}, Bytes({0x00, 0x7C, 0xE0, 0x03})}, {{r, g}}},
        {"32 bits with masks after the header", {1, 1, 32, 3, 0, 40, {}, {0xFF, 0xFF00, 0xFF0000}, Bytes({0, 0xFF, 0, 0})}, {{g}}},
        {"24 bits after a version 5 header", {1, 1, 24, 0, 0, 124, {}, {}, Bytes({255, 0, 0, 0})}, {{b}}},
        {"run-length coded 8 bits", {4, 2, 8, 1, 2, 40, {k, w}, {}, Bytes({4, 1, 0, 0, 2, 0, 2, 1, 0, 1})}, {{k, k, w, w}, {w, w, w, w}}},
        {"run-length coded 4 bits", {3, 2, 4, 2, 4, 40, {k, r, g, b}, {}, Bytes({0, 3, 0x12, 0x30, 0, 0, 3, 0x31, 0, 1})}, {{b, r, b}, {r, g, b}}},
        // clang-format on
    };
    for (const auto& row : rows) {
        const QByteArray block = MakeDib(row.layout);
        EXPECT_EQ(RowsOf(DropFormats::DecodeDib(block)), row.expected) << row.what;
        EXPECT_EQ(RowsOf(DropFormats::DecodeBmpFile(BmpFile(block))), row.expected) << row.what << " (file)";
    }

    QImage colourful(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            colourful.setPixel(x, y, qRgb(x * 36, y * 60, (x * y * 17) % 256));
    for (const QImage& image : {colourful, colourful.convertToFormat(QImage::Format_Indexed8),
                                colourful.convertToFormat(QImage::Format_Mono)}) {
        const QImage read = DropFormats::PictureOf(QStringLiteral("image/bmp"), Encoded(image, "BMP"));
        EXPECT_EQ(RowsOf(read), RowsOf(image)) << "as Qt writes it: " << image.format();
    }
}

TEST(DropFormats, RefusesMalformedBlocks)
{
    auto with = [](auto change) {
        DibLayout s{2, 2, 24, 0, 0, 40, {}, {}, QByteArray(16, '\x7f')};
        change(s);
        return MakeDib(s);
    };
    // clang-format off
    const QList<std::pair<const char*, QByteArray>> rows{
        {"shorter than its header", with([](DibLayout&) {}).left(39)},
        {"an unknown header size", with([](DibLayout& s) { s.headerSize = 44; })},
        {"a negative width", with([](DibLayout& s) { s.width = -2; })},
        {"the lowest height", with([](DibLayout& s) { s.height = INT32_MIN; })},
        {"a size whose pixel count overflows", with([](DibLayout& s) { s.width = s.height = INT32_MAX; })},
        {"an invalid depth", with([](DibLayout& s) { s.bits = 7; })},
        {"run-length coding of 24 bits", with([](DibLayout& s) { s.compression = 1; })},
        {"run-length coded rows top-down", with([](DibLayout& s) { s = {1, -1, 8, 1, 1, 40, {0}, {}, Bytes({1, 0, 0, 1})}; })},
        {"a colours-used count beyond the block", with([](DibLayout& s) { s = {1, 1, 8, 0, 0xFFFFFFFF, 40, {0}, {}, Bytes({0, 0, 0, 0})}; })},
        {"pixels one byte short", with([](DibLayout&) {}).chopped(1)},
        {"run-length codes without their end", with([](DibLayout& s) { s = {4, 4, 8, 1, 1, 40, {0}, {}, Bytes({4, 0, 0, 0})}; })},
    };
    // clang-format on
    ASSERT_FALSE(DropFormats::DecodeDib(with([](DibLayout&) {})).isNull()) << "the rows change a valid block";
    for (const auto& [what, block] : rows) {
        EXPECT_TRUE(DropFormats::DecodeDib(block).isNull()) << what;
        EXPECT_TRUE(DropFormats::DecodeBmpFile(BmpFile(block)).isNull()) << what << " (file)";
    }
    EXPECT_TRUE(DropFormats::DecodeBmpFile("BM").isNull());
}

} // namespace

TEST(DropFormats, AFileDropKeepsEveryEntryOfItsList)
{
    using K = TOleDropper;
    const struct
    {
        const char* what;
        QList<QPair<QString, QByteArray>> formats;
        K::TDropKind kind;
        QStringList files;
    } rows[]{
        {"two files and a link, in order",
         {{QStringLiteral("text/uri-list"), "file:///a%20b.txt\r\n# note\r\nhttps://x.org/\r\nfile:///c\r\n"}},
         K::dkFile,
         {QStringLiteral("file:///a%20b.txt"), QStringLiteral("https://x.org/"), QStringLiteral("file:///c")}},
        {"a file name",
         {{QStringLiteral("FileName"), QByteArray("C:\\a.txt\0", 9)}},
         K::dkFile,
         {QStringLiteral("C:\\a.txt")}},
        {"file contents name no file", {{QStringLiteral("FileContents"), "text"}}, K::dkFile, {}},
        {"a link first", {{QStringLiteral("text/uri-list"), "https://x.org/\r\nfile:///c\r\n"}}, K::dkUrl, {}},
        {"a file, then text",
         {{QStringLiteral("text/uri-list"), "file:///c\r\n"}, {QStringLiteral("text/plain"), "t"}},
         K::dkFile,
         {QStringLiteral("file:///c")}},
    };
    for (const auto& row : rows) {
        QMimeData data;
        for (const auto& [type, bytes] : row.formats)
            data.setData(type, bytes);
        TOleDropper dropper;
        dropper.Drop(data);
        EXPECT_EQ(dropper.DropKind(), row.kind) << row.what;
        EXPECT_EQ(dropper.DroppedFiles(), row.files) << row.what;
    }
}
