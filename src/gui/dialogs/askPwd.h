// The password dialog and the upper-case password field.
#pragma once

#include <QDialog>
#include <QValidator>

class QLabel;
class QLineEdit;
class QPushButton;
class QGridLayout;

// Turns every letter into upper case as it is typed, pasted or inserted, so that a password
// reaches the engine the same way whatever case the user typed it in.
class TUpperCaseValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

// A password field: "*" for every character, letters in upper case.
void MakePasswordField(QLineEdit* edit);

// The password dialog: "OK" (default, sets Confirmed) and "Cancel" (Escape) around one
// masked, upper-casing password field. Derived dialogs add their controls to Grid().
class TFaskPwd : public QDialog
{
    Q_OBJECT
public:
    explicit TFaskPwd(QWidget* parent = nullptr);

    // The typed password; the field is emptied, so it does not outlive its use in the dialog.
    QString TakePassword();

protected:
    // "OK" closed the dialog since it was last shown.
    bool Confirmed() const { return m_confirmed; }
    void showEvent(QShowEvent* e) override;
    QGridLayout* Grid() const { return m_grid; }
    QLabel* PasswordLabel() const { return Label_pwd; }
    QLineEdit* PasswordField() const { return Edit_pwd; }

private:
    bool m_confirmed = false;
    QGridLayout* m_grid = nullptr;
    QLabel* Label_pwd = nullptr;
    QLineEdit* Edit_pwd = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
};
