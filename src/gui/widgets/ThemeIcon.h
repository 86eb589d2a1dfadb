#pragma once

#include <QIcon>
#include <QStyle>

class QAction;
class QToolBar;
class QWidget;

// The program's own drawing for a theme icon name; null for a name it has none for.
QIcon ProgramIcon(const char* themeName);
// The desktop theme's icon of that name; where the theme has none, the program's own drawing,
// else the style's standard pixmap.
QIcon ThemeIcon(const QWidget* widget, const char* themeName, QStyle::StandardPixmap fallback);

// A tool-bar command whose action and button both carry `name` as their object name (so tests and
// scripts find either), with `hint` as its text, tool tip and status tip.
QAction* AddNamedAction(QToolBar* bar, const char* name, const char* hint, const char* themeName,
                        QStyle::StandardPixmap fallback);
