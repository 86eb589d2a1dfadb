#pragma once

#include <QSize>

class QPlainTextEdit;

// Sizes a dialog's read-only text area to the text it holds: never below its design size,
// wider for long lines up to a limit, taller until every line shows; a text taller than the
// screen has room for scrolls instead.
void FitTextArea(QPlainTextEdit* area, const QSize& designSize);
