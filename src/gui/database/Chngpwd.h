#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The "Password change" dialog over the open database. "Change" proves the old password (an
// unprotected database takes an empty one), closes the database, puts the new password on it
// and leaves it closed, to be opened again with the new password.
class TFChngPwd : public QDialog
{
    Q_OBJECT
public:
    explicit TFChngPwd(QWidget* parent = nullptr);
    ~TFChngPwd() override;

    QLineEdit* EditOldPwd = nullptr;
    QLineEdit* EditNewPwd1 = nullptr;
    QLineEdit* EditNewPwd2 = nullptr;
    QPushButton* BtnChange = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Shows the dialog modally; its fields are empty again afterwards. True when the change was
    // started.
    bool Execute();
    // "Change": true when the new password is being put on the database (the database is then
    // closed); the outcome is told when that work ends.
    bool BtnChangeClick();

private:
    void NewPasswordChange();
    void ClearFields();
    bool m_changed = false;
};
