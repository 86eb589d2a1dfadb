// The settings window's base: loads the settings model and has it write the file.
#include "gui/settings/settings.h"

#include <QDialogButtonBox>
#include <QPushButton>

TD_settings::TD_settings(TSettingsModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("Settings"));
    m_buttons = new QDialogButtonBox(this);
    OKBtn = m_buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = m_buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
}

TD_settings::~TD_settings() = default;

void TD_settings::LoadSettings()
{
    m_model.Load();
    ShowSettings();
}

void TD_settings::SaveSettings()
{
    m_model.Save();
}
