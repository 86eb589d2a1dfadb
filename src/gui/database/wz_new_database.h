#pragma once

#include "gui/database/wz.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QToolButton;
class TJobRunner;
class TOrbFileEdit;
class TOrbPigger;

// The four-page wizard that makes a new database: empty, or rebuilt from a backup archive.
class TW_new_database : public TWizard
{
    Q_OBJECT

public:
    explicit TW_new_database(QWidget* parent = nullptr);
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
        TOrbPigger* entry = nullptr; // the BASE node added to the list, or none
        QString password; // what the new database was protected with, or empty
    };

    // Runs the wizard over the settings' BASE_LIST node. Nothing is shown without a list.
    Result CreateDatabase(TOrbPigger* list);

    // A restore from the archive runs: Ok returned at once, the wizard closes when it ends.
    bool Busy() const { return m_busy; }

    // CreateDatabase in two halves around the modal run, for driving the wizard directly.
    void Prepare(TOrbPigger* list);
    Result Results() const;

    bool FromArchive() const;
    QString NewFolderPath() const;
    QString Location() const;
    void SetLocation(const QString& folder);
    // The location's folder chooser (a queued file name while dialogs are scripted).
    void ChooseLocation();

    void UpdateButtons() override;
    void PageEntered() override;

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
    // Makes the database and closes the wizard: at once, or when the restore has ended.
    void Finish();
    void FillFromArchive(const QString& folder);
    bool FillNew(const QString& folder);
    void AddEntry(const QString& folder);
    void ForgetFolder(const QString& folder);

    TOrbPigger* m_list = nullptr;
    QString m_startFolder;
    QString m_name; // trimmed, set by Ok
    bool m_finished = false;
    bool m_busy = false;
    bool m_built = false;
    TOrbPigger* m_newEntry = nullptr;
    TJobRunner* m_runner = nullptr;
};
