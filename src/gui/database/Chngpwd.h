// The "Password change" dialog of the open database.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TDatabaseActions;

// The "Password change" dialog over the open database: it collects the passwords and shows the
// work's progress; the change itself (TDatabaseActions::ChangePassword) proves the old password,
// closes the database, puts the new password on it and leaves it closed.
class TFChngPwd : public QDialog
{
    Q_OBJECT
public:
    explicit TFChngPwd(TDatabaseActions& actions, QWidget* parent = nullptr);
    ~TFChngPwd() override;

    // Shows the dialog modally; its fields are empty again afterwards. True when the change was
    // started.
    bool Execute();
    // "Change": true when the new password is being put on the database (the database is then
    // closed); the outcome is told when that work ends.
    bool BtnChangeClick();

private:
    void NewPasswordChange();
    void ClearFields();
    TDatabaseActions& m_actions;
    bool m_changed = false;
    QLineEdit* EditOldPwd = nullptr;
    QLineEdit* EditNewPwd1 = nullptr;
    QLineEdit* EditNewPwd2 = nullptr;
    QPushButton* BtnChange = nullptr;
    QPushButton* BtnCancel = nullptr;
};
