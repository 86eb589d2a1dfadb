#pragma once

#include "core/settings/SettingsFile.h"

#include <QDialog>

class QDialogButtonBox;
class QPushButton;

// The settings window: owns the settings tree for the whole run, loads it when created and
// writes it at the moments the program chooses.
class TD_settings : public QDialog
{
    Q_OBJECT

public:
    explicit TD_settings(QWidget* parent = nullptr);
    ~TD_settings() override;

    TOrbPigger& Root() { return m_file.Root(); }
    const TOrbPigger& Root() const { return m_file.Root(); }

    static QString SettingsFileName() { return TSettingsFile::SettingsFileName(); }
    static int IntOrZero(const QString& text) { return TSettingsFile::IntOrZero(text); }

    // Reads the file; a missing or unusable file gives the defaults, written at once.
    void LoadSettings();
    // Writes the file; a failure is ignored (the tree stays in memory).
    void SaveSettings();

    virtual void SetDefaults();
    virtual void ShowSettings() { }

    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    QDialogButtonBox* m_buttons = nullptr;

private:
    TSettingsFile m_file;
};
