#include "core/documents/RichTextStore.h"

#include "core/common/QbError.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextOption>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// A decoded image may take this much memory, whatever its compressed size.
constexpr int MaxImageMegabytes = 64;

QImage DataImage(const QUrl& url)
{
    if (url.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) != 0)
        return {};
    const QByteArray encoded = url.toEncoded();
    if (encoded.size() > RichTextStore::MaxImageBytes)
        return {};
    const qsizetype comma = encoded.indexOf(',');
    if (comma < 0)
        return {};
    const QByteArray header = encoded.left(comma).toLower();
    QByteArray payload = QByteArray::fromPercentEncoding(encoded.mid(comma + 1));
    if (header.endsWith(";base64"))
        payload = QByteArray::fromBase64(payload);
    QBuffer buffer(&payload);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(MaxImageMegabytes);
    return reader.read();
}

// What a refused image shows. It must not be null: for a null image Qt opens the name itself.
QImage StandIn()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(QColor(0xc0, 0xc0, 0xc0));
    return image;
}

} // namespace

QVariant TRichTextDocument::loadResource(int type, const QUrl& name)
{
    if (type != ImageResource)
        return {}; // style sheets (@import, <link>) and the rest: nothing
    const QImage image = DataImage(name);
    return image.isNull() ? StandIn() : image;
}

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

namespace {

// One tag of the nesting count: an opening (+1) or a closing (-1) of a name.
struct Tag
{
    qsizetype At;
    QString Name; // empty: a name the count cannot trust
    int Step;
};

bool IsSpace(QChar c)
{
    return c.isSpace() && c != QChar::ParagraphSeparator;
}

// A tag's name as Qt's parser reads it: up to a blank, '>', "/>", '<' or '='. A name made
// with an entity or a quote is returned empty.
QString WordAt(QStringView html, qsizetype at)
{
    const qsizetype size = html.size();
    if (at < size && (html[at] == QLatin1Char('"') || html[at] == QLatin1Char('\'')))
        return {};
    qsizetype end = at;
    while (end < size) {
        const QChar c = html[end];
        if (c == QLatin1Char('>') || c == QLatin1Char('<') || c == QLatin1Char('=') || IsSpace(c)
            || (c == QLatin1Char('/') && end + 1 < size && html[end + 1] == QLatin1Char('>')))
            break;
        if (c == QLatin1Char('&'))
            return {};
        ++end;
    }
    return html.mid(at, end - at).toString().toLower();
}

qsizetype SkipSpaces(QStringView html, qsizetype at)
{
    while (at < html.size() && IsSpace(html[at]))
        ++at;
    return at;
}

// Every '<' that Qt could take for an opening tag, wherever it stands (in comments and
// attribute values too: counting too many is safe). Tags that hold no children are left out.
void Openings(QStringView html, std::vector<Tag>& tags)
{
    static const QStringList childless{QStringLiteral("br"), QStringLiteral("img"), QStringLiteral("hr"),
                                       QStringLiteral("meta")};
    for (qsizetype i = html.indexOf(QLatin1Char('<')); i >= 0; i = html.indexOf(QLatin1Char('<'), i + 1)) {
        const qsizetype at = SkipSpaces(html, i + 1);
        if (at >= html.size() || html[at] == QLatin1Char('/') || html[at] == QLatin1Char('!'))
            continue;
        const QChar first = html[at];
        if (first == QLatin1Char('>') || first == QLatin1Char('<') || first == QLatin1Char('='))
            continue; // "<>", "< >": no element
        const QString name = WordAt(html, at); // empty: untrusted
        const qsizetype close = html.indexOf(QLatin1Char('>'), at);
        const QStringView rest = html.mid(at, close < 0 ? -1 : close - at);
        const bool plain
            = !rest.contains(QLatin1Char('"')) && !rest.contains(QLatin1Char('\'')) && !rest.contains(QLatin1Char('<'));
        if (!name.isEmpty() && plain && (childless.contains(name) || rest.endsWith(QLatin1Char('/'))))
            continue;
        tags.push_back({i, name, +1});
    }
}

// Closing tags where Qt's parser reads markup: not in comments, declarations or quoted
// attribute values. Any quote inside a tag starts a quoted run, a superset of Qt's.
void Closings(QStringView html, std::vector<Tag>& tags)
{
    const qsizetype size = html.size();
    qsizetype i = 0;
    while ((i = html.indexOf(QLatin1Char('<'), i)) >= 0) {
        const qsizetype at = SkipSpaces(html, i + 1);
        if (at >= size)
            break;
        if (html[at] == QLatin1Char('!')) {
            const bool comment = html.mid(at + 1).startsWith(QLatin1String("--"));
            const qsizetype end
                = comment ? html.indexOf(QLatin1String("-->"), at + 3) : html.indexOf(QLatin1Char('>'), at);
            if (end < 0)
                break;
            i = end + 1;
            continue;
        }
        if (html[at] == QLatin1Char('/')) {
            tags.push_back({i, WordAt(html, SkipSpaces(html, at + 1)), -1});
            const qsizetype end = html.indexOf(QLatin1Char('>'), at);
            if (end < 0)
                break;
            i = end + 1;
            continue;
        }
        qsizetype j = at;
        while (j < size && html[j] != QLatin1Char('>')) {
            if (html[j] == QLatin1Char('"') || html[j] == QLatin1Char('\'')) {
                const qsizetype quote = html.indexOf(html[j], j + 1);
                if (quote < 0)
                    return;
                j = quote;
            }
            ++j;
        }
        i = j + 1;
        if (j >= size)
            break;
    }
}

} // namespace

bool WithinBounds(const QString& html)
{
    // Opened names are counted as a multiset; a closing takes one of its name away, so the
    // count never falls below the nesting Qt's parser builds (which also closes by name).
    std::vector<Tag> tags;
    Openings(html, tags);
    Closings(html, tags);
    std::stable_sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& b) { return a.At < b.At; });
    const QString table = QStringLiteral("table");
    QHash<QString, int> open;
    int elements = 0;
    for (const Tag& tag : tags) {
        if (tag.Step > 0) {
            // An untrusted name may be a table.
            const QString& name = tag.Name.isEmpty() ? table : tag.Name;
            ++open[name];
            ++elements;
            if (elements > MaxElementDepth || open.value(table) > MaxTableDepth)
                return false;
        } else if (!tag.Name.isEmpty()) {
            auto it = open.find(tag.Name);
            if (it != open.end() && it.value() > 0) {
                --it.value();
                --elements;
            }
        }
    }
    return true;
}

bool HasLongWord(QByteArrayView bytes)
{
    qsizetype run = 0;
    for (const char c : bytes) {
        run = std::isspace(static_cast<unsigned char>(c)) ? 0 : run + 1;
        if (run > MaxWordLength)
            return true;
    }
    return false;
}

QString TooLargeText(qsizetype bytes)
{
    return QStringLiteral("The document is too large to show: %1 MB (at most %2 MB).")
        .arg(double(bytes) / (1024 * 1024), 0, 'f', 1)
        .arg(MaxBytes / (1024 * 1024));
}

Loaded Load(TRichTextDocument& document, const QByteArray& bytes)
{
    if (bytes.size() > MaxBytes)
        throw QbError(TooLargeText(bytes.size()));
    const QString text = Decode(bytes);
    const Format format = ClassifyDecoded(bytes, text);
    if (format == Format::Unreadable)
        throw QbError(QStringLiteral("Failed to Load Stream"));
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(HasLongWord(bytes) ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    switch (format) {
        case Format::Html:
            if (!WithinBounds(text)) {
                document.setPlainText(text);
                return Loaded::MarkupAsText;
            }
            document.setHtml(text);
            return Loaded::AsStored;
        case Format::PlainText:
            document.setPlainText(text);
            return Loaded::AsStored;
        case Format::Unreadable:
            break;
    }
    throw QbError(QStringLiteral("Failed to Load Stream"));
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
