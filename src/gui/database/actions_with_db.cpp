// The "Database control" dialog and the database commands it runs.
#include "gui/database/actions_with_db.h"

#include "core/database/DatabaseActions.h"
#include "core/database/DatabaseSession.h"
#include "core/settings/SettingsModel.h"
#include "gui/database/JobProgress.h"
#include "gui/database/edit_database.h"
#include "gui/database/wz_new_database.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/ExportAll.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

TD_action_with_db::TD_action_with_db(TDatabaseActions& actions, QWidget* parent)
    : QDialog(parent)
    , m_actions(actions)
{
    setObjectName(QStringLiteral("D_action_with_db"));
    setWindowTitle(QStringLiteral("Database control"));
    setModal(true);

    GroupBox1 = new QGroupBox(QStringLiteral("Select please:"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto radio = [](QRadioButton*& b, const char* name, const char* caption) {
        b = new QRadioButton(QString::fromUtf8(caption));
        b->setObjectName(QString::fromLatin1(name));
    };
    radio(RB_create_new_db, "RB_create_new_db", "Create new database");
    radio(RB_edit_database, "RB_edit_database", "Edit, back up and restore the database");
    radio(RB_drop_database, "RB_drop_database", "Drop database");
    radio(RB_pack_database, "RB_pack_database", "Pack/re-init database");
    radio(RB_export_all, "RB_export_all", "Export all documents");
    RB_create_new_db->setChecked(true);
    auto* group = new QVBoxLayout(GroupBox1);
    for (QRadioButton* b : {RB_create_new_db, RB_edit_database, RB_drop_database, RB_pack_database, RB_export_all})
        group->addWidget(b);

    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
}

TD_action_with_db::~TD_action_with_db() = default;

void TD_action_with_db::PrepareAsk(const QString& name)
{
    RB_create_new_db->setChecked(true);
    const bool some = !name.trimmed().isEmpty();
    for (QRadioButton* b : {RB_edit_database, RB_drop_database, RB_pack_database, RB_export_all})
        b->setEnabled(some);
    const QString tail = name + QLatin1Char('"');
    RB_edit_database->setText(QStringLiteral("Edit database \"") + tail);
    RB_drop_database->setText(QStringLiteral("Drop database \"") + tail);
    RB_pack_database->setText(QStringLiteral("Pack and re-init database \"") + tail);
}

int TD_action_with_db::Choice() const
{
    if (RB_drop_database->isChecked())
        return DropAction;
    if (RB_pack_database->isChecked())
        return PackAction;
    if (RB_export_all->isChecked())
        return ExportAllAction;
    if (RB_edit_database->isChecked())
        return EditAction;
    return CreateNewAction;
}

int TD_action_with_db::AskAction(const QString& name)
{
    PrepareAsk(name);
    adjustSize();
    CentreOnScreen(this);
    if (exec() != QDialog::Accepted)
        return NoAction;
    return Choice();
}

void TD_action_with_db::DatabaseControl()
{
    TDatabaseSession& session = m_actions.Session();
    const QString name = session.DatabaseOpen() ? session.CurrentDatabaseName() : QString();
    switch (AskAction(name)) {
        case CreateNewAction: {
            session.CloseDatabase();
            const TNewDatabase created = CreateNew();
            if (!created.Name.isEmpty())
                session.OpenCreatedDatabase(created.Name, created.Path, created.Password);
            else
                session.SBreopenClick();
            break;
        }
        case EditAction:
            session.CloseDatabase();
            EditEntry(name);
            session.SBreopenClick();
            break;
        case PackAction:
            PackCurrentDatabase();
            break;
        case ExportAllAction:
            ExportAll::Run(parentWidget(), session.Connection());
            break;
        case DropAction:
            session.CloseDatabase();
            session.DropDatabase(name, false);
            session.SBreopenClick();
            break;
        default:
            break;
    }
}

TNewDatabase TD_action_with_db::CreateNew()
{
    TNewDatabase result;
    TW_new_database* shared = m_wizard;
    std::unique_ptr<TW_new_database> own;
    if (!shared) {
        own = std::make_unique<TW_new_database>(m_actions, parentWidget());
        shared = own.get();
    }
    const TW_new_database::Result created = shared->CreateDatabase();
    result.Name = created.name;
    result.Path = created.path;
    result.Password = created.password;
    return result;
}

void TD_action_with_db::EditEntry(const QString& name)
{
    TOrbPigger* entry = m_actions.Session().Settings().FindDatabaseEntry(name);
    if (!entry)
        return;
    TD_edit_database dialog(m_actions.Session().Settings(), parentWidget());
    dialog.EditDatabase(entry);
}

void TD_action_with_db::PackCurrentDatabase()
{
    if (!Dialogs::ConfirmChecked(
            QStringLiteral("This operation removes unused parts of DB files\nand REMOVES password protection.\n"
                           "If you want the database stays protected\nset password again when operation will "
                           "be finished.\nOperation can take some time depend on DB size.\n\nPack the "
                           "database now?")))
        return;

    Q_EMIT PackStarting();
    // The outcome and the offer of a new password follow the job's end (TDatabaseActions).
    if (m_actions.Pack())
        TJobProgress::Watch(parentWidget(), QStringLiteral("Packing the database..."), m_actions.Runner());
}
