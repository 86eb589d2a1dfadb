#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class TDatabaseConnection;
class TOdic;

// The search dialog: finds documents by name and moves the document list to the chosen one.
// Results and the search text stay from one opening to the next.
class TD_search : public QDialog
{
    Q_OBJECT
public:
    explicit TD_search(TDatabaseConnection& connection, QWidget* parent = nullptr);
    ~TD_search() override;

    // Does nothing without a list; otherwise searches over it, modally.
    void SearchIn(TOdic* list);

    int ModeIndex() const; // 0 in the name, 1 at its beginning, 2 in the text
    void Btn_searchClick();
    void Btn_go_toClick();
    void UpdateButtons();
    // Drops the results and the search text, which name documents and quote their words.
    void Forget();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QGroupBox* RG1 = nullptr;
    QButtonGroup* RG1Buttons = nullptr;
    QRadioButton* RB_in_name = nullptr;
    QRadioButton* RB_at_begin = nullptr;
    QRadioButton* RB_in_text = nullptr; // in the words of the documents, through the text index
    QCheckBox* CB_case = nullptr;
    QTreeWidget* LV1 = nullptr;
    QPushButton* Btn_search = nullptr;
    QPushButton* Btn_go_to = nullptr;
    QPushButton* Btn_close = nullptr;

    // The list whose rows Go to moves through.
    TOdic* TargetList = nullptr;

    void ClearResults();
    TDatabaseConnection& m_connection;
};
