#include "core/documents/RichTextStore.h"

#include "core/common/QbError.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <gtest/gtest.h>

using RichTextStore::Format;
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

    QTextDocument loaded;
    RichTextStore::Load(loaded, stored);
    EXPECT_EQ(loaded.toPlainText(), QStringLiteral("first\nзвідси\nthird"));
    EXPECT_EQ(loaded.blockCount(), 3);
}

TEST(RichTextStore, PlainBytesLoadAsTheirTextAndUnreadableOnesLeaveTheDocument)
{
    QTextDocument document;
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

    QTextDocument loaded;
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
