// The password dialog and the upper-case password field.
#include "gui/dialogs/askPwd.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

QValidator::State TUpperCaseValidator::validate(QString& input, int& /*pos*/) const
{
    input = input.toUpper();
    return Acceptable;
}

void TUpperCaseValidator::fixup(QString& input) const
{
    input = input.toUpper();
}

void MakePasswordField(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setValidator(new TUpperCaseValidator(edit));
    // The desktop's password echo character varies; every character shows as "*" here.
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
}

QString TFaskPwd::TakePassword()
{
    const QString password = Edit_pwd->text();
    // setText (unlike clear) also drops the field's undo history, which holds what was typed.
    Edit_pwd->setText(QString());
    return password;
}

void TFaskPwd::showEvent(QShowEvent* e)
{
    m_confirmed = false;
    QDialog::showEvent(e);
}

TFaskPwd::TFaskPwd(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FaskPwd"));
    setWindowTitle(QStringLiteral("Password protection"));
    setModal(true);

    m_grid = new QGridLayout;
    Label_pwd = new QLabel(QStringLiteral("the password:"), this);
    Label_pwd->setObjectName(QStringLiteral("Label_pwd"));
    Edit_pwd = new QLineEdit(this);
    Edit_pwd->setObjectName(QStringLiteral("Edit_pwd"));
    MakePasswordField(Edit_pwd);
    Label_pwd->setBuddy(Edit_pwd);
    m_grid->addWidget(Label_pwd, 10, 0);
    m_grid->addWidget(Edit_pwd, 10, 1);

    BtnOK = new QPushButton(QStringLiteral("OK"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(BtnOK, &QPushButton::clicked, this, [this] {
        m_confirmed = true;
        accept();
    });
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject); // Escape rejects as well

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_grid);
    layout->addLayout(buttons);
    // A fixed border: a resizable dialog gets a grip strip under its buttons from some window managers.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
