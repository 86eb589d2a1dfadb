#include "gui/database/Chngpwd.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/DatabaseSession.h"
#include "gui/database/JobProgress.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/dialogs/askPwd.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

void Tell(const QString& text)
{
    Dialogs::ShowMessage(text);
}

} // namespace

TFChngPwd::TFChngPwd(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FChngPwd"));
    setWindowTitle(QStringLiteral("Password change"));
    setModal(true);

    auto field = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        MakePasswordField(edit);
        return edit;
    };
    EditOldPwd = field("EditOldPwd");
    EditNewPwd1 = field("EditNewPwd1");
    EditNewPwd2 = field("EditNewPwd2");
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Old password:"), EditOldPwd);
    form->addRow(QStringLiteral("New password:"), EditNewPwd1);
    form->addRow(QStringLiteral("New password confirmation:"), EditNewPwd2);

    BtnChange = new QPushButton(QStringLiteral("Change"), this);
    BtnChange->setObjectName(QStringLiteral("BtnChange"));
    BtnChange->setEnabled(false);
    BtnChange->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnChange, &QPushButton::clicked, this, [this] {
        if (BtnChangeClick())
            accept();
    });
    connect(EditNewPwd1, &QLineEdit::textChanged, this, &TFChngPwd::NewPasswordChange);
    connect(EditNewPwd2, &QLineEdit::textChanged, this, &TFChngPwd::NewPasswordChange);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnChange);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void TFChngPwd::NewPasswordChange()
{
    BtnChange->setEnabled(EditNewPwd1->text() == EditNewPwd2->text() && !EditNewPwd1->text().trimmed().isEmpty());
}

bool TFChngPwd::Execute()
{
    m_changed = false;
    CentreOnScreen(this);
    exec();
    ClearFields();
    return m_changed;
}

void TFChngPwd::ClearFields()
{
    // setText (unlike clear) also drops each field's undo history, which holds what was typed.
    for (QLineEdit* edit : {EditOldPwd, EditNewPwd1, EditNewPwd2})
        edit->setText(QString());
}

bool TFChngPwd::BtnChangeClick()
{
    TDatabaseSession* session = TDatabaseSession::HasInstance() ? &TDatabaseSession::Instance() : nullptr;
    TDatabaseConnection& adb = TDatabaseConnection::ADB();
    if (!session || !session->DatabaseOpen() || !adb.IsOpen()) {
        Tell(QStringLiteral("No database is open."));
        return false;
    }
    const QString newPassword = EditNewPwd1->text();
    if (newPassword != EditNewPwd2->text() || newPassword.trimmed().isEmpty())
        return false;
    if (newPassword.size() > TDatabaseConnection::MaxPasswordLength) {
        Tell(QStringLiteral("The new password is too long.\nA password holds at most %1 characters.")
                 .arg(TDatabaseConnection::MaxPasswordLength));
        return false;
    }
    // The engine proves the old password against the open database; an unprotected database
    // has none. Nothing is closed before the old password is proven.
    const QString oldPassword = EditOldPwd->text();
    bool oldMatches = false;
    try {
        oldMatches = adb.IsKeyedWith(oldPassword);
    } catch (const QbError& e) {
        Tell(QStringLiteral("Can not change the password.\n%1").arg(e.Message()));
        return false;
    }
    if (!oldMatches) {
        Tell(QStringLiteral("The old password is not correct.\nThe password has not been changed."));
        return false;
    }

    const QString folder = adb.Path();
    session->CloseDatabase();
    // The session's password request would talk about the selection dialog; decline quietly.
    adb.SetPasswordRequest({});
    // The whole file is rewritten or rekeyed: on a worker under a progress window, the closed
    // connection belonging to the job until it ends; the outcome is told then.
    TJobProgress::Run(
        parentWidget(), QStringLiteral("Changing the password..."),
        [&adb, folder, newPassword, oldPassword](TJobContext& job) {
            SetDatabasePassword(adb, folder, newPassword, oldPassword, [&job] { return job.StopRequested(); });
        },
        [](const QString& error) {
            if (error.isEmpty())
                Tell(QStringLiteral("The password has been changed.\nThe database is closed now: open it again with "
                                    "the new password."));
            else
                Tell(QStringLiteral("Can not change the password.\n%1\nThe database keeps its old password and is "
                                    "closed now.")
                         .arg(error));
        },
        true);
    m_changed = true;
    return true;
}
