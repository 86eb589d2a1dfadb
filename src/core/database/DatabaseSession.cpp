#include "core/database/DatabaseSession.h"

#include "core/archive/BackRest.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/dialogs/DialogSeam.h"
#include "core/settings/SettingsModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSet>
#include <utility>

namespace {

// The files the engine keeps for a database: the table file and its companions.
QStringList DatabaseFiles()
{
    QStringList files{TDatabaseConnection::FileName};
    for (const QString& suffix : TDatabaseConnection::CompanionSuffixes())
        files << TDatabaseConnection::FileName + suffix;
    return files;
}

} // namespace

TDatabaseSession::TDatabaseSession(TSettingsModel& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
}

TDatabaseSession::~TDatabaseSession() = default;

TDatabaseConnection& TDatabaseSession::Connection() const
{
    return TDatabaseConnection::ADB();
}

void TDatabaseSession::SetListReady(bool ready)
{
    m_listReady = ready;
    Q_EMIT StateChanged();
}

// ---- Asking and telling

void TDatabaseSession::ShowMessage(const QString& text)
{
    if (TDialogSeam* seam = TDialogSeam::Current())
        seam->Message(text);
}

bool TDatabaseSession::ConfirmDestructive(const QString& text)
{
    TDialogSeam* seam = TDialogSeam::Current();
    return seam && seam->ConfirmChecked(text);
}

bool TDatabaseSession::Ask(const QString& text)
{
    TDialogSeam* seam = TDialogSeam::Current();
    return seam && seam->Confirm(text);
}

// ---- The document list

void TDatabaseSession::OpenListNow()
{
    if (m_list) {
        m_list->OpenList();
    } else if (!Connection().IsOpen()) {
        Connection().Open();
    }
}

void TDatabaseSession::CloseListNow()
{
    if (m_list)
        m_list->CloseList();
}

bool TDatabaseSession::ListActive() const
{
    return m_list ? m_list->ListActive() : Connection().IsOpen();
}

void TDatabaseSession::CloseList()
{
    CloseListNow();
}

void TDatabaseSession::ReopenList()
{
    try {
        OpenListNow();
    } catch (...) {
        SetListReady(ListActive());
        throw;
    }
    SetListReady(ListActive());
}

// ---- Opening and closing, and the wrong-password policy

QString TDatabaseSession::RedirectDatabaseName() const
{
    if (m_settings.WrongPasswordMode() == SettingsKey::OpenDefault)
        return m_settings.DefaultDbName();
    return QString();
}

bool TDatabaseSession::PrepareConnection()
{
    QString password;
    bool result = false;
    if (m_directOpen) {
        m_openPath = m_directPath;
        password = m_directPassword;
        result = true;
    } else {
        m_selected = std::exchange(m_preselected, QString());
        m_openPath.clear();
        if (m_prompts)
            result = m_prompts->AskDatabaseAndPassword(m_selected, m_openPath, password);
    }
    TDatabaseConnection& adb = Connection();
    adb.ClearParams();
    adb.SetParams(m_openPath);
    adb.ClearPasswords();
    adb.SetPasswordRequest([this](QString& p) { return OnEnginePassword(p); });
    // Nothing of ours holds the database now, so what an interrupted run left in clear beside
    // it (a journal, a rewrite, a restore's staging folder) can be told from what is live.
    if (result)
        BackRest::RemoveStaleCompanions(m_openPath);
    adb.AddPassword(password);
    // The connection holds the only copy it needs until its key is set.
    TDatabaseConnection::Wipe(password);
    TDatabaseConnection::Wipe(m_directPassword);
    return result;
}

void TDatabaseSession::SweepRegisteredFolders()
{
    const TOrbPigger* list = m_settings.BaseListNode();
    if (!list)
        return;
    QSet<QString> seen;
    for (int i = 0; i < list->ChildCount(); ++i) {
        const TOrbPigger* entry = list->Child(i);
        const QString folder = entry->GetAttr(SettingsKey::Path).trimmed();
        if (entry->Name() != SettingsKey::Base || folder.isEmpty() || seen.contains(folder))
            continue;
        seen.insert(folder);
        // Only what is there is looked at: a missing folder costs one failed stat.
        if (QFileInfo(folder).isDir())
            BackRest::RemoveStaleCompanions(folder);
    }
}

void TDatabaseSession::SBreopenClick()
{
    CloseDatabase();
    if (m_quitting)
        return; // the program is ending: nothing opens again
    try {
        if (PrepareConnection()) {
            m_name = m_selected;
            if (m_list)
                m_list->PrepareList();
            OpenListNow();
            m_open = ListActive();
            // The list is whole either way; the user learns why it is slow to sort.
            if (const QString problem = Connection().NameOrderProblem(); m_open && !problem.isEmpty())
                ShowMessage(problem);
            m_listReady = true;
            ResetWrongAttempts();
        }
    } catch (const std::exception& e) {
        // No database stays open after a failed open.
        CloseListNow();
        Connection().Close();
        m_open = false;
        m_listReady = false;
        m_name.clear();
        const auto* qb = dynamic_cast<const QbError*>(&e);
        HandleOpenFailure(qb ? qb->Message() : QString::fromLocal8Bit(e.what()), qb ? qb->Kind() : QbErrorKind::Other);
    }
    Q_EMIT StateChanged();
}

void TDatabaseSession::CloseDatabase()
{
    if (m_open && !m_name.isEmpty())
        m_settings.SetLastOpenName(m_name);
    m_open = false;
    m_name.clear();
    CloseListNow();
    Q_EMIT StateChanged();
    Connection().Close();
    m_listReady = false;
}

bool TDatabaseSession::OnEnginePassword(QString& /*password*/)
{
    if (RedirectDatabaseName().isEmpty() && !m_startupOpen && !m_automaticOpen)
        ShowMessage(QStringLiteral("Incorrect password.\nTry again."));
    return false;
}

void TDatabaseSession::HandleOpenFailure(const QString& message, QbErrorKind kind)
{
    const QString name = m_selected;
    if (name.isEmpty())
        return;
    if (kind != QbErrorKind::WrongKey) {
        ShowMessage(QStringLiteral("Can not open the database.\n%1").arg(message));
        ResetWrongAttempts();
        return;
    }
    if (m_automaticOpen)
        return;
    const QString mode = m_settings.WrongPasswordMode();
    if (mode == SettingsKey::OpenDefault)
        OpenDefaultInstead();
    else if (mode == SettingsKey::DropDb)
        CountWrongAttempt(name);
}

void TDatabaseSession::OpenDefaultInstead()
{
    if (m_selected == RedirectDatabaseName())
        return; // the default database itself failed
    // The name check is exact while the look-up ignores case, so the default can fail under
    // another spelling: redirecting again would recurse until the stack runs out.
    if (m_openingDefault)
        return;
    const QScopedValueRollback redirect(m_openingDefault, true);
    const QString def = RedirectDatabaseName();
    OpenDatabaseDirect(def, m_settings.DatabasePath(def), QString());
}

void TDatabaseSession::CountWrongAttempt(const QString& name)
{
    if (name != m_lastWrong) {
        m_wrongAttempts = 1;
        m_lastWrong = name;
    } else {
        ++m_wrongAttempts;
    }
    const int limit = m_settings.AttemptsLimit();
    if (limit > 0 && m_wrongAttempts > limit)
        DropDatabase(name, true);
}

void TDatabaseSession::ResetWrongAttempts()
{
    m_wrongAttempts = 0;
    m_lastWrong.clear();
}

void TDatabaseSession::SelectListed(const QString& name)
{
    // As the selection list would: the first listed name equal ignoring case, without blanks.
    m_selected.clear();
    for (const QString& listed : m_settings.ListedDatabaseNames()) {
        if (listed.compare(name, Qt::CaseInsensitive) == 0) {
            m_selected = listed.trimmed();
            return;
        }
    }
}

void TDatabaseSession::OpenDatabaseDirect(const QString& name, const QString& path, const QString& password)
{
    const QScopedValueRollback direct(m_directOpen, true);
    SelectListed(name);
    m_directPath = path;
    m_directPassword = password;
    SBreopenClick();
}

void TDatabaseSession::OpenCreatedDatabase(const QString& name, const QString& path, const QString& password)
{
    if (password.isEmpty() && IsProtectedDatabase(path)) {
        m_preselected = name;
        SBreopenClick();
        m_preselected.clear();
        return;
    }
    const QScopedValueRollback automatic(m_automaticOpen, true);
    OpenDatabaseDirect(name, path, password);
}

bool TDatabaseSession::IsProtectedDatabase(const QString& folder)
{
    QFile file(QDir(folder).filePath(TDatabaseConnection::FileName));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A plain file starts with the engine's header; an encrypted one is random from its first byte.
    const QByteArray header = file.read(16);
    return !header.isEmpty() && header != QByteArray("SQLite format 3\0", 16);
}

void TDatabaseSession::OpenLastUsed()
{
    if (!m_settings.OpenLastUsedWanted())
        return;
    const QString name = m_settings.LastOpenName();
    struct End
    {
        TDatabaseSession* s;
        ~End()
        {
            s->m_startupOpen = false;
            s->ResetWrongAttempts();
        }
    } end{this};
    m_startupOpen = true;
    OpenDatabaseDirect(name, m_settings.DatabasePath(name), QString());
}

// ---- Dropping a database

QString TDatabaseSession::DropRefusal(const QString& folder)
{
    if (folder.trimmed().isEmpty())
        return QStringLiteral("The database has no folder.");
    const QFileInfo info(QDir::current(), folder);
    if (!info.exists() || !info.isDir())
        return QStringLiteral("The folder \"%1\" does not exist.").arg(QDir::toNativeSeparators(folder));
    const QString canonical = info.canonicalFilePath();
    const QString home = QFileInfo(QDir::homePath()).canonicalFilePath();
    const auto inside = [](const QString& inner, const QString& outer) {
        return inner == outer || inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/'));
    };
    if (canonical.isEmpty() || QDir(canonical).isRoot() || (!home.isEmpty() && inside(home, canonical)))
        return QStringLiteral("The folder \"%1\" is not a database folder of its own.")
            .arg(QDir::toNativeSeparators(folder));
    return QString();
}

bool TDatabaseSession::DropDatabase(const QString& name, bool silent)
{
    TOrbPigger* entry = m_settings.FindDatabaseEntry(name);
    const QString folder = m_settings.DatabasePath(name);
    if (!entry || folder.isEmpty())
        return false;
    if (!silent
        && !ConfirmDestructive(
            QStringLiteral("ATTENTION!\nAre you sure you want to DROP\nthe database \"%1\"?").arg(name)))
        return false;

    const QString refusal = DropRefusal(folder);
    if (!refusal.isEmpty()) {
        if (!silent)
            ShowMessage(QStringLiteral("The database \"%1\" has not been dropped.\n%2").arg(name, refusal));
        Q_EMIT DatabaseListChanged();
        return false;
    }

    const QString canonical = QFileInfo(QDir::current(), folder).canonicalFilePath();
    TDatabaseConnection& adb = Connection();
    if (adb.IsOpen() && QFileInfo(adb.Path()).canonicalFilePath() == canonical)
        CloseDatabase();
    // Another Quietbox (or tool) that has it open would go on writing into deleted files.
    if (const QString inUse = BackRest::InUseRefusal(canonical); !inUse.isEmpty()) {
        if (!silent)
            ShowMessage(QStringLiteral("The database \"%1\" has not been dropped.\n%2").arg(name, inUse));
        Q_EMIT DatabaseListChanged();
        return false;
    }
    QDir dir(canonical);
    for (const QString& file : DatabaseFiles())
        dir.remove(file); // a file that cannot be deleted stays
    if (dir.exists(TDatabaseConnection::FileName)) {
        // The documents are still there: keep the entry rather than report a drop that did not happen.
        if (!silent)
            ShowMessage(QStringLiteral("The database \"%1\" has not been dropped.\nThe file \"%2\" "
                                       "can not be deleted.")
                            .arg(name, QDir::toNativeSeparators(dir.filePath(TDatabaseConnection::FileName))));
        Q_EMIT DatabaseListChanged();
        return false;
    }
    QDir().rmdir(canonical); // stays when anything else is left in it

    if (m_settings.DefaultDbName() == name) {
        m_settings.Root().DeleteAttr(SettingsKey::DefaultDb);
        m_settings.Root().DeleteAttr(SettingsKey::WrongPasswordMode);
    }
    m_settings.NotifyChanged();
    delete entry;
    m_settings.Save();
    if (!silent)
        ShowMessage(QStringLiteral("The database \"%1\" \nhas been removed from your computer.").arg(name));
    Q_EMIT DatabaseListChanged();
    return true;
}
