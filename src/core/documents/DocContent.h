#pragma once

#include <QImage>
#include <QStringList>

// What a creator hands to the viewer with a new document: a text list (rich text), a bitmap,
// the clipboard (an embedded object to paste), or nothing.
struct TDocContent
{
    enum class Kind
    {
        Nothing,
        TextLines,
        Bitmap,
        Clipboard
    };

    Kind ContentKind = Kind::Nothing;
    QStringList Lines;
    QImage Picture;

    static TDocContent Text(const QStringList& lines) { return {Kind::TextLines, lines, {}}; }
    static TDocContent FromBitmap(const QImage& image) { return {Kind::Bitmap, {}, image}; }
    static TDocContent FromClipboard() { return {Kind::Clipboard, {}, {}}; }

    bool IsText() const { return ContentKind == Kind::TextLines; }
    bool IsBitmap() const { return ContentKind == Kind::Bitmap; }
    bool IsClipboard() const { return ContentKind == Kind::Clipboard; }
};
