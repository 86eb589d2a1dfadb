// The confirmation of destructive actions ("Yes, I'm sure" ticked first).
#pragma once

#include "gui/dialogs/sure.h"

class QCheckBox;

// The confirmation for destructive actions: "Yes" works only once "Yes, I'm sure" is ticked.
class TFsure_checked : public TFsure
{
    Q_OBJECT
public:
    explicit TFsure_checked(QWidget* parent = nullptr);

    bool Ask(const QString& text) override;

protected:
    TFsure* MakeTwin() const override;

private:
    QCheckBox* m_check = nullptr;
};
