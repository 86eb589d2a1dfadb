// The program's own message dialog.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The program's own message dialog: one text, one "OK". Created once and reused.
class TDmsg : public QDialog
{
    Q_OBJECT
public:
    explicit TDmsg(QWidget* parent = nullptr);

    // Shows text (line breaks kept) and returns once the dialog is closed.
    void ShowText(const QString& text);

private:
    QLabel* m_image = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_showing = false;
};
