// The page rules of the new-database wizard, without widgets.
#include "core/database/wz_rules.h"

#include <QDir>
#include <QFileInfo>

namespace WizardRules {

Buttons BaseButtons(int current, int count)
{
    Buttons b;
    b.prev = current > 0;
    b.next = current < count - 1;
    b.finish = current == count - 1;
    b.cancel = true;
    return b;
}

Buttons NewDatabaseButtons(const NewDatabaseState& s)
{
    Buttons b = BaseButtons(s.current, s.count);
    b.next
        = s.current < s.count - 1 && !s.name.trimmed().isEmpty() && (!s.fromArchive || !s.archive.trimmed().isEmpty());
    // An archive keeps its own protection: the box counts as clear then.
    const bool isProtected = s.isProtected && !s.fromArchive;
    b.finish = s.current == s.count - 1
        && (!isProtected || (s.password1 == s.password2 && !s.password1.trimmed().isEmpty()));
    return b;
}

int PageAfterEntering(bool fromArchive, int entered, int previous)
{
    if (!fromArchive || entered != PasswordPage)
        return -1;
    return previous == PasswordPage - 1 ? PasswordPage + 1 : PasswordPage - 1;
}

bool IsUsableFolderName(const QString& trimmedName)
{
    if (trimmedName.isEmpty() || trimmedName == QStringLiteral(".") || trimmedName == QStringLiteral(".."))
        return false;
    return !trimmedName.contains(QLatin1Char('/')) && !trimmedName.contains(QChar(0));
}

QString InitialLocation(const QString& current, const QString& home,
                        const std::function<bool(const QString& folder)>& writable)
{
    const QString parent = QFileInfo(QDir::cleanPath(QDir(current).absolutePath())).path();
    const bool usable = writable ? writable(parent) : [&parent] {
        const QFileInfo info(parent);
        return info.isDir() && info.isWritable() && info.isExecutable();
    }();
    return usable ? parent : QDir(home).absolutePath();
}

} // namespace WizardRules
