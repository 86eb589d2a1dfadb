#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class TOrbPigger;
class TSettingsModel;

// "Edit database": the name and folder of a list entry, and the way to back it up or restore it.
class TD_edit_database : public QDialog
{
    Q_OBJECT

public:
    explicit TD_edit_database(TSettingsModel& settings, QWidget* parent = nullptr);
    ~TD_edit_database() override;

    // Shows the entry's NAME and PATH; OK writes them back as typed (an empty field removes
    // its attribute). Back Up and Restore run on the path field and drop the edits.
    void EditDatabase(TOrbPigger* entry);

    // EditDatabase in halves around the modal run, for driving the dialog directly.
    void Prepare(TOrbPigger* entry);
    void Apply();

    void SB_back_upClick();
    void SB_restoreClick();

private:
    void CB_edit_pathClick();

    TSettingsModel& m_settings;
    TOrbPigger* m_entry = nullptr;
    bool OkFlag = false; // OK closed the dialog: Apply writes the edits back

    // Controls (objectName = member name).
    QLineEdit* Edit_database_name = nullptr;
    QLineEdit* Edit_database_location = nullptr;
    QCheckBox* CB_edit_path = nullptr;
    QPushButton* SB_back_up = nullptr;
    QPushButton* SB_restore = nullptr;
    QPushButton* SB_pack = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};
