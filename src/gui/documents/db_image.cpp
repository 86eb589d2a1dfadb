// The picture window that shows one picture document.
#include "gui/documents/db_image.h"

#include "gui/documents/O_db_image.h"

#include <QAction>
#include <QShortcut>
#include <QVBoxLayout>

TF_db_image::TF_db_image(TDatabaseConnection& connection, QWidget* parent)
    // A dialog-type window, so the window manager keeps it above the main window, which stays
    // on top; the picture still gets the buttons of an ordinary window to grow.
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                  | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("F_db_image"));
    setModal(true);
    resize(560, 420);

    O_db_image1 = new TO_db_image(connection, this);
    O_db_image1->SetPasteTip(QStringLiteral("Paste from clipboard (Cvtrl+V)"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(O_db_image1);

    connect(O_db_image1, &TO_db_image::ExitRequested, this, &QDialog::close);
    auto* paste = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_V), this);
    connect(paste, &QShortcut::activated, O_db_image1, &TO_db_image::TB_pasteClick);
    auto* copy = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_C), this);
    connect(copy, &QShortcut::activated, O_db_image1, &TO_db_image::TB_copyClick);
}

void TF_db_image::SetDialogs(TD_scale_image* scale)
{
    O_db_image1->SetDialogs(scale);
}

void TF_db_image::EditPicture(const QString& key, const QString& caption)
{
    setWindowTitle(caption);
    O_db_image1->OpenImage(key);
    exec();
}

void TF_db_image::done(int result)
{
    if (!O_db_image1->CloseImageOrKeep())
        return;
    QDialog::done(result);
}
