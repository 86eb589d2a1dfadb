// The "Database control" dialog and the database commands it runs.
#pragma once

#include "gui/database/askBaseAndPwd.h"

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;
class TDatabaseActions;
class TW_new_database;

// "Database control": what to do with the databases, and the commands that do it.
class TD_action_with_db : public QDialog
{
    Q_OBJECT

public:
    explicit TD_action_with_db(TDatabaseActions& actions, QWidget* parent = nullptr);
    ~TD_action_with_db() override;

    enum Action
    {
        NoAction = -1,
        CreateNewAction = 0,
        EditAction = 1,
        PackAction = 2,
        DropAction = 3,
        ExportAllAction = 4
    };

    // Asks what to do with the database `name` (empty: none is open, only creating is offered).
    int AskAction(const QString& name);
    // AskAction in halves around the modal run, for driving the dialog directly.
    void PrepareAsk(const QString& name);
    int Choice() const;

    // The main window's "Database control" command.
    void DatabaseControl();

    // Runs the new-database wizard on the settings' database list and saves the settings.
    // An empty Name: nothing was created.
    TNewDatabase CreateNew();
    // Shows the edit-database dialog on the list entry of name, when there is one.
    void EditEntry(const QString& name);
    // Packs the open database: every document stays, the password goes; then offers to set one.
    // Returns once the pack runs; the window stays responsive and the rest follows its end.
    void PackCurrentDatabase();

    // The shared new-database wizard (not owned); without one, each run makes its own.
    void SetWizard(TW_new_database* wizard) { m_wizard = wizard; }

Q_SIGNALS:
    // The pack is about to start: the document side lets go of what it shows (the list itself
    // is closed and reopened by the pack; its end is TDatabaseActions::Packed).
    void PackStarting();

private:
    TDatabaseActions& m_actions;
    TW_new_database* m_wizard = nullptr;

    // Controls (objectName = member name).
    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* RB_create_new_db = nullptr;
    QRadioButton* RB_edit_database = nullptr;
    QRadioButton* RB_drop_database = nullptr;
    QRadioButton* RB_pack_database = nullptr;
    QRadioButton* RB_export_all = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};
