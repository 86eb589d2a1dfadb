#include "core/documents/RichTextStore.h"

#include "core/common/QbError.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QUrl>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using RichTextStore::Format;
using RichTextStore::Loaded;
using RulerMath::Indents;

namespace {

QByteArray Bytes(const char* data, int size)
{
    return QByteArray(data, size);
}

} // namespace

TEST(RichTextStore, ClassifiesContentBytes)
{
    const struct
    {
        QByteArray bytes;
        Format expected;
    } rows[] = {
        {QByteArray(), Format::PlainText},
        {"one line", Format::PlainText},
        {"a < b and c > d", Format::PlainText},
        {"<b> is the bold tag", Format::Html},
        {"Call <John> at noon", Format::PlainText},
        {"caf\xe9 au lait", Format::PlainText}, // Latin-1
        {"\xff\xfeh\0i\0", Format::PlainText}, // UTF-16 with its mark
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\"><html><body>x</body></html>", Format::Html},
        {"  <p>paragraph</p>", Format::Html},
        {"\xef\xbb\xbf<html><body>x</body></html>", Format::Html}, // UTF-8 mark
        {Bytes("BM6\0\0\0\0\0", 8), Format::Unreadable}, // a picture
        {Bytes("text\0more", 9), Format::Unreadable},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RichTextStore::Classify(row.bytes), row.expected) << row.bytes.toHex().toStdString();
}

TEST(RichTextStore, ThreeLinesStoredAsRichTextReadBackAsThoseLines)
{
    QTextDocument edited;
    edited.setPlainText(RichTextStore::WithoutFinalLineEnd(QStringLiteral("first\r\nзвідси\r\nthird\r\n")));
    const QByteArray stored = RichTextStore::Save(edited);
    EXPECT_EQ(RichTextStore::Classify(stored), Format::Html);

    TRichTextDocument loaded;
    RichTextStore::Load(loaded, stored);
    EXPECT_EQ(loaded.toPlainText(), QStringLiteral("first\nзвідси\nthird"));
    EXPECT_EQ(loaded.blockCount(), 3);
}

TEST(RichTextStore, PlainBytesLoadAsTheirTextAndUnreadableOnesLeaveTheDocument)
{
    TRichTextDocument document;
    RichTextStore::Load(document, "caf\xe9\n<b>not bold</b>");
    EXPECT_EQ(document.toPlainText(), QStringLiteral("café\n<b>not bold</b>"));
    RichTextStore::Load(document, "\xd0\xbf\xd1\x80\xd0\xb8");
    EXPECT_EQ(document.toPlainText(), QStringLiteral("при"));

    try {
        RichTextStore::Load(document, Bytes("BM\0\0", 4));
        ADD_FAILURE() << "binary bytes loaded";
    } catch (const QbError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Failed to Load Stream"));
    }
    EXPECT_EQ(document.toPlainText(), QStringLiteral("при"));
}

TEST(RichTextStore, FormattingSurvivesTheStoredForm)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("bold"), bold);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    RulerMath::SetIndents(centred, {12, -9, 7});
    cursor.insertBlock(centred, QTextCharFormat());
    cursor.insertText(QStringLiteral("centred"));
    cursor.insertBlock(QTextBlockFormat());
    cursor.createList(QTextListFormat::ListDisc);
    cursor.insertText(QStringLiteral("bullet"));

    TRichTextDocument loaded;
    RichTextStore::Load(loaded, RichTextStore::Save(document));
    const QTextBlock first = loaded.begin();
    const QTextBlock second = first.next();
    const QTextBlock third = second.next();
    QTextCursor inBold(first);
    inBold.movePosition(QTextCursor::Right);
    EXPECT_EQ(inBold.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(second.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(RulerMath::IndentsOf(second.blockFormat()), (Indents{12, -9, 7}));
    ASSERT_NE(third.textList(), nullptr);
    EXPECT_EQ(third.text(), QStringLiteral("bullet"));
    EXPECT_EQ(second.textList(), nullptr);
}

namespace {

QByteArray Nested(const char* open, const char* close, int depth)
{
    return QByteArray(open).repeated(depth) + "x" + QByteArray(close).repeated(depth);
}

QByteArray Png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Loads and lays the text out, as the viewer does; the size of the image named src, if any.
QSize LoadAndLayOut(TRichTextDocument& document, const QByteArray& html, Loaded& loaded, const QString& src = {})
{
    loaded = RichTextStore::Load(document, html);
    document.setTextWidth(600);
    EXPECT_GT(document.size().height(), 0);
    return src.isEmpty() ? QSize() : document.resource(QTextDocument::ImageResource, QUrl(src)).value<QImage>().size();
}

} // namespace

// Stored text may be hostile: nesting that would freeze or overflow the layout opens as its
// markup, and nothing outside the document is read.
TEST(RichTextStore, HostileTextLoadsWithinBoundsAndReadsNoFile)
{
    const QString folder = qbtest::FreshFolder();
    const QString picture = folder + QStringLiteral("/secret.png");
    qbtest::WriteAll(picture, Png(40, 30));
    const QString css = folder + QStringLiteral("/red.css");
    qbtest::WriteAll(css, "p { color: #ff0000 }");
    const QString fileUrl = QUrl::fromLocalFile(picture).toString();
    const QString relative = QDir::current().relativeFilePath(picture);
    const QString data = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(Png(3, 2).toBase64());
    const QSize standIn(16, 16);

    const struct
    {
        const char* name;
        QByteArray html;
        Loaded expected;
        QString src;
        QSize image;
    } rows[] = {
        {"3000-deep tables", Nested("<table><tr><td>", "", 3000), Loaded::MarkupAsText, {}, {}},
        {"24-deep tables", Nested("<table><tr><td>", "</td></tr></table>", 24), Loaded::MarkupAsText, {}, {}},
        {"tables at the bound", Nested("<table><tr><td>", "</td></tr></table>", 12), Loaded::AsStored, {}, {}},
        {"40 tables side by side",
         QByteArray("<table><tr><td>x</td></tr></table>").repeated(40),
         Loaded::AsStored,
         {},
         {}},
        {"closings hidden in comments",
         Nested("<table><tr><td><!-- </table> -->", "", 30),
         Loaded::MarkupAsText,
         {},
         {}},
        {"closings hidden in attributes",
         Nested("< TABLE title='</table>'><tr><td>", "", 30),
         Loaded::MarkupAsText,
         {},
         {}},
        {"stray closings of other names", Nested("<div></b>", "", 2000), Loaded::MarkupAsText, {}, {}},
        {"deep blocks", Nested("<div>", "</div>", 100000), Loaded::MarkupAsText, {}, {}},
        {"image of a file", "<p><img src=\"" + fileUrl.toUtf8() + "\"></p>", Loaded::AsStored, fileUrl, standIn},
        {"image by path", "<p><img src=\"" + picture.toUtf8() + "\"></p>", Loaded::AsStored, picture, standIn},
        {"image by relative path", "<p><img src=\"" + relative.toUtf8() + "\"></p>", Loaded::AsStored, relative,
         standIn},
        {"image of /dev/zero", "<p><img src=\"/dev/zero\"></p>", Loaded::AsStored, QStringLiteral("/dev/zero"),
         standIn},
        {"image in the text", "<p><img src=\"" + data.toUtf8() + "\"></p>", Loaded::AsStored, data, QSize(3, 2)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TRichTextDocument document;
        Loaded loaded{};
        EXPECT_EQ(LoadAndLayOut(document, row.html, loaded, row.src), row.image);
        EXPECT_EQ(loaded, row.expected);
        if (loaded == Loaded::MarkupAsText) {
            EXPECT_TRUE(document.rootFrame()->childFrames().isEmpty());
        }
    }

    // Style sheets are not fetched, neither imported nor linked.
    for (const QByteArray& html :
         {"<html><head><style>@import url(\"" + css.toUtf8() + "\");</style></head><body><p>x</p></body></html>",
          "<html><head><link rel=\"stylesheet\" href=\"" + css.toUtf8() + "\"></head><body><p>x</p></body></html>"}) {
        TRichTextDocument document;
        Loaded loaded{};
        LoadAndLayOut(document, html, loaded);
        EXPECT_NE(QTextCursor(document.lastBlock()).charFormat().foreground().color(), QColor(Qt::red)) << html.data();
    }

    // Past the size bound nothing is parsed: a message says why.
    TRichTextDocument document;
    try {
        RichTextStore::Load(document, QByteArray(100 * 1024 * 1024, 'a'));
        ADD_FAILURE() << "100 MB loaded";
    } catch (const QbError& e) {
        EXPECT_EQ(e.Message(), RichTextStore::TooLargeText(100 * 1024 * 1024));
        EXPECT_TRUE(e.Message().contains(QStringLiteral("too large")));
    }
    EXPECT_TRUE(RichTextStore::HasLongWord(QByteArray(5000, 'a')));
    EXPECT_FALSE(RichTextStore::HasLongWord(QByteArray("word ").repeated(5000)));
}

// A FIFO that something opened for reading would block it until a writer comes; the watchdog
// comes as that writer when the load takes too long, so a fault fails instead of hanging.
TEST(RichTextStore, NamedResourcesAreNeverOpened)
{
    const QByteArray fifo = QFile::encodeName(qbtest::FreshFolder() + QStringLiteral("/pipe"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::atomic<bool> unblocked{false};
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (done.wait_for(lock, std::chrono::seconds(20), [&] { return finished; }))
            return;
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            unblocked = true;
            ::close(fd);
        }
    });
    const QByteArray url = QUrl::fromLocalFile(QFile::decodeName(fifo)).toEncoded();
    TRichTextDocument document;
    Loaded loaded{};
    LoadAndLayOut(document,
                  "<html><head><style>@import url(\"" + fifo + "\");</style><link rel=\"stylesheet\" href=\"" + url
                      + "\"></head><body><p><img src=\"" + fifo + "\"><img src=\"" + url
                      + "\"></p><p style=\"background-image: url(" + fifo + ")\">x</p></body></html>",
                  loaded);
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_one();
    watchdog.join();
    EXPECT_FALSE(unblocked) << "the FIFO was opened for reading";
    // With no reader, opening the writing end fails with ENXIO: no one has it open.
    errno = 0;
    EXPECT_EQ(::open(fifo.constData(), O_WRONLY | O_NONBLOCK), -1);
    EXPECT_EQ(errno, ENXIO);
}

TEST(RulerMath, MarkersFollowTheIndents)
{
    const struct
    {
        Indents indents;
        int width, first, left, right;
    } rows[] = {
        {{0, 0, 0}, 400, 2, 2, 386},     {{3, 0, 10}, 400, 6, 6, 373}, // 10 pt = 13.33 px, cut
        {{10, 20, 0}, 300, 15, 42, 286}, {{-1, 0, -6}, 400, 1, 1, 394}, // cut towards zero, not down
        {{30, -30, 0}, 400, 42, 2, 386}, // hanging
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RulerMath::FirstMarkerLeft(row.indents), row.first) << row.indents.First;
        EXPECT_EQ(RulerMath::LeftMarkerLeft(row.indents), row.left) << row.indents.Left;
        EXPECT_EQ(RulerMath::RightMarkerLeft(row.indents, row.width), row.right) << row.indents.Right;
    }
}

TEST(RulerMath, DroppedMarkersGiveIndents)
{
    const int d = RulerMath::DragOffset;
    ASSERT_EQ(d, 4);
    // first-line marker: (left + 4 - 6) / (4/3), cut towards zero
    EXPECT_EQ(RulerMath::FirstIndentAt(2, d), 0);
    EXPECT_EQ(RulerMath::FirstIndentAt(15, d), 9);
    EXPECT_EQ(RulerMath::FirstIndentAt(0, d), -1);
    // left marker: relative to the first-line indent
    EXPECT_EQ(RulerMath::LeftIndentAt(42, d, 10), 20);
    EXPECT_EQ(RulerMath::LeftIndentAt(42, d, 45), -15);
    // right marker: measured from the ruler's right edge
    EXPECT_EQ(RulerMath::RightIndentAt(386, d, 400), 0);
    EXPECT_EQ(RulerMath::RightIndentAt(373, d, 400), 9);
    EXPECT_EQ(RulerMath::RightIndentAt(300, d, 400), 64);
}

TEST(RulerMath, MovingTheFirstLineMarkerKeepsTheOtherLines)
{
    const Indents before{10, 20, 0};
    const int leftMarker = RulerMath::LeftMarkerLeft(before);
    const int first = RulerMath::FirstIndentAt(30, RulerMath::DragOffset);
    const Indents after{first, RulerMath::LeftIndentAt(leftMarker, RulerMath::DragOffset, first), 0};
    EXPECT_EQ(after.First, 21);
    EXPECT_EQ(after.First + after.Left, before.First + before.Left);
    EXPECT_EQ(RulerMath::LeftMarkerLeft(after), leftMarker);
}

TEST(RulerMath, IndentsMapOntoQtMargins)
{
    for (const Indents indents : {Indents{0, 0, 0}, Indents{10, 20, 5}, Indents{30, -20, 0}, Indents{-5, 10, 3}}) {
        QTextBlockFormat format;
        RulerMath::SetIndents(format, indents);
        EXPECT_EQ(RulerMath::IndentsOf(format), indents) << indents.First << ' ' << indents.Left;
    }
    // A paragraph indented 40 px whose first line hangs out by 20 px.
    QTextBlockFormat hanging;
    hanging.setLeftMargin(40);
    hanging.setTextIndent(-20);
    EXPECT_EQ(RulerMath::IndentsOf(hanging), (Indents{15, 15, 0}));
}
