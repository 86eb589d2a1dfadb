// The page rules of the new-document wizard, without widgets.
#pragma once

// The page rules of the new-document wizard, apart from its widgets.
#include "core/database/wz_rules.h"
#include "core/intake/OleServerList.h"

#include <QList>
#include <QString>
#include <QStringList>

class QMimeData;
class TOrbPigger;

namespace NewDocRules {

// The entries of "How to create".
enum TCreation
{
    AsNative = 0,
    AsOleObject = 1,
    FromClipboard = 2
};
// The inner pages of the second page.
enum TInnerPage
{
    NativePage = 0,
    ServerPage = 1,
    ClipboardPage = 2
};
inline constexpr int StartPage = 0;
inline constexpr int ReadyPage = 1;
inline constexpr int PageCount = 2;

// The entries of the clipboard list, in the order they are offered.
inline const QString BitmapFormat = QStringLiteral("Bitmap");
inline const QString TextFormat = QStringLiteral("Text");
inline const QString ObjectFormat = QStringLiteral("OLE object");

// The inner page the creation choice leads to; anything unknown leads to the native page.
TInnerPage InnerPageFor(int creation);

struct TState
{
    int current = StartPage;
    QString name;
    bool pasteMode = false;
    int inner = NativePage;
    bool serverSelected = false;
    bool formatSelected = false;
};

struct TButtons
{
    WizardRules::Buttons enabled;
    bool prevVisible = true;
    bool nextVisible = true;
};

// Prior after the first page, Next before the last while the name holds more than blanks, Ok on
// the last page with a complete choice; Prior and Next are not shown in paste mode.
TButtons Buttons(const TState& s);
// Native: always; object server: a server selected; clipboard: a format selected.
bool ChoiceComplete(int inner, bool serverSelected, bool formatSelected);
// "IMG" for "Picture" (0), "TXT" for "RTF text" (1), else empty.
QString NativeType(int nativeChoice);

// The server list is OleServerList::Rows of OLE_SERVERS. The entry preselected in it: the one
// whose name equals the node's DEFAULT attribute ignoring case; -1 when none does.
int DefaultServer(const TOrbPigger* oleServers, const QList<OleServerList::TServerRow>& rows);

// "Bitmap", "Text", "OLE object" as the clipboard offers each, in that order.
QStringList PasteFormats(bool bitmap, bool text, bool object);
// Whether clipboard data holds a picture Qt can read.
bool OffersBitmap(const QMimeData* data);

// A text as a text list: split at CR LF, CR or LF; a break at the end ends the last line.
QStringList SplitLines(const QString& text);

} // namespace NewDocRules
