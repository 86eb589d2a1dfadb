// The confirmation of destructive actions ("Yes, I'm sure" ticked first).
#include "gui/dialogs/sure_hecked.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

TFsure_checked::TFsure_checked(QWidget* parent)
    : TFsure(parent)
{
    setObjectName(QStringLiteral("Fsure_checked"));
    m_check = new QCheckBox(QStringLiteral("Yes, I'm sure"), this);
    m_check->setObjectName(QStringLiteral("CheckBox1"));
    Body()->addWidget(m_check);
    connect(m_check, &QCheckBox::toggled, YesButton(), &QPushButton::setEnabled);
    // The box comes first from the keyboard, then the buttons.
    QWidget::setTabOrder(m_check, YesButton());
    QWidget::setTabOrder(YesButton(), NoButton());
}

bool TFsure_checked::Ask(const QString& text)
{
    // While open, its box belongs to the question on screen; the nested one gets a twin.
    if (!isVisible()) {
        m_check->setChecked(false);
        YesButton()->setEnabled(false);
        m_check->setFocus();
    }
    return TFsure::Ask(text);
}

TFsure* TFsure_checked::MakeTwin() const
{
    return new TFsure_checked(parentWidget());
}
