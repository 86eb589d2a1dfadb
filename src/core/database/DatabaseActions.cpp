#include "core/database/DatabaseActions.h"

#include "core/archive/BackRest.h"
#include "core/common/Paths.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/DatabaseSession.h"
#include "core/database/Schema.h"
#include "core/database/wz_rules.h"
#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsModel.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Ends a one-job connection at once: a next job on the runner may start from its end.
void Release(QObject* runner, QObject* once)
{
    QObject::disconnect(runner, nullptr, once, nullptr);
    once->deleteLater();
}

} // namespace

TDatabaseActions::TDatabaseActions(TDatabaseSession& session, QObject* parent)
    : QObject(parent)
    , m_session(session)
{
    m_runner.SetStoppable(true);
    connect(&m_runner, &TJobRunner::Progress, this, &TDatabaseActions::Progress);
}

QString TDatabaseActions::PackedText()
{
    return QStringLiteral("Current database has been packed.\nPassword (if one) has been REMOVED.");
}

bool TDatabaseActions::ChangePassword(const QString& oldPassword, const QString& newPassword)
{
    TDatabaseConnection& adb = m_session.Connection();
    if (m_runner.Busy() || !m_session.DatabaseOpen() || !adb.IsOpen()) {
        m_session.Tell(QStringLiteral("No database is open."));
        return false;
    }
    if (newPassword.size() > TDatabaseConnection::MaxPasswordLength) {
        m_session.Tell(QStringLiteral("The new password is too long.\nA password holds at most %1 characters.")
                           .arg(TDatabaseConnection::MaxPasswordLength));
        return false;
    }
    // The engine proves the old password against the open database; an unprotected database
    // has none. Nothing is closed before the old password is proven.
    bool oldMatches = false;
    try {
        oldMatches = adb.IsKeyedWith(oldPassword);
    } catch (const QbError& e) {
        m_session.Tell(QStringLiteral("Can not change the password.\n%1").arg(e.Message()));
        return false;
    }
    if (!oldMatches) {
        m_session.Tell(QStringLiteral("The old password is not correct.\nThe password has not been changed."));
        return false;
    }

    const QString folder = adb.Path();
    m_session.CloseDatabase();
    // The session's password request would talk about the selection dialog; decline quietly.
    adb.SetPasswordRequest({});
    auto* once = new QObject(this);
    connect(&m_runner, &TJobRunner::Finished, once, [this, once](const QString& error) {
        Release(&m_runner, once);
        if (error.isEmpty())
            m_session.Tell(QStringLiteral("The password has been changed.\nThe database is closed now: open it again "
                                          "with the new password."));
        else
            m_session.Tell(QStringLiteral("Can not change the password.\n%1\nThe database keeps its old password "
                                          "and is closed now.")
                               .arg(error));
        Q_EMIT PasswordChanged(error);
    });
    const bool started = m_runner.Start([&adb, folder, newPassword, oldPassword](TJobContext& job) {
        SetDatabasePassword(adb, folder, newPassword, oldPassword, [&job] { return job.StopRequested(); });
    });
    if (!started) {
        delete once;
        m_session.Tell(QStringLiteral("Can not change the password.\nThe operation could not be started."));
    }
    return started;
}

bool TDatabaseActions::Pack()
{
    TDatabaseConnection& table = m_session.Connection();
    if (m_runner.Busy() || !m_session.DatabaseOpen()) {
        m_session.Tell(QStringLiteral("No database is open."));
        return false;
    }
    m_session.SetListReady(false);
    m_session.CloseList();
    // The connection belongs to the job until it ends; opening asks for nothing on this thread.
    try {
        if (!table.IsOpen())
            table.Open();
    } catch (const QbError& e) {
        PackEnded(e.Message());
        return false;
    }
    // The session's password request talks to the user: never from the worker. The pack's
    // reopen of the plain file needs none; the next open sets it again.
    table.SetPasswordRequest({});
    auto* once = new QObject(this);
    connect(&m_runner, &TJobRunner::Finished, once, [this, once](const QString& error) {
        Release(&m_runner, once);
        PackEnded(error);
    });
    if (!m_runner.Start([&table](TJobContext& job) { PackTable(table, [&job] { return job.StopRequested(); }); })) {
        delete once;
        PackEnded(QStringLiteral("The operation could not be started."));
        return false;
    }
    return true;
}

void TDatabaseActions::PackEnded(QString error)
{
    // The list comes back over the same connection: nothing opens the database anew.
    try {
        m_session.ReopenList();
    } catch (const QbError& e) {
        if (error.isEmpty())
            error = e.Message();
    }
    Q_EMIT Packed(error);
    if (!error.isEmpty()) {
        m_session.Tell(error);
        return;
    }
    // The password is gone: the offer to set a new one is never dropped without a word.
    if (m_session.Quitting()) {
        m_session.Tell(PackedText()
                       + QStringLiteral("\nQuietbox is closing: set a new password when you open the database again."));
        return;
    }
    if (m_session.Ask(PackedText() + QStringLiteral("\nSet new password?")))
        Q_EMIT NewPasswordWanted();
}

// ---- Making a database

QString TDatabaseActions::MakeFolder(const QString& location, const QString& name, const QString& archive)
{
    const QString trimmed = name.trimmed();
    const QString cannotCreate = QStringLiteral("Can not create directory \"%1\"\nTry again please.").arg(trimmed);
    if (m_runner.Busy()) {
        m_session.Tell(QStringLiteral("Another operation is running.\nTry again when it has ended."));
        return {};
    }
    if (location.isEmpty() || !WizardRules::IsUsableFolderName(trimmed)) {
        m_session.Tell(cannotCreate);
        return {};
    }
    const QString folder = QDir(location).filePath(trimmed);
    // Checked before anything is created, so a refusal leaves no folder behind.
    if (!archive.isEmpty()
        && Paths::CanonicalFolder(QFileInfo(archive).absolutePath())
            == Paths::CanonicalFolder(location) + QLatin1Char('/') + trimmed) {
        m_session.Tell(
            QStringLiteral("The new database can not be created in the folder containing the source archive."));
        return {};
    }
    if (QFileInfo(folder).isDir()) {
        m_session.Tell(QStringLiteral("Directory \"%1\"\nalready exists.\nTry again please.").arg(trimmed));
        return {};
    }
    // mkdir fails on anything already there, so an existing database is never written over.
    // The folder is private: the names of the files in it tell something already.
    if (!QDir(location).mkdir(trimmed, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        m_session.Tell(cannotCreate);
        return {};
    }
    return folder;
}

bool TDatabaseActions::StartCreate(const QString& name, const QString& folder, const QString& success,
                                   TJobRunner::Work work)
{
    const auto end = [this, name, folder, success](QString error) {
        if (error.isEmpty()) {
            TSettingsModel& settings = m_session.Settings();
            TOrbPigger* list = settings.BaseListNode();
            if (!list)
                list = settings.Root().AddChild(SettingsKey::BaseList);
            TOrbPigger* entry = list->AddChild(SettingsKey::Base);
            entry->SetAttr(SettingsKey::Name, name.trimmed());
            entry->SetAttr(SettingsKey::Path, folder);
            settings.Save();
            settings.NotifyChanged();
            m_session.Tell(success);
        } else {
            // A failed run takes back all it made (a folder it created just now), so the same
            // name can be tried again.
            QDir(folder).removeRecursively();
            m_session.Tell(error);
        }
        Q_EMIT Created(name.trimmed(), folder, error);
    };
    auto* once = new QObject(this);
    connect(&m_runner, &TJobRunner::Finished, once, [this, once, end](const QString& error) {
        Release(&m_runner, once);
        end(error);
    });
    if (!m_runner.Start(std::move(work))) {
        delete once;
        QDir(folder).removeRecursively();
        m_session.Tell(QStringLiteral("The operation could not be started."));
        return false;
    }
    return true;
}

bool TDatabaseActions::CreateDatabase(const QString& location, const QString& name, const QString& password)
{
    const QString folder = MakeFolder(location, name, {});
    if (folder.isEmpty())
        return false;
    // The password goes on before the database is listed, so a failure is not reported as success.
    return StartCreate(
        name, folder, QStringLiteral("Congratulations!\nDatabasse \"%1\" has been successfully created.").arg(name),
        [folder, password](TJobContext& job) {
            QString failure;
            if (!Schema::CreateDocsTable(folder, [&failure](const QString& text) { failure = text; }))
                throw QbError(failure);
            if (!password.isEmpty()) {
                TDatabaseConnection connection;
                SetDatabasePassword(connection, folder, password, {}, [&job] { return job.StopRequested(); });
            }
            job.Report(100);
        });
}

bool TDatabaseActions::CreateFromArchive(const QString& archive, const QString& location, const QString& name)
{
    const QString folder = MakeFolder(location, name, archive);
    if (folder.isEmpty())
        return false;
    return StartCreate(
        name, folder, QStringLiteral("Database \"%1\" \nhas been created from the archive \n\"%2\"").arg(name, archive),
        [archive, folder](TJobContext& job) {
            const int code = BackRest::RestoreFolder(archive, folder, [&job](int percent, bool& stop) {
                job.Report(percent);
                stop = stop || job.StopRequested();
            });
            if (code != BackRest::Ok)
                throw QbError(QStringLiteral("Database restore error"));
        });
}
