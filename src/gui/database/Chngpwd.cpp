// The "Password change" dialog of the open database.
#include "gui/database/Chngpwd.h"

#include "core/database/DatabaseActions.h"
#include "gui/database/JobProgress.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/askPwd.h"
#include "gui/widgets/Teardown.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFChngPwd::TFChngPwd(TDatabaseActions& actions, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_actions(actions)
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
    adjustSize(); // centred by its real size, not the default one it has before it is shown
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
    const QString newPassword = EditNewPwd1->text();
    if (newPassword != EditNewPwd2->text() || newPassword.trimmed().isEmpty())
        return false;
    if (!m_actions.ChangePassword(EditOldPwd->text(), newPassword))
        return false;
    // The whole file is rewritten: the outcome is told when the work ends.
    TJobProgress::Watch(parentWidget(), QStringLiteral("Changing the password..."), m_actions.Runner());
    m_changed = true;
    return true;
}

TFChngPwd::~TFChngPwd()
{
    DisconnectChildren(this);
}
