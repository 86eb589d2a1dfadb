// The new-database wizard.
#pragma once

#include "gui/database/wz.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QToolButton;
class TDatabaseActions;
class TOrbFileEdit;

// The four-page wizard that collects what a new database is made of (empty, or rebuilt from a
// backup archive) and shows the making, which TDatabaseActions does.
class TW_new_database : public TWizard
{
    Q_OBJECT

public:
    explicit TW_new_database(TDatabaseActions& actions, QWidget* parent = nullptr);
    ~TW_new_database() override;

    enum Page
    {
        NamePage = 0,
        LocationPage = 1,
        PasswordPage = 2,
        ReadyPage = 3
    };

    struct Result
    {
        QString name; // as listed in the settings; empty: nothing was made
        QString path;
        QString password; // what the new database was protected with, or empty
    };

    // Runs the wizard; the database made is listed in the settings.
    Result CreateDatabase();

    // The making runs: Ok returned at once, the wizard closes when it ends.
    bool Busy() const { return m_busy; }

    // CreateDatabase in two halves around the modal run, for driving the wizard directly.
    void Prepare();
    Result Results() const { return m_result; }

    bool FromArchive() const;
    QString Location() const;
    void SetLocation(const QString& folder);
    // The location's folder chooser (a queued file name while dialogs are scripted).
    void ChooseLocation();

    void UpdateButtons() override;
    void PageEntered() override;

public Q_SLOTS:
    void reject() override;

protected:
    void btnFinishClick() override;

private:
    QWidget* CreateNamePage();
    QWidget* CreateLocationPage();
    QWidget* CreatePasswordPage();
    QWidget* CreateReadyPage();
    void RadioGroup1Click();
    void CB_is_protectedClick();
    void Created(const QString& name, const QString& folder, const QString& error);

    TDatabaseActions& m_actions;
    QString m_startFolder;
    bool m_busy = false;
    bool m_built = false;
    Result m_result;

    // Controls (objectName = member name).
    QLineEdit* Edit_DB_name = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QButtonGroup* RadioGroup1Buttons = nullptr;
    QRadioButton* RB_new_database = nullptr;
    QRadioButton* RB_from_archive = nullptr;
    TOrbFileEdit* OrbFileEdit1 = nullptr;
    QLineEdit* Edit_location = nullptr;
    QToolButton* SB_location = nullptr;
    QCheckBox* CB_is_protected = nullptr;
    QLineEdit* EditNewPwd1 = nullptr;
    QLineEdit* EditNewPwd2 = nullptr;
    QLineEdit* E_DB_name = nullptr;
    QLineEdit* E_DB_location = nullptr;
    QLineEdit* E_IS_PP = nullptr;
    QLineEdit* E_FROM_ARC = nullptr;
    QProgressBar* ProgressBar2 = nullptr;
};
