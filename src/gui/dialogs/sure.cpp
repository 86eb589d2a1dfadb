// The yes/no confirmation dialog.
#include "gui/dialogs/sure.h"

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
#include <memory>

TFsure::TFsure(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("Fsure"));
    setWindowTitle(QStringLiteral("Confirmation:"));
    setModal(true);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize));

    // The design size is the least; a longer question makes it grow (see FitTextArea).
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setReadOnly(true);
    m_memo->setFocusPolicy(Qt::NoFocus);
    m_memo->setFrameShape(QFrame::StyledPanel);
    m_memo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_memo->setFixedSize(274, 99);
    QPalette pal = m_memo->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    m_memo->setPalette(pal);

    m_yes = new QPushButton(QStringLiteral("Yes"), this);
    m_yes->setObjectName(QStringLiteral("YesBtn"));
    m_yes->setDefault(true);
    m_no = new QPushButton(QStringLiteral("No"), this);
    m_no->setObjectName(QStringLiteral("NoBtn"));
    connect(m_yes, &QPushButton::clicked, this, [this] {
        m_answer = true;
        accept();
    });
    // Escape and the close box reject the dialog the same way.
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(image, 0, Qt::AlignTop);
    top->addWidget(m_memo);
    m_body = new QVBoxLayout;
    m_body->addLayout(top);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_body);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TFsure::Ask(const QString& text)
{
    // A question raised while this dialog is still open, or closed but not yet returned from
    // (a job's outcome after its question was withdrawn), gets a dialog of its own.
    if (isVisible() || m_asking) {
        const std::unique_ptr<TFsure> twin(MakeTwin());
        return twin->Ask(text);
    }
    m_answer = false;
    m_memo->setPlainText(text);
    FitTextArea(m_memo, QSize(274, 99));
    adjustSize();
    CentreOnScreen(this);
    if (m_yes->isEnabled())
        m_yes->setFocus();
    const QScopedValueRollback<bool> asking(m_asking, true);
    exec();
    return m_answer;
}

TFsure* TFsure::MakeTwin() const
{
    return new TFsure(parentWidget());
}
