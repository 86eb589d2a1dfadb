#pragma once

#include <QString>
#include <stdexcept>

// The one exception type of the program: every failure carries a message text that the
// application's general handler (or a caller) shows to the user.
class QbError : public std::runtime_error
{
public:
    explicit QbError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    const QString& Message() const noexcept { return m_message; }

private:
    QString m_message;
};
