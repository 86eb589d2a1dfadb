// The settings window's base: loads the settings model and has it write the file.
#include "gui/settings/settings.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

TD_settings::TD_settings(TSettingsModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("Settings"));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* OKBtn = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    QPushButton* CancelBtn = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(OKBtn, &QPushButton::clicked, this, &TD_settings::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TD_settings::CancelBtnClick);
    (new QVBoxLayout(this))->addWidget(buttons);
}

TD_settings::~TD_settings() = default;

void TD_settings::SetPages(QWidget* pages)
{
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, pages, 1);
}

void TD_settings::LoadSettings()
{
    m_model.Load();
    ShowSettings();
}

void TD_settings::SaveSettings()
{
    m_model.Save();
}

void TD_settings::OKBtnClick()
{
    // The main window stores and applies its placement on accepted(), before the file is written.
    QDialog::done(QDialog::Accepted);
    SaveSettings();
}

void TD_settings::CancelBtnClick()
{
    LoadSettings();
    QDialog::done(QDialog::Rejected);
}
