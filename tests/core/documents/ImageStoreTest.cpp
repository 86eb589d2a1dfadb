#include "core/documents/ImageStore.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/documents/ScaleImage.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QtEndian>
#include <climits>
#include <csignal>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/resource.h>
#include <utility>

// Readable failure output for sizes.
void PrintTo(const QSize& size, std::ostream* os)
{
    *os << size.width() << " x " << size.height();
}

namespace {

// Odd sizes on purpose: BMP rows are padded to four bytes.
QImage Colourful(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 37 % 256, y * 91 % 256, (x * y * 13) % 256, (x + y) % 2 ? 255 : 128));
    return image.convertToFormat(format);
}

QImage Rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

// The picture as BMP shows it: transparent parts on white.
QImage OnWhite(const QImage& image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter(&flat).drawImage(0, 0, image);
    return flat;
}

// A 4 × 2 picture in run-length coded 8-bit BMP, as other programs write it: the lower row four
// white pixels, the upper one two black and two white.
QByteArray Rle8Bmp()
{
    const QByteArray pixels("\x04\x01\x00\x00\x02\x00\x02\x01\x00\x01", 10);
    QByteArray bytes(62, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    const std::pair<int, quint32> fields[]
        = {{2, 72}, {10, 62}, {14, 40}, {18, 4}, {22, 2}, {30, 1}, {34, 10}, {46, 2}};
    for (const auto& [at, value] : fields)
        qToLittleEndian<quint32>(value, bytes.data() + at);
    qToLittleEndian<quint16>(1, bytes.data() + 26); // planes
    qToLittleEndian<quint16>(8, bytes.data() + 28); // bits
    qToLittleEndian<quint32>(0x00ffffff, bytes.data() + 58); // colour 1: white
    return bytes + pixels;
}

} // namespace

TEST(ScaleImage, PercentOfNaturalSizeRoundsHalvesToEven)
{
    struct Row
    {
        int percent;
        QSize natural;
        QSize expected;
    };
    const Row rows[] = {
        {250, {101, 33}, {252, 82}}, // 252.5 and 82.5 go down to the even neighbour
        {100, {101, 33}, {101, 33}},
        {150, {3, 1}, {4, 2}}, // 4.5 -> 4, 1.5 -> 2
        {50, {3, 5}, {2, 2}}, // 1.5 -> 2, 2.5 -> 2
        {10, {5, 15}, {0, 2}}, // 0.5 -> 0, 1.5 -> 2
        {510, {7, 1}, {36, 5}}, // 35.7 -> 36, 5.1 -> 5
        {175, {2, 0}, {4, 0}}, // 3.5 -> 4
        {110, {-5, 5}, {-6, 6}}, // -5.5 and 5.5 both to 6 in magnitude
        {510, {INT_MAX, 1}, {INT_MAX, 5}}, // clamped, not wrapped
    };
    for (const Row& r : rows)
        EXPECT_EQ(ScaleImage::ScaledSize(r.percent, r.natural), r.expected)
            << r.percent << " % of " << r.natural.width() << " x " << r.natural.height();
}

TEST(ImageStore, BmpRoundTripKeepsEveryPixelBmpCanHold)
{
    QImage indexed = Colourful(9, 4).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QImage mono = Colourful(13, 3).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    const QImage translucent = Colourful(6, 5, QImage::Format_ARGB32);
    struct Row
    {
        const char* name;
        QImage picture;
        QImage expected;
    };
    const Row rows[] = {
        {"rgb32", Colourful(7, 5), Colourful(7, 5)},
        {"rgb888", Colourful(5, 3, QImage::Format_RGB888), Colourful(5, 3)},
        {"grayscale", Colourful(3, 3, QImage::Format_Grayscale8), Colourful(3, 3, QImage::Format_Grayscale8)},
        {"indexed", indexed, indexed},
        {"mono", mono, mono},
        {"alpha on white", translucent, OnWhite(translucent)},
        {"placeholder 0", ImageStore::PlaceholderImage(0), ImageStore::PlaceholderImage(0)},
    };
    for (const Row& r : rows) {
        const QByteArray bytes = ImageStore::EncodeBmp(r.picture);
        ASSERT_TRUE(bytes.startsWith("BM")) << r.name;
        const QImage back = ImageStore::DecodeBmp(bytes);
        EXPECT_EQ(back.size(), r.expected.size()) << r.name;
        EXPECT_EQ(Rgb(back), Rgb(r.expected)) << r.name;
        // Other programs read the same picture from these bytes.
        EXPECT_EQ(Rgb(QImage::fromData(bytes, "BMP")), Rgb(r.expected)) << r.name;
    }
    EXPECT_TRUE(ImageStore::EncodeBmp(QImage()).isEmpty());
    EXPECT_TRUE(ImageStore::DecodeBmp(QByteArray()).isNull()); // a picture document just created
}

TEST(ImageStore, DamagedBytesRaiseAnErrorInsteadOfAPicture)
{
    const QImage rle = ImageStore::DecodeBmp(Rle8Bmp());
    ASSERT_EQ(rle.size(), QSize(4, 2));
    EXPECT_EQ(rle.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(rle.pixel(2, 0), qRgb(255, 255, 255));
    EXPECT_EQ(rle.pixel(0, 1), qRgb(255, 255, 255));

    const QByteArray samples[]
        = {ImageStore::EncodeBmp(Colourful(5, 3)),
           ImageStore::EncodeBmp(Colourful(6, 4).convertToFormat(QImage::Format_Indexed8)), Rle8Bmp()};
    for (const QByteArray& good : samples) {
        ASSERT_FALSE(ImageStore::DecodeBmp(good).isNull());
        for (int cut = 1; cut < good.size(); ++cut)
            EXPECT_THROW(ImageStore::DecodeBmp(good.left(cut)), QbError) << "cut at " << cut << " of " << good.size();
    }

    const QByteArray good = samples[0];
    auto patched = [&good](int at, quint32 value, int width = 4) {
        QByteArray bytes = good;
        if (width == 2)
            qToLittleEndian<quint16>(quint16(value), bytes.data() + at);
        else
            qToLittleEndian<quint32>(value, bytes.data() + at);
        return bytes;
    };
    struct Row
    {
        const char* name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"not a bitmap", QByteArray("\x89PNG\r\n\x1a\n").append(good.mid(8))},
        {"unknown header size", patched(14, 41)},
        {"zero width", patched(18, 0)},
        {"negative width", patched(18, quint32(-5))},
        {"zero height", patched(22, 0)},
        {"huge height", patched(22, 0x7fffffff)},
        {"most negative height", patched(22, 0x80000000)},
        {"two planes", patched(26, 2, 2)},
        {"7 bits", patched(28, 7, 2)},
        {"jpeg inside", patched(30, 4)},
        {"rle8 on 24 bits", patched(30, 1)},
        {"pixels before the header ends", patched(10, 20)},
        {"pixels past the end", patched(10, quint32(good.size() + 1))},
    };
    for (const Row& r : rows)
        EXPECT_THROW(ImageStore::DecodeBmp(r.bytes), QbError) << r.name;
}

TEST(ImageStore, MimeDataOffersThePictureInAnyFormatQtReads)
{
    const QImage picture = Colourful(4, 4);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    picture.save(&png, "PNG");

    QMimeData qtImage;
    qtImage.setImageData(picture);
    QMimeData pngOnly;
    pngOnly.setData(QStringLiteral("image/png"), png.data());
    QMimeData brokenBmpThenPng;
    brokenBmpThenPng.setData(QStringLiteral("image/bmp"), ImageStore::EncodeBmp(picture).left(60));
    brokenBmpThenPng.setData(QStringLiteral("image/png"), png.data());
    QMimeData textOnly;
    textOnly.setText(QStringLiteral("not a picture"));

    EXPECT_EQ(Rgb(ImageStore::ImageFromMimeData(qtImage)), picture);
    EXPECT_EQ(Rgb(ImageStore::ImageFromMimeData(pngOnly)), picture);
    EXPECT_EQ(Rgb(ImageStore::ImageFromMimeData(brokenBmpThenPng)), picture);
    EXPECT_TRUE(ImageStore::ImageFromMimeData(textOnly).isNull());
}

TEST(ImageStore, FilesAreReadByContentAndWrittenBySuffix)
{
    const QString folder = qbtest::FreshFolder();
    const QImage picture = Colourful(8, 6);
    const QString png = folder + QStringLiteral("/картинка 1.png");
    const QString noSuffix = folder + QStringLiteral("/picture");
    ImageStore::WriteImageFile(picture, png);
    ImageStore::WriteImageFile(picture, noSuffix);
    EXPECT_TRUE(qbtest::ReadAll(png).startsWith("\x89PNG"));
    EXPECT_TRUE(qbtest::ReadAll(noSuffix).startsWith("BM"));

    const QString pngNamedBmp = folder + QStringLiteral("/really png.bmp");
    qbtest::WriteAll(pngNamedBmp, qbtest::ReadAll(png));
    for (const QString& path : {png, noSuffix, pngNamedBmp})
        EXPECT_EQ(Rgb(ImageStore::ReadImageFile(path)), picture) << path.toStdString();

    const QString text = folder + QStringLiteral("/notes.bmp");
    qbtest::WriteAll(text, "BM but nothing else");
    const QString cutPng = folder + QStringLiteral("/cut.png");
    qbtest::WriteAll(cutPng, qbtest::ReadAll(png).left(30));
    for (const QString& path : {text, cutPng, folder + QStringLiteral("/missing.png")})
        EXPECT_THROW(ImageStore::ReadImageFile(path), QbError) << path.toStdString();
    // A failed save leaves the old file alone.
    EXPECT_THROW(ImageStore::WriteImageFile(QImage(), png), QbError);
    EXPECT_EQ(Rgb(ImageStore::ReadImageFile(png)), picture);
}

TEST(ImageStore, PictureCellRoundTripThroughTheDatabase)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("Bild"), QStringLiteral("IMG"));
    EXPECT_TRUE(ImageStore::ReadPicture(db.Connection, id).isNull());

    const QImage picture = Colourful(301, 7);
    ImageStore::WritePicture(db.Connection, id, picture);
    EXPECT_TRUE(store.ReadContentBytes(id, QStringLiteral("Image")).startsWith("BM"));
    EXPECT_EQ(Rgb(ImageStore::ReadPicture(db.Connection, id)), picture);

    store.WriteContentBytes(id, QStringLiteral("Image"), QByteArray("BM damaged"));
    EXPECT_THROW(ImageStore::ReadPicture(db.Connection, id), QbError);
    EXPECT_THROW(ImageStore::ReadPicture(db.Connection, TDocStore::NewIdentifier()), QbError);
    EXPECT_THROW(ImageStore::WritePicture(db.Connection, TDocStore::NewIdentifier(), picture), QbError);
}

TEST(ImageStore, TwentyFourBitPicturesOfOtherWritersDecodeEitherWayUp)
{
    const QImage picture = Colourful(7, 5);
    QBuffer qt;
    qt.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&qt, "BMP"));
    const QByteArray bottomUp = qt.data();
    ASSERT_EQ(qFromLittleEndian<quint16>(bottomUp.constData() + 28), 24);

    // The same picture stored first line first, as a negative height says.
    const int offBits = qFromLittleEndian<qint32>(bottomUp.constData() + 10);
    const int rowBytes = 24;
    QByteArray topDown = bottomUp.left(offBits);
    qToLittleEndian<qint32>(-5, topDown.data() + 22);
    for (int row = 4; row >= 0; --row)
        topDown += bottomUp.mid(offBits + row * rowBytes, rowBytes);

    EXPECT_EQ(Rgb(ImageStore::DecodeBmp(bottomUp)), picture);
    EXPECT_EQ(Rgb(ImageStore::DecodeBmp(topDown)), picture);
}

TEST(ImageStore, PictureStreamedIntoTheCellIsTheEncodedBitmap)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("Bild"), QStringLiteral("IMG"));
    struct Row
    {
        const char* name;
        QImage picture;
    };
    // The 24-bit one spans more than one chunk of the cell, with rows split between chunks.
    const Row rows[] = {
        {"1 bit", Colourful(13, 3).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)},
        {"1 bit, low bit first", Colourful(13, 3).convertToFormat(QImage::Format_MonoLSB, Qt::ThresholdDither)},
        {"8-bit palette", Colourful(9, 4).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)},
        {"24 bits", Colourful(301, 300, QImage::Format_RGB888)},
        {"transparent", Colourful(6, 5, QImage::Format_ARGB32)},
    };
    for (const Row& r : rows) {
        ImageStore::WritePicture(db.Connection, id, r.picture);
        EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("Image")), ImageStore::EncodeBmp(r.picture)) << r.name;
    }
}

TEST(ImageStore, FullDiskWhileStoringKeepsTheOldPicture)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("Bild"), QStringLiteral("IMG"));
    const QImage old = Colourful(30, 20);
    ImageStore::WritePicture(db.Connection, id, old);
    const QByteArray oldBytes = store.ReadContentBytes(id, QStringLiteral("Image"));
    const qint64 size = QFileInfo(db.Connection.FilePath()).size();

    // No file of this process may grow much: the large picture fails midway.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = rlim_t(size + 32 * 1024);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QImage large = Colourful(1000, 1000, QImage::Format_RGB888);
    EXPECT_THROW(ImageStore::WritePicture(db.Connection, id, large), QbError);
    ::setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("Image")), oldBytes);
    EXPECT_EQ(Rgb(ImageStore::ReadPicture(db.Connection, id)), old);
    // The connection is usable again: no half transaction was left behind.
    ImageStore::WritePicture(db.Connection, id, large);
    EXPECT_EQ(Rgb(ImageStore::ReadPicture(db.Connection, id)), Rgb(large));
}
