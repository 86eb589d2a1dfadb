#pragma once

#include <QIcon>
#include <QStyle>

class QAction;
class QToolBar;
class QWidget;

// The desktop theme's icon of that name, or the style's standard pixmap where the theme has none.
QIcon ThemeIcon(const QWidget* widget, const char* themeName, QStyle::StandardPixmap fallback);

// A tool-bar command whose action and button both carry `name` as their object name (so tests and
// scripts find either), with `hint` as its text, tool tip and status tip.
QAction* AddNamedAction(QToolBar* bar, const char* name, const char* hint, const char* themeName,
                        QStyle::StandardPixmap fallback);
