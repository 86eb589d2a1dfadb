#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextDocument>

class QTextBlockFormat;

// A text document that fetches nothing by itself: stored text names images and style sheets,
// and Qt would read them from any path or address. Images come only from data: addresses of
// bounded size (or from what the program added to the document); anything else is a stand-in.
class TRichTextDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

// The stored form of rich-text documents: the bytes of their content cell, read into and written
// from a QTextDocument.
namespace RichTextStore {

enum class Format
{
    Html, // what QTextDocument::toHtml() writes, or any other HTML
    PlainText,
    Unreadable // binary: neither
};

// How the bytes of a content cell read. Empty bytes are (empty) plain text; bytes holding a NUL
// are binary; HTML opens with a tag that Qt's own test takes for HTML.
Format Classify(const QByteArray& bytes);

// Past these, Qt takes seconds or overflows the stack: each table level doubles the layout's
// time, parsing slows with the square of any nesting, and layout takes about a second a
// megabyte. Real documents stay far below them.
constexpr int MaxTableDepth = 12;
constexpr int MaxElementDepth = 1000;
constexpr qsizetype MaxBytes = 4 * 1024 * 1024;
// A line break searches back over the whole word: a long word takes the square of its length.
constexpr qsizetype MaxWordLength = 4096;
constexpr qsizetype MaxImageBytes = 8 * 1024 * 1024; // a data: address, as stored

// Whether HTML can be parsed and laid out without freezing the program: tables nested at
// most MaxTableDepth deep and elements MaxElementDepth deep. Reads the tags alone, in a way
// that may count too deep but never too shallow.
bool WithinBounds(const QString& html);

// Whether the bytes (markup counts) hold a word longer than MaxWordLength: a text with one is
// broken anywhere, not only between words.
bool HasLongWord(QByteArrayView bytes);

enum class Loaded
{
    AsStored,
    MarkupAsText // HTML past the bounds: its markup shown as plain text
};

// Replaces the document's content by the bytes: HTML when they are HTML, else plain text
// (UTF-8, or Latin-1 when not valid UTF-8, so no byte is lost). Unreadable bytes raise
// "Failed to Load Stream", bytes past MaxBytes a message that says so; both leave the
// document as it was. A text with a long word is set to break anywhere.
Loaded Load(TRichTextDocument& document, const QByteArray& bytes);

// The message for content past MaxBytes.
QString TooLargeText(qsizetype bytes);

// The document as rich text: its HTML in UTF-8.
QByteArray Save(const QTextDocument& document);

// Text for the editor's whole-content replacement: a final line end ends the last line rather
// than starting an empty one, so lines each followed by CR LF give exactly those paragraphs.
QString WithoutFinalLineEnd(const QString& text);

// The screen's font faces, each name once, sorted.
QStringList FontNames();

} // namespace RichTextStore

// The ruler above the editor. A paragraph's indents are kept in points as the edit control
// knows them: the first line starts at First, the other lines at First + Left, and Right
// measures from the right edge. Marker positions are pixels from the ruler's left edge.
namespace RulerMath {

constexpr int Gutter = 6;
constexpr int MarkerWidth = 9;
constexpr int DragOffset = MarkerWidth / 2;

struct Indents
{
    int First = 0;
    int Left = 0;
    int Right = 0;
    bool operator==(const Indents&) const = default;
};

// Marker positions for a paragraph's indents (4/3 pixels a point, cut towards zero).
int FirstMarkerLeft(const Indents& indents);
int LeftMarkerLeft(const Indents& indents);
int RightMarkerLeft(const Indents& indents, int rulerWidth);

// Indents from where a marker was dropped; dragOffset is where the marker was held.
int FirstIndentAt(int markerLeft, int dragOffset);
// The left indent is relative to the first-line indent.
int LeftIndentAt(int markerLeft, int dragOffset, int firstIndent);
int RightIndentAt(int markerLeft, int dragOffset, int rulerWidth);

// Between the edit control's indents (points) and a Qt paragraph's margins (pixels at 96 dpi):
// Qt's left margin holds every line and its text indent moves the first line only.
Indents IndentsOf(const QTextBlockFormat& format);
void SetIndents(QTextBlockFormat& format, const Indents& indents);

} // namespace RulerMath
