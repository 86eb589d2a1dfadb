#include "core/intake/OleServerList.h"

#include "core/settings/OrbPigger.h"

namespace OleServerList {

namespace {
const QString NodeName = QStringLiteral("OLE_SERVERS");
const QString EntryName = QStringLiteral("SERVER");
const QString NameKey = QStringLiteral("NAME");
const QString ClassKey = QStringLiteral("CLASS");
} // namespace

TOrbPigger* ServersNode(TOrbPigger& root)
{
    if (TOrbPigger* node = root.FindChild(NodeName))
        return node;
    return root.AddChild(NodeName);
}

QList<TServerRow> Rows(const TOrbPigger* node)
{
    QList<TServerRow> rows;
    if (!node)
        return rows;
    for (int i = 0; i < node->ChildCount(); ++i) {
        const TOrbPigger* entry = node->Child(i);
        const QString name = entry->GetAttr(NameKey).trimmed();
        if (!name.isEmpty())
            rows.append({name, entry->GetAttr(ClassKey).trimmed()});
    }
    return rows;
}

void StoreServerRow(TOrbPigger* node, const QString& caption, const QString& cls, const QString& newName)
{
    if (!node)
        return;
    const QString name = caption.trimmed();
    const QString className = cls.trimmed();
    if (name.isEmpty() || className.isEmpty())
        return;
    TOrbPigger* entry = node->FindChildByAttr(NameKey, name);
    if (!entry)
        entry = node->AddChild(EntryName);
    if (!newName.trimmed().isEmpty())
        entry->SetAttr(NameKey, newName);
    entry->SetAttr(ClassKey, className);
}

bool RemoveServer(TOrbPigger* node, const QString& caption)
{
    TOrbPigger* entry = node ? node->FindChildByAttr(NameKey, caption) : nullptr;
    delete entry;
    return entry != nullptr;
}

bool UsesServer(const QString& acceptMode)
{
    return !acceptMode.isEmpty() && acceptMode != QStringLiteral("OWN");
}

} // namespace OleServerList
