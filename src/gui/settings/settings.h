// The settings window's base: loads the settings model and has it write the file.
#pragma once

#include "core/settings/SettingsModel.h"

#include <QDialog>

// The settings window over the program's settings model: loads the model when created and
// has it write the file at the moments the program chooses.
class TD_settings : public QDialog
{
    Q_OBJECT

public:
    explicit TD_settings(TSettingsModel& model, QWidget* parent = nullptr);
    ~TD_settings() override;

    TSettingsModel& Model() const { return m_model; }
    TOrbPigger& Root() { return m_model.Root(); }
    const TOrbPigger& Root() const { return m_model.Root(); }

    // Reads the file (a missing or unusable file gives the defaults, written at once), then
    // shows what it holds.
    void LoadSettings();
    // Writes the file; a failure is ignored (the tree stays in memory).
    void SaveSettings();

    virtual void ShowSettings() { }

protected:
    // "OK" writes the file; "Cancel" reads it back, undoing what the controls changed.
    void OKBtnClick();
    void CancelBtnClick();

    // Puts the pages above the "OK" and "Cancel" buttons (objectNames OKBtn, CancelBtn).
    void SetPages(QWidget* pages);

private:
    TSettingsModel& m_model;
};
