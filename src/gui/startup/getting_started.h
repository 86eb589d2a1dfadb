#pragma once

#include <QDialog>

class QRadioButton;
class TSettingsModel;

// The "Getting started" prompt offered at the first activation of a run.
class TF_getting_started : public QDialog
{
    Q_OBJECT

public:
    enum Choice
    {
        RunNow = 0,
        RunNextTime = 1,
        DontShowAgain = 2
    };

    explicit TF_getting_started(QWidget* parent = nullptr);

    // Shows the prompt modally unless GS is "NO", then acts on the choice made with "Ok".
    static void ShowIfWanted(TSettingsModel& settings, QWidget* parent = nullptr);

    // What "Ok" does with a choice: run the tutorial now, nothing, or never ask again.
    static void Apply(Choice choice, TSettingsModel& settings);

    Choice Chosen() const;

private:
    QRadioButton* RB_now = nullptr;
    QRadioButton* RB_next_time = nullptr;
    QRadioButton* RB_never = nullptr;
};
