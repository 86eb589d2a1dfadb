#pragma once

class QWidget;

// Moves a window, frame included, to the centre of the work area of its parent's screen (or
// the primary one). The one centring of the program's dialogs.
void CentreOnScreen(QWidget* dialog);
