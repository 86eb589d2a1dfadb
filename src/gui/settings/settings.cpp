#include "gui/settings/settings.h"

#include <QDialogButtonBox>
#include <QPushButton>

TD_settings::TD_settings(QWidget* parent)
    : QDialog(parent)
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
    if (!m_file.Load()) {
        SetDefaults();
        SaveSettings();
    }
    ShowSettings();
}

void TD_settings::SaveSettings()
{
    m_file.Save();
}

void TD_settings::SetDefaults()
{
    Root().Clear();
    Root().SetName(QStringLiteral("SETTINGS"));
}
