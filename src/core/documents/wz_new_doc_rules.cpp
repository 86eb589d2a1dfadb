// The page rules of the new-document wizard, without widgets.
#include "core/documents/wz_new_doc_rules.h"

#include "core/documents/ImageStore.h"
#include "core/settings/OrbPigger.h"

#include <QMimeData>
#include <QRegularExpression>

namespace NewDocRules {

TInnerPage InnerPageFor(int creation)
{
    switch (creation) {
        case AsOleObject:
            return ServerPage;
        case FromClipboard:
            return ClipboardPage;
        default:
            return NativePage;
    }
}

TButtons Buttons(const TState& s)
{
    TButtons b;
    b.enabled = WizardRules::BaseButtons(s.current, PageCount);
    b.prevVisible = !s.pasteMode;
    b.nextVisible = !s.pasteMode;
    b.enabled.next = s.current < PageCount - 1 && !s.name.trimmed().isEmpty();
    b.enabled.finish = s.current == PageCount - 1 && ChoiceComplete(s.inner, s.serverSelected, s.formatSelected);
    return b;
}

bool ChoiceComplete(int inner, bool serverSelected, bool formatSelected)
{
    switch (inner) {
        case NativePage:
            return true;
        case ServerPage:
            return serverSelected;
        case ClipboardPage:
            return formatSelected;
        default:
            return false;
    }
}

QString NativeType(int nativeChoice)
{
    switch (nativeChoice) {
        case 0:
            return QStringLiteral("IMG");
        case 1:
            return QStringLiteral("TXT");
        default:
            return QString();
    }
}

int DefaultServer(const TOrbPigger* oleServers, const QList<OleServerList::TServerRow>& rows)
{
    if (!oleServers)
        return -1;
    const QString wanted = oleServers->GetAttr(QStringLiteral("DEFAULT"));
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).Name.compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringList PasteFormats(bool bitmap, bool text, bool object)
{
    QStringList formats;
    if (bitmap)
        formats << BitmapFormat;
    if (text)
        formats << TextFormat;
    if (object)
        formats << ObjectFormat;
    return formats;
}

bool OffersBitmap(const QMimeData* data)
{
    // Decoded, not judged by its format names: an offer that cannot be read would end in a
    // document without content.
    return data && !ImageStore::ImageFromMimeData(*data).isNull();
}

QStringList SplitLines(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineBreak);
    if (lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace NewDocRules
