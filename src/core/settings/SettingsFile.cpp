#include "core/settings/SettingsFile.h"

#include "core/settings/SettingsKeys.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <optional>

TSettingsFile::TSettingsFile()
    : m_root(std::make_unique<TOrbPigger>())
{
}

namespace {

// Children are matched by their tag and name (a database's NAME, a server's CLASS), ignoring
// case as the look-ups do; repeats of one key by their order.
QStringList ChildKeys(const TOrbPigger* node)
{
    QStringList keys;
    QHash<QString, int> seen;
    for (int i = 0; node && i < node->ChildCount(); ++i) {
        const TOrbPigger* child = node->Child(i);
        QString name = child->GetAttr(SettingsKey::Name);
        if (name.isEmpty())
            name = child->GetAttr(QStringLiteral("CLASS"));
        const QString key = child->Name() + QLatin1Char('\x1f') + name.trimmed().toUpper();
        keys << key + QLatin1Char('#') + QString::number(seen[key]++);
    }
    return keys;
}

bool SameNode(const TOrbPigger* a, const TOrbPigger* b)
{
    return a && b && a->GetText() == b->GetText();
}

// Merges into ours what the file (theirs) changed since base; null base: nothing is known.
void Merge(TOrbPigger& ours, const TOrbPigger* base, const TOrbPigger& theirs)
{
    QStringList names = ours.AttrNames() + theirs.AttrNames();
    if (base)
        names += base->AttrNames();
    names.removeDuplicates();
    for (const QString& name : names) {
        const auto value = [&name](const TOrbPigger* n) -> std::optional<QString> {
            if (!n || !n->AttrNames().contains(name, Qt::CaseInsensitive))
                return std::nullopt;
            return n->GetAttr(name);
        };
        const auto mine = value(&ours);
        if (base && mine != value(base))
            continue; // changed here: this run's change is the newer one
        if (!base && mine)
            continue;
        if (const auto file = value(&theirs))
            ours.SetAttr(name, *file);
        else
            ours.DeleteAttr(name);
    }

    const QStringList mineKeys = ChildKeys(&ours);
    const QStringList baseKeys = ChildKeys(base);
    const QStringList fileKeys = ChildKeys(&theirs);
    // Removed there and untouched here: removed; changed here: kept.
    for (int i = mineKeys.size() - 1; i >= 0; --i) {
        const int inBase = baseKeys.indexOf(mineKeys[i]);
        const int inFile = fileKeys.indexOf(mineKeys[i]);
        TOrbPigger* child = ours.Child(i);
        if (inFile >= 0)
            Merge(*child, inBase >= 0 ? base->Child(inBase) : nullptr, *theirs.Child(inFile));
        else if (inBase >= 0 && SameNode(child, base->Child(inBase)))
            delete child;
    }
    // Added there: added here too, unless this run removed it.
    for (int i = 0; i < fileKeys.size(); ++i) {
        if (mineKeys.contains(fileKeys[i]) || baseKeys.contains(fileKeys[i]))
            continue;
        const TOrbPigger* added = theirs.Child(i);
        TOrbPigger* copy = added->Create(&ours);
        copy->Assign(*added);
    }
}

// Reads the file at name into root; raises QbError. A hand-edited file in the old 8-bit
// encoding is no valid UTF-8: read as Latin-1, every character survives (and is saved as UTF-8)
// instead of turning into a replacement mark.
void ReadTree(const QString& name, TOrbPigger& root)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw QbError(QStringLiteral("Cannot open file \"%1\": %2").arg(name, file.errorString()));
    QByteArray bytes = file.readAll();
    const qsizetype nul = bytes.indexOf('\0');
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8.decode(QByteArrayView(bytes).first(nul < 0 ? bytes.size() : nul));
    if (utf8.hasError())
        bytes = QString::fromLatin1(bytes).toUtf8();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    root.LoadFromStream(buffer);
}

} // namespace

void TSettingsFile::TakeBase()
{
    m_base = std::make_unique<TOrbPigger>();
    m_base->Assign(*m_root);
}

QString TSettingsFile::SettingsFileName()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return folder + QStringLiteral("/quietbox.SET");
}

bool TSettingsFile::Load()
{
    const QString name = SettingsFileName();
    if (!QFileInfo::exists(name))
        return false;
    try {
        ReadTree(name, *m_root);
        // An empty or blank file holds no settings at all: treat it like a damaged one.
        if (m_root->Name().isEmpty())
            throw QbError(QStringLiteral("The settings file holds no settings"));
        TakeBase();
        return true;
    } catch (const QbError&) {
        // Keep what the user had; the defaults that replace it must not be the only copy.
        const QString bad = name + QStringLiteral(".bad");
        QFile::remove(bad);
        if (!QFile::rename(name, bad))
            QFile::copy(name, bad);
        return false;
    }
}

bool TSettingsFile::Save()
{
    const QString name = SettingsFileName();
    const QString folder = QFileInfo(name).absolutePath();
    QDir().mkpath(folder);
    // The settings name every database and where it is: the folder and file are the user's alone.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Read, merged and written by one writer at a time; a lock that can not be had in a few
    // seconds (a hung writer) does not keep the settings from being written.
    QLockFile lock(name + QStringLiteral(".lock"));
    lock.tryLock(5000);
    if (QFileInfo::exists(name)) {
        TOrbPigger file;
        try {
            ReadTree(name, file);
        } catch (const QbError&) {
            file.Clear(); // unreadable: what this run holds replaces it
        }
        if (!file.Name().isEmpty() && file.Name() == m_root->Name() && !SameNode(&file, m_base.get()))
            Merge(*m_root, m_base.get(), file);
    }
    QSaveFile file(name);
    // Unbuffered, so a refused write shows at once; QSaveFile would commit a short file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    try {
        m_root->SaveToStream(file);
    } catch (const QbError&) {
        file.cancelWriting();
        return false;
    }
    const qint64 expected = m_root->GetText().toUtf8().size();
    if (file.size() != expected) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    TakeBase();
    return true;
}

int TSettingsFile::IntOrZero(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

void TSettingsFile::FillDefaults(TOrbPigger& root)
{
    root.Clear();
    root.SetName(SettingsKey::Root);
    root.SetAttr(SettingsKey::Align, QStringLiteral("1"));
    root.AddChild(SettingsKey::OleServers);
    root.AddChild(SettingsKey::BaseList);
}
