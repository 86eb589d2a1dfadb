#include "gui/intake/target.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>

namespace {

QLabel* MakeLabel(const char* name, const char* text, bool bold, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

} // namespace

TO_target::TO_target(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("O_target1"));
    setToolTip(QStringLiteral("Drop text or a picture here to make it a document"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    setPalette(pal);

    Label2 = MakeLabel("Label2", "Accepted since collaps:", false, this);
    Label_counter = MakeLabel("Label_counter", "0", true, this);
    Label1 = MakeLabel("Label1", "Status:", false, this);
    Label_status = MakeLabel("Label_status", "Waiting...", true, this);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(Label2, 0, 0);
    layout->addWidget(Label_counter, 0, 1);
    layout->addWidget(Label1, 1, 0);
    layout->addWidget(Label_status, 1, 1);
    layout->setColumnStretch(1, 1);
}

void TO_target::ShowStatus(const QString& text)
{
    Label_status->setText(text);
    Label_status->repaint();
    QCoreApplication::processEvents();
}

void TO_target::ShowWaiting()
{
    ShowStatus(QStringLiteral("Waiting..."));
}

void TO_target::ShowAccepting()
{
    ShowStatus(QStringLiteral("Accepting..."));
}

void TO_target::ResetCounter()
{
    Label_counter->setText(QStringLiteral("0"));
}

void TO_target::CountAccepted()
{
    bool ok = false;
    const int n = Label_counter->text().toInt(&ok);
    if (ok)
        Label_counter->setText(QString::number(n + 1));
}
