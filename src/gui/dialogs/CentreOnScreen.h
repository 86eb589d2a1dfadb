#pragma once

class QWidget;

// Moves a dialog to the centre of the work area of its parent's screen (or the primary one).
void CentreOnScreen(QWidget* dialog);
