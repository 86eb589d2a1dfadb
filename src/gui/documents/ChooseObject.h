#pragma once

// The "Insert object" dialog: the desktop's object servers, filterable by name.
#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

class TD_choose_object : public QDialog
{
    Q_OBJECT
public:
    explicit TD_choose_object(QWidget* parent = nullptr);
    ~TD_choose_object() override;

    // Shows only the servers whose name or class name contains the text (ignoring case) and
    // selects the first of them.
    void SetFilter(const QString& text);
    // The class names of the servers shown, in order.
    QStringList ShownClasses() const;
    // The class name of the selected server; "" when none is selected.
    QString Chosen() const;

    // Asks the user (or the dialog script, by the dialog's title) for a class; "" when cancelled.
    static QString Choose(QWidget* parent = nullptr);
    // Makes this dialog the object container's chooser.
    static void Install();

private:
    void UpdateButtons();

    QLineEdit* Edit_filter = nullptr;
    QListWidget* LB_servers = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
};
