#include "core/settings/OrbPigger.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <random>

namespace {

// A settings file with escapes, content, empty values, blanks in odd places and non-ASCII text.
const QByteArray ValidFile = "\r\n<SETTINGS ALIGN=\"1\" WIDTH=\"0\" GS=\"NO\">note %3Cone%3E"
                             "\r\n\t<OLE_SERVERS>\r\n\t\t<SERVER NAME=\"Writer\" CLASS=\"org.example.Writer\"/>"
                             "\r\n\t\t<SERVER NAME=\"q%22%25\" CLASS=\"\"/>\r\n\t</OLE_SERVERS>"
                             "\r\n\t<BASE_LIST>\r\n\t\t<BASE NAME=\"\xd0\x90\xd1\x80\xd1\x85\xd0\xb8\xd0\xb2\" "
                             "PATH=\"/home/u/my docs\"/>\r\n\t\t< base name = x path=\"a\r\nb\" >tail</BASE >"
                             "\r\n\t</BASE_LIST>\r\n</settings>";

// Parses the bytes as a file; on success the written text must read back to the same text.
// Returns whether the bytes parsed.
bool CheckOne(const QByteArray& bytes)
{
    TOrbPigger root;
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    try {
        root.LoadFromStream(buffer);
    } catch (const EOrbPiggerError& e) {
        EXPECT_GE(e.Position(), 1);
        EXPECT_TRUE(e.Message() == QStringLiteral("Syntax error")
                    || e.Message().startsWith(QStringLiteral("Unclosed tag: ")));
        return false;
    }
    // The writer's output always reads back, and a second round changes nothing more.
    TOrbPigger second;
    second.SetText(root.GetText());
    TOrbPigger third;
    third.SetText(second.GetText());
    EXPECT_EQ(third.GetText(), second.GetText()) << bytes.toStdString();
    return true;
}

} // namespace

TEST(OrbPiggerFuzz, TruncatedFilesParseOrFailCleanly)
{
    ASSERT_TRUE(CheckOne(ValidFile));
    int parsed = 0;
    for (qsizetype cut = 0; cut < ValidFile.size(); ++cut) {
        if (CheckOne(ValidFile.left(cut)))
            ++parsed;
    }
    // Only cuts that happen to leave a complete first element are accepted.
    EXPECT_LT(parsed, 20);

    // The same for texts handed straight to SetText, without line-break normalisation.
    const QString text = QString::fromUtf8(ValidFile);
    for (qsizetype cut = 0; cut <= text.size(); ++cut) {
        TOrbPigger root;
        try {
            root.SetText(text.left(cut));
        } catch (const EOrbPiggerError& e) {
            EXPECT_GE(e.Position(), 1);
            EXPECT_LE(e.Position(), cut + 1);
        }
    }
}

TEST(OrbPiggerFuzz, MutatedFilesParseOrFailCleanly)
{
    std::mt19937 random(20240611);
    const QByteArray interesting("<>/\"=% \r\n\t\0A%4", 15);
    int parsed = 0;
    int failed = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray bytes = ValidFile;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const qsizetype at = qsizetype(random() % quint32(bytes.size() + 1));
            switch (random() % 4) {
                case 0: // flip bits of a byte
                    if (at < bytes.size())
                        bytes[at] = char(bytes.at(at) ^ char(1 << (random() % 8)));
                    break;
                case 1: // insert a markup character
                    bytes.insert(at, interesting.at(random() % interesting.size()));
                    break;
                case 2: // insert an arbitrary byte
                    bytes.insert(at, char(random() % 256));
                    break;
                default: // delete a run of bytes
                    bytes.remove(at, 1 + random() % 8);
                    break;
            }
        }
        if (CheckOne(bytes))
            ++parsed;
        else
            ++failed;
    }
    // Both outcomes occur, so the mutations reach the reader's accepting and failing paths.
    EXPECT_GT(parsed, 100);
    EXPECT_GT(failed, 100);
}
