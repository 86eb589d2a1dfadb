// The notice shown when the database engine is missing.
#include "gui/startup/BDE_DL.h"

#include "core/shell/Shell.h"
#include "gui/dialogs/Dialogs.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

QString TD_BDE_DL::InstallText()
{
    return QStringLiteral("Quietbox can not install the database engine by itself.\n"
                          "On Debian, install the package libsqlcipher0 as administrator:\n\n"
                          "    apt install libsqlcipher0\n\n"
                          "then run the program again.");
}

QString TD_BDE_DL::DownloadUrl()
{
    return QStringLiteral("https://packages.debian.org/bookworm/libsqlcipher0");
}

TD_BDE_DL::TD_BDE_DL(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("D_BDE_DL"));
    setWindowTitle(QStringLiteral("SQLCipher not found"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(true);

    Label_info = new QLabel(QStringLiteral("This program needs the SQLCipher database engine (package libsqlcipher0). "
                                           "Please install SQLCipher then run the program again."),
                            this);
    Label_info->setObjectName(QStringLiteral("Label_info"));
    Label_info->setWordWrap(true);
    Label_info->setStyleSheet(QStringLiteral("color: red;"));

    RB_install = new QRadioButton(QStringLiteral("Show how to install the libsqlcipher0 package"), this);
    RB_install->setObjectName(QStringLiteral("RB_install"));
    RB_install->setChecked(true);
    RB_download = new QRadioButton(QStringLiteral("Open the web page of the libsqlcipher0 package"), this);
    RB_download->setObjectName(QStringLiteral("RB_download"));

    Label_download = new QLabel(QStringLiteral("You can get SQLCipher (FOR FREE) from here:"), this);
    Label_download->setObjectName(QStringLiteral("Label_download"));
    Label_download->setCursor(Qt::PointingHandCursor);
    Image_download = new QLabel(this);
    Image_download->setObjectName(QStringLiteral("Image_download"));
    Image_download->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32));
    Image_download->setCursor(Qt::PointingHandCursor);
    Label_download->installEventFilter(this);
    Image_download->installEventFilter(this);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(ok, &QPushButton::clicked, this, [this] {
        Confirmed = true;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(RB_download, &QRadioButton::toggled, this, &TD_BDE_DL::ChoiceChange);

    auto* download = new QHBoxLayout;
    download->addWidget(Label_download, 1);
    download->addWidget(Image_download);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label_info);
    layout->addWidget(RB_install);
    layout->addWidget(RB_download);
    layout->addLayout(download);
    layout->addLayout(buttons);
    ChoiceChange();
}

void TD_BDE_DL::ChoiceChange()
{
    Label_download->setVisible(RB_download->isChecked());
    Image_download->setVisible(RB_download->isChecked());
}

bool TD_BDE_DL::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == Label_download || watched == Image_download) && event->type() == QEvent::MouseButtonRelease) {
        Shell::Open(QUrl(DownloadUrl()));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TD_BDE_DL::OfferInstall(QWidget* parent)
{
    TD_BDE_DL dialog(parent);
    dialog.exec();
    if (!dialog.Confirmed)
        return;
    if (dialog.RB_install->isChecked()) {
        Dialogs::PlainMessage(parent, Dialogs::Plain::Information, InstallText(), dialog.windowTitle());
    } else {
        Shell::Open(QUrl(DownloadUrl()));
    }
}
