#include "gui/widgets/ThemeIcon.h"

#include <QAction>
#include <QToolBar>
#include <QWidget>

QIcon ThemeIcon(const QWidget* widget, const char* themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), widget->style()->standardIcon(fallback));
}

QAction* AddNamedAction(QToolBar* bar, const char* name, const char* hint, const char* themeName,
                        QStyle::StandardPixmap fallback)
{
    QAction* a = bar->addAction(ThemeIcon(bar, themeName, fallback), QString::fromLatin1(hint));
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(QString::fromLatin1(hint));
    a->setStatusTip(QString::fromLatin1(hint));
    if (QWidget* button = bar->widgetForAction(a))
        button->setObjectName(QString::fromLatin1(name));
    return a;
}
