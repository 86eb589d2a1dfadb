#include "core/settings/SettingsModel.h"

#include <algorithm>

TSettingsModel::TSettingsModel(QObject* parent)
    : QObject(parent)
{
}

TSettingsModel::~TSettingsModel() = default;

void TSettingsModel::Load()
{
    if (!m_file.Load()) {
        TSettingsFile::FillDefaults(Root());
        Save();
    }
    // The lock and the clipboard follow the tree at once, also when Cancel reads it back.
    Q_EMIT PrivacyChanged();
}

void TSettingsModel::Save()
{
    m_file.Save();
}

void TSettingsModel::NotifyChanged()
{
    Q_EMIT Changed();
}

TOrbPigger* TSettingsModel::BaseListNode() const
{
    return Root().FindChild(SettingsKey::BaseList);
}

TOrbPigger* TSettingsModel::OleServersNode() const
{
    return Root().FindChild(SettingsKey::OleServers);
}

TOrbPigger* TSettingsModel::FindDatabaseEntry(const QString& name) const
{
    const TOrbPigger* list = BaseListNode();
    return list ? list->FindChildByAttr(SettingsKey::Name, name) : nullptr;
}

QString TSettingsModel::DatabasePath(const QString& name) const
{
    const TOrbPigger* entry = FindDatabaseEntry(name);
    return entry ? entry->GetAttr(SettingsKey::Path) : QString();
}

QStringList TSettingsModel::ListedDatabaseNames() const
{
    QStringList names;
    const TOrbPigger* list = BaseListNode();
    if (!list)
        return names;
    const bool hideDefault = DefaultHidden();
    const QString defaultName = DefaultDbName();
    for (int i = 0; i < list->ChildCount(); ++i) {
        const TOrbPigger* node = list->Child(i);
        if (node->Name() != SettingsKey::Base)
            continue;
        const QString name = node->GetAttr(SettingsKey::Name);
        if (hideDefault && name == defaultName)
            continue;
        names << name;
    }
    return names;
}

int TSettingsModel::Align() const
{
    bool ok = false;
    const int align = Root().GetAttr(SettingsKey::Align).toInt(&ok);
    return ok ? align : 1;
}

std::optional<int> TSettingsModel::StoredDelay() const
{
    const int delay = TSettingsFile::IntOrZero(Root().GetAttr(SettingsKey::Delay));
    if (delay > MinDelay && delay < MaxDelay)
        return delay;
    return std::nullopt;
}

QString TSettingsModel::DefaultDbName() const
{
    return Root().GetAttr(SettingsKey::DefaultDb);
}

QString TSettingsModel::WrongPasswordMode() const
{
    return Root().GetAttr(SettingsKey::WrongPasswordMode);
}

int TSettingsModel::Attempts() const
{
    return std::clamp(TSettingsFile::IntOrZero(Root().GetAttr(SettingsKey::Attempts)), MinAttempts, MaxAttempts);
}

int TSettingsModel::AttemptsLimit() const
{
    return WrongPasswordMode() == SettingsKey::DropDb ? Attempts() : -1;
}

bool TSettingsModel::OpenLastUsedWanted() const
{
    return Root().GetAttr(SettingsKey::OpenLastUsed) == SettingsKey::Yes;
}

bool TSettingsModel::DefaultHidden() const
{
    return Root().GetAttr(SettingsKey::DefaultInvisible) == SettingsKey::Yes;
}

QString TSettingsModel::LastOpenName() const
{
    return Root().GetAttr(SettingsKey::LastOpenName);
}

void TSettingsModel::SetLastOpenName(const QString& name)
{
    Root().SetAttr(SettingsKey::LastOpenName, name);
}

namespace {

// A count limited to 0..max; 0 (off) is stored as no attribute at all.
QString CountText(int value, int max)
{
    value = std::clamp(value, 0, max);
    return value > 0 ? QString::number(value) : QString();
}

} // namespace

bool TSettingsModel::GettingStartedWanted() const
{
    return Root().GetAttr(SettingsKey::GettingStarted) != SettingsKey::No;
}

void TSettingsModel::SetGettingStartedWanted(bool wanted)
{
    Put(SettingsKey::GettingStarted, wanted ? QString() : SettingsKey::No);
}

bool TSettingsModel::Put(const QString& key, const QString& value)
{
    if (Root().GetAttr(key) == value)
        return false;
    Root().SetAttr(key, value); // an empty value removes the key
    return true;
}

void TSettingsModel::SetAlign(int align)
{
    if (Put(SettingsKey::Align, QString::number(align)))
        Q_EMIT AlignChanged(align);
}

void TSettingsModel::SetDelay(int delay)
{
    // Every move of the slider sets the preview's pace, also onto the value already stored.
    Put(SettingsKey::Delay, QString::number(delay));
    Q_EMIT DelayChanged(delay);
}

void TSettingsModel::SetOpenLastUsedWanted(bool wanted)
{
    if (Put(SettingsKey::OpenLastUsed, wanted ? SettingsKey::Yes : QString()))
        Q_EMIT OpenPolicyChanged();
}

void TSettingsModel::SetDefaultHidden(bool hidden)
{
    if (Put(SettingsKey::DefaultInvisible, hidden ? SettingsKey::Yes : QString()))
        Q_EMIT DatabaseListChanged();
}

void TSettingsModel::SetWrongPasswordMode(const QString& mode)
{
    if (Put(SettingsKey::WrongPasswordMode, mode))
        Q_EMIT OpenPolicyChanged();
}

void TSettingsModel::SetDefaultDbName(const QString& name)
{
    if (Put(SettingsKey::DefaultDb, name)) {
        Q_EMIT OpenPolicyChanged();
        Q_EMIT DatabaseListChanged();
    }
}

void TSettingsModel::SetAttempts(int attempts)
{
    if (Put(SettingsKey::Attempts, QString::number(attempts)))
        Q_EMIT OpenPolicyChanged();
}

void TSettingsModel::SetPlacement(const QRect& outer, const QSize& listPanel)
{
    bool changed = Put(SettingsKey::Width, QString::number(outer.width()));
    changed |= Put(SettingsKey::Height, QString::number(outer.height()));
    changed |= Put(SettingsKey::Left, QString::number(outer.x()));
    changed |= Put(SettingsKey::Top, QString::number(outer.y()));
    changed |= Put(SettingsKey::ListWidth, QString::number(listPanel.width()));
    changed |= Put(SettingsKey::ListHeight, QString::number(listPanel.height()));
    if (changed)
        Q_EMIT PlacementChanged();
}

void TSettingsModel::SetDatabaseEntry(TOrbPigger* entry, const QString& name, const QString& path)
{
    if (!entry)
        return;
    entry->SetAttr(SettingsKey::Name, name);
    entry->SetAttr(SettingsKey::Path, path);
    Q_EMIT DatabaseListChanged();
}

namespace {

const QString& ModeKey(TSettingsModel::DropKind kind)
{
    return kind == TSettingsModel::DropKind::Text ? SettingsKey::TxtAcceptMode : SettingsKey::ImgAcceptMode;
}

const QString& ServerKey(TSettingsModel::DropKind kind)
{
    return kind == TSettingsModel::DropKind::Text ? SettingsKey::TxtServer : SettingsKey::ImgServer;
}

} // namespace

int TSettingsModel::LockIdleMinutes() const
{
    return std::clamp(TSettingsFile::IntOrZero(Root().GetAttr(SettingsKey::LockIdleMinutes)), 0, MaxLockIdleMinutes);
}

void TSettingsModel::SetLockIdleMinutes(int minutes)
{
    if (Put(SettingsKey::LockIdleMinutes, CountText(minutes, MaxLockIdleMinutes)))
        Q_EMIT PrivacyChanged();
}

bool TSettingsModel::LockOnScreenLock() const
{
    return Root().GetAttr(SettingsKey::LockOnScreenLock) == SettingsKey::Yes;
}

void TSettingsModel::SetLockOnScreenLock(bool on)
{
    if (Put(SettingsKey::LockOnScreenLock, on ? SettingsKey::Yes : QString()))
        Q_EMIT PrivacyChanged();
}

bool TSettingsModel::LockOnSuspend() const
{
    return Root().GetAttr(SettingsKey::LockOnSuspend) == SettingsKey::Yes;
}

void TSettingsModel::SetLockOnSuspend(bool on)
{
    if (Put(SettingsKey::LockOnSuspend, on ? SettingsKey::Yes : QString()))
        Q_EMIT PrivacyChanged();
}

int TSettingsModel::ClipboardClearSeconds() const
{
    return std::clamp(TSettingsFile::IntOrZero(Root().GetAttr(SettingsKey::ClipboardClearSeconds)), 0,
                      MaxClipboardClearSeconds);
}

void TSettingsModel::SetClipboardClearSeconds(int seconds)
{
    if (Put(SettingsKey::ClipboardClearSeconds, CountText(seconds, MaxClipboardClearSeconds)))
        Q_EMIT PrivacyChanged();
}

QString TSettingsModel::DropMode(DropKind kind) const
{
    return Root().GetAttr(ModeKey(kind));
}

QString TSettingsModel::DropServer(DropKind kind) const
{
    return Root().GetAttr(ServerKey(kind));
}

void TSettingsModel::SetDropUsesServer(DropKind kind, bool server)
{
    if (Put(ModeKey(kind), server ? SettingsKey::Ole : SettingsKey::Own))
        Q_EMIT DropServersChanged();
}

void TSettingsModel::SetDropServer(DropKind kind, const QString& server)
{
    if (Put(ServerKey(kind), server))
        Q_EMIT DropServersChanged();
}
