#include "gui/widgets/ThemeIcon.h"

#include <QWidget>

QIcon ThemeIcon(const QWidget* widget, const char* themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), widget->style()->standardIcon(fallback));
}
