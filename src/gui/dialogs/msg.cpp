// The program's own message dialog.
#include "gui/dialogs/msg.h"

#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/TextArea.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

TDmsg::TDmsg(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("Dmsg"));
    setWindowTitle(QStringLiteral("Quietbox message:"));
    setModal(true);

    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image1"));
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconSize));
    m_image->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // The design size is the least: a longer text makes the area grow (and scroll past the
    // screen's room), so that every word can be read.
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setReadOnly(true);
    m_memo->setFocusPolicy(Qt::NoFocus);
    m_memo->setFrameShape(QFrame::NoFrame);
    m_memo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_memo->setFixedSize(246, 78);
    QPalette pal = m_memo->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    m_memo->setPalette(pal);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OKBtn"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(m_image, 0, Qt::AlignTop);
    top->addWidget(m_memo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TDmsg::ShowText(const QString& text)
{
    // A message raised while this one is still open (a timer's report), or closed but not yet
    // returned from, gets a dialog of its own.
    if (isVisible() || m_showing) {
        TDmsg nested(parentWidget());
        nested.ShowText(text);
        return;
    }
    m_memo->setPlainText(text);
    FitTextArea(m_memo, QSize(246, 78));
    adjustSize();
    CentreOnScreen(this);
    m_ok->setFocus();
    const QScopedValueRollback<bool> showing(m_showing, true);
    exec();
}
