#include "gui/settings/about.h"

#include "core/shell/Shell.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QUrl>

const char* const TO_about::WebPage = "https://quietbox.example.org/";

TO_about::TO_about(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    auto* Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QIcon(QStringLiteral(":/quietbox.png")).pixmap(64, 64));
    layout->addWidget(Image1, 0, 0, 3, 1, Qt::AlignTop);

    auto* Label_version = new QLabel(QStringLiteral("Quietbox v 2.1"), this);
    Label_version->setObjectName(QStringLiteral("Label_version"));
    QFont bold = Label_version->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    Label_version->setFont(bold);
    Label_version->setStyleSheet(QStringLiteral("color: red;"));
    layout->addWidget(Label_version, 0, 1);

    const QString url = QString::fromLatin1(WebPage);
    auto* Label_web = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(url), this);
    Label_web->setObjectName(QStringLiteral("Label_web"));
    Label_web->setCursor(Qt::PointingHandCursor);
    Label_web->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(Label_web, &QLabel::linkActivated, this, [](const QString& link) { Shell::Open(QUrl(link)); });
    layout->addWidget(Label_web, 1, 1);

    auto* Label_thanks = new QLabel(QStringLiteral("Thank you for keeping your private papers with Quietbox."), this);
    Label_thanks->setObjectName(QStringLiteral("Label_thanks"));
    Label_thanks->setWordWrap(true);
    layout->addWidget(Label_thanks, 2, 1);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(1, 1);
}
