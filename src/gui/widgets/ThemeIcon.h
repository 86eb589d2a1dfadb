#pragma once

#include <QIcon>
#include <QStyle>

class QWidget;

// The desktop theme's icon of that name, or the style's standard pixmap where the theme has none.
QIcon ThemeIcon(const QWidget* widget, const char* themeName, QStyle::StandardPixmap fallback);
