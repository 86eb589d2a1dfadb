#include "gui/database/edit_database.h"

#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsModel.h"
#include "gui/archive/backUpRestore.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/widgets/Teardown.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TD_edit_database::TD_edit_database(TSettingsModel& settings, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("D_edit_database"));
    setWindowTitle(QStringLiteral("Edit database"));
    setModal(true);

    auto* nameGroup = new QGroupBox(QStringLiteral("Database name and location"));
    Edit_database_name = new QLineEdit;
    Edit_database_name->setObjectName(QStringLiteral("Edit_database_name"));
    Edit_database_location = new QLineEdit;
    Edit_database_location->setObjectName(QStringLiteral("Edit_database_location"));
    Edit_database_location->setEnabled(false);
    Edit_database_location->setMinimumWidth(360);
    CB_edit_path = new QCheckBox(QStringLiteral("Edit the path"));
    CB_edit_path->setObjectName(QStringLiteral("CB_edit_path"));
    auto* form = new QFormLayout(nameGroup);
    form->addRow(QStringLiteral("Database name"), Edit_database_name);
    form->addRow(QStringLiteral("Path to database"), Edit_database_location);
    form->addRow(CB_edit_path);

    auto* archiveGroup = new QGroupBox(QStringLiteral("Back up and restore"));
    SB_back_up = new QPushButton(QStringLiteral("Back Up"));
    SB_back_up->setObjectName(QStringLiteral("SB_back_up"));
    SB_restore = new QPushButton(QStringLiteral("Restore"));
    SB_restore->setObjectName(QStringLiteral("SB_restore"));
    auto* archiveRow = new QHBoxLayout(archiveGroup);
    archiveRow->addWidget(SB_back_up);
    archiveRow->addWidget(SB_restore);
    archiveRow->addStretch();

    auto* packGroup = new QGroupBox(QStringLiteral("Packing databse"));
    SB_pack = new QPushButton(QStringLiteral("Pack now"));
    SB_pack->setObjectName(QStringLiteral("SB_pack"));
    // The database is closed while this dialog is open; packing is "Pack/re-init database".
    SB_pack->setEnabled(false);
    auto* packText
        = new QLabel(QStringLiteral("This operation removes unused parts of database. It can take some time."));
    packText->setWordWrap(true);
    auto* packRow = new QHBoxLayout(packGroup);
    packRow->addWidget(SB_pack);
    packRow->addWidget(packText, 1);

    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameGroup);
    layout->addWidget(archiveGroup);
    layout->addWidget(packGroup);
    layout->addLayout(buttons);

    connect(CB_edit_path, &QCheckBox::toggled, this, &TD_edit_database::CB_edit_pathClick);
    connect(SB_back_up, &QPushButton::clicked, this, &TD_edit_database::SB_back_upClick);
    connect(SB_restore, &QPushButton::clicked, this, &TD_edit_database::SB_restoreClick);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        OkFlag = true;
        accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TD_edit_database::CB_edit_pathClick()
{
    Edit_database_location->setEnabled(CB_edit_path->isChecked());
}

void TD_edit_database::Prepare(TOrbPigger* entry)
{
    m_entry = entry;
    OkFlag = false;
    CB_edit_path->setChecked(false);
    Edit_database_name->setText(entry ? entry->GetAttr(SettingsKey::Name) : QString());
    Edit_database_location->setText(entry ? entry->GetAttr(SettingsKey::Path) : QString());
}

void TD_edit_database::Apply()
{
    if (!OkFlag || !m_entry)
        return;
    m_settings.SetDatabaseEntry(m_entry, Edit_database_name->text(), Edit_database_location->text());
}

void TD_edit_database::EditDatabase(TOrbPigger* entry)
{
    Prepare(entry);
    adjustSize();
    CentreOnScreen(this);
    exec();
    Apply();
}

void TD_edit_database::SB_back_upClick()
{
    {
        TFBackUpRestore dialog(this);
        dialog.BackUp(Edit_database_location->text());
    }
    OkFlag = false;
    reject();
}

void TD_edit_database::SB_restoreClick()
{
    {
        TFBackUpRestore dialog(this);
        dialog.Restore(Edit_database_location->text(), false);
    }
    OkFlag = false;
    reject();
}

TD_edit_database::~TD_edit_database()
{
    DisconnectChildren(this);
}
