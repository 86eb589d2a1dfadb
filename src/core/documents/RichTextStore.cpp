#include "core/documents/RichTextStore.h"

#include "core/common/QbError.h"

#include <QFontDatabase>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextDocument>
#include <algorithm>
#include <cstring>

namespace RichTextStore {

namespace {

// The text of bytes known not to be binary: by their byte-order mark, else UTF-8, else Latin-1.
QString Decode(const QByteArray& bytes)
{
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        return decoder(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

bool HasUtf16Or32Mark(const QByteArray& bytes)
{
    const auto bom = QStringConverter::encodingForData(bytes);
    return bom && *bom != QStringConverter::Utf8;
}

} // namespace

namespace {

Format ClassifyDecoded(const QByteArray& bytes, const QString& text)
{
    // Text in UTF-16 or UTF-32 holds NULs of its own; only a byte-order mark tells it apart.
    if (!HasUtf16Or32Mark(bytes) && std::memchr(bytes.constData(), 0, size_t(bytes.size())) != nullptr)
        return Format::Unreadable;
    // Qt's test alone takes "a < b and c > d" for HTML; a document that is HTML opens with a tag.
    const auto first = std::find_if(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); });
    if (first == text.cend() || *first != QLatin1Char('<'))
        return Format::PlainText;
    return Qt::mightBeRichText(text) ? Format::Html : Format::PlainText;
}

} // namespace

Format Classify(const QByteArray& bytes)
{
    return ClassifyDecoded(bytes, Decode(bytes));
}

void Load(QTextDocument& document, const QByteArray& bytes)
{
    const QString text = Decode(bytes);
    switch (ClassifyDecoded(bytes, text)) {
        case Format::Html:
            document.setHtml(text);
            break;
        case Format::PlainText:
            document.setPlainText(text);
            break;
        case Format::Unreadable:
            throw QbError(QStringLiteral("Failed to Load Stream"));
    }
}

QByteArray Save(const QTextDocument& document)
{
    return document.toHtml().toUtf8();
}

QString WithoutFinalLineEnd(const QString& text)
{
    if (text.endsWith(QStringLiteral("\r\n")))
        return text.chopped(2);
    if (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        return text.chopped(1);
    return text;
}

QStringList FontNames()
{
    QStringList names = QFontDatabase::families();
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

} // namespace RichTextStore

namespace RulerMath {

// 4/3 pixels a point, computed exactly in integers: C++ division cuts towards zero.
int FirstMarkerLeft(const Indents& indents)
{
    return indents.First * 4 / 3 + 2;
}

int LeftMarkerLeft(const Indents& indents)
{
    return (indents.Left + indents.First) * 4 / 3 + 2;
}

int RightMarkerLeft(const Indents& indents, int rulerWidth)
{
    return (rulerWidth - Gutter) - (indents.Right + Gutter) * 4 / 3;
}

int FirstIndentAt(int markerLeft, int dragOffset)
{
    return (markerLeft + dragOffset - Gutter) * 3 / 4;
}

int LeftIndentAt(int markerLeft, int dragOffset, int firstIndent)
{
    return (markerLeft + dragOffset - Gutter) * 3 / 4 - firstIndent;
}

int RightIndentAt(int markerLeft, int dragOffset, int rulerWidth)
{
    return (rulerWidth - markerLeft + dragOffset - 2) * 3 / 4 - 2 * Gutter;
}

namespace {

constexpr double PixelsPerPoint = 4.0 / 3.0;

int Points(double pixels)
{
    return qRound(pixels / PixelsPerPoint);
}

} // namespace

Indents IndentsOf(const QTextBlockFormat& format)
{
    const int left = Points(format.leftMargin());
    const int first = Points(format.leftMargin() + format.textIndent());
    return {first, left - first, Points(format.rightMargin())};
}

void SetIndents(QTextBlockFormat& format, const Indents& indents)
{
    format.setLeftMargin((indents.First + indents.Left) * PixelsPerPoint);
    format.setTextIndent(-indents.Left * PixelsPerPoint);
    format.setRightMargin(indents.Right * PixelsPerPoint);
}

} // namespace RulerMath
