// The yes/no confirmation dialog.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

// The yes/no confirmation. Created once and reused; every question starts from "No".
class TFsure : public QDialog
{
    Q_OBJECT
public:
    explicit TFsure(QWidget* parent = nullptr);

    // Asks text (line breaks kept); true only when "Yes" closed the dialog.
    virtual bool Ask(const QString& text);

protected:
    // A fresh dialog of the same class, for a question asked while this one is still open.
    virtual TFsure* MakeTwin() const;

    QVBoxLayout* Body() const { return m_body; }
    QPushButton* YesButton() const { return m_yes; }
    QPushButton* NoButton() const { return m_no; }

private:
    QVBoxLayout* m_body = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_yes = nullptr;
    QPushButton* m_no = nullptr;
    bool m_answer = false;
    bool m_asking = false;
};
