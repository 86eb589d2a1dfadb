#include "core/intake/OleServerList.h"

#include "core/settings/OrbPigger.h"

namespace OleServerList {

namespace {
const QString NodeName = QStringLiteral("OLE_SERVERS");
const QString EntryName = QStringLiteral("SERVER");
const QString NameKey = QStringLiteral("NAME");
const QString ClassKey = QStringLiteral("CLASS");
// Names are listed trimmed, so an entry is found by its trimmed name, ignoring case.
TOrbPigger* FindEntry(const TOrbPigger* node, const QString& caption)
{
    const QString name = caption.trimmed();
    if (!node || name.isEmpty())
        return nullptr;
    for (int i = 0; i < node->ChildCount(); ++i) {
        TOrbPigger* entry = node->Child(i);
        if (entry->GetAttr(NameKey).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return nullptr;
}
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
    TOrbPigger* entry = FindEntry(node, name);
    if (!entry)
        entry = node->AddChild(EntryName);
    // Stored as listed: a name with blanks around it would be found by no later rename.
    if (!newName.trimmed().isEmpty())
        entry->SetAttr(NameKey, newName.trimmed());
    entry->SetAttr(ClassKey, className);
}

bool RemoveServer(TOrbPigger* node, const QString& caption)
{
    TOrbPigger* entry = FindEntry(node, caption);
    delete entry;
    return entry != nullptr;
}

bool UsesServer(const QString& acceptMode)
{
    return !acceptMode.isEmpty() && acceptMode != QStringLiteral("OWN");
}

} // namespace OleServerList
