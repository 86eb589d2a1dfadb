// The "Select database" dialog: a listed database and its password.
#pragma once

#include "gui/dialogs/askPwd.h"

class QComboBox;
class QToolButton;
class TSettingsModel;

// What the new-database wizard hands back: an empty Name means nothing was created.
struct TNewDatabase
{
    QString Name;
    QString Path;
    QString Password;
};

// The "Select database" dialog: a registered database (from the settings) and its password.
// Created once and reused.
class TFaskBaseAndPwd : public TFaskPwd
{
    Q_OBJECT
public:
    explicit TFaskBaseAndPwd(TSettingsModel& settings, QWidget* parent = nullptr);

    QString SelectedDatabaseName() const;
    // Selects the first listed name equal to name ignoring case, else clears the selection.
    void SelectDatabase(const QString& name);
    void SetPassword(const QString& text);
    // Lists the BASE entries (the default database left out when it is hidden); nothing selected.
    void FillDatabaseList();

    // Shows the dialog, with `preselected` selected when it is listed. True when "OK" or a
    // created database closed it; path and password then belong to the selected database (both
    // empty otherwise).
    bool AskDatabaseAndPassword(QString& path, QString& password, const QString& preselected = QString());

    // The "..." button: asks for a new database (NewDatabaseWanted); with nobody to make one,
    // nothing was made.
    void SB_databasesClick();
    // The answer to NewDatabaseWanted: what the wizard made (an empty Name: nothing). The dialog
    // stays when the database made needs a password typed.
    void NewDatabaseMade(const TNewDatabase& made);

Q_SIGNALS:
    // "..." was pressed: the receiver runs the new-database wizard and answers with
    // NewDatabaseMade before it returns.
    void NewDatabaseWanted();

private:
    TSettingsModel& m_settings;
    bool Created = false; // a database made with "..." closed the dialog
    QLabel* Label_db = nullptr;
    QComboBox* CB_databases = nullptr;
    QToolButton* SB_databases = nullptr; // "...": create a new database
};
