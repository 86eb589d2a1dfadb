#include "app/QuietboxApplication.h"

#include "core/common/QbError.h"
#include "gui/dialogs/Dialogs.h"

#include <new>

TQuietboxApplication::TQuietboxApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TQuietboxApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const QbError& e) {
        ShowFailure(e.Message());
    } catch (const std::bad_alloc&) {
        ShowFailure(QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        ShowFailure(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

void TQuietboxApplication::ShowFailure(const QString& text)
{
    if (Dialogs::MessageInstalled())
        Dialogs::ShowMessage(text);
    else
        Dialogs::PlainMessage(nullptr, Dialogs::Plain::Critical, text);
}
