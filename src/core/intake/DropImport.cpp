#include "core/intake/DropImport.h"

#include "core/documents/wz_new_doc_rules.h"

namespace DropImport {

QString DocumentType(TOleDropper::TDropKind kind)
{
    switch (kind) {
        case TOleDropper::dkText:
            return QStringLiteral("TXT");
        case TOleDropper::dkPicture:
            return QStringLiteral("IMG");
        default:
            return QString();
    }
}

QString RefusalText(bool databaseOpen, TOleDropper::TDropKind kind)
{
    if (!databaseOpen)
        return NoDatabaseText;
    return DocumentType(kind).isEmpty() && kind != TOleDropper::dkFile ? CannotImportText : QString();
}

QString RefusedFilesText(const QStringList& refused)
{
    return CannotImportText + QStringLiteral("\n\n") + refused.join(QLatin1Char('\n'));
}

TDocContent Content(const TOleDropper& dropper)
{
    switch (dropper.DropKind()) {
        case TOleDropper::dkText:
            return TDocContent::Text(NewDocRules::SplitLines(dropper.DroppedText()));
        case TOleDropper::dkPicture:
            return TDocContent::FromBitmap(dropper.DroppedPicture().copy());
        default:
            return {};
    }
}

} // namespace DropImport
