#pragma once

#include <QString>
#include <stdexcept>

// What kind of failure an error is, for callers that act on it; the message is for the user.
enum class QbErrorKind
{
    Other,
    WrongKey, // the database's password is missing or wrong
    InUse, // another program or connection holds the database
    NotADatabase, // the file is missing, foreign or damaged
    Io, // reading or writing a file failed
    Engine, // the database engine failed
    Stopped // the user asked the operation to stop, and it did before changing anything
};

// The one exception type of the program: every failure carries a message text that the
// application's general handler (or a caller) shows to the user, and its kind.
class QbError : public std::runtime_error
{
public:
    explicit QbError(const QString& message, QbErrorKind kind = QbErrorKind::Other)
        : std::runtime_error(message.toStdString())
        , m_message(message)
        , m_kind(kind)
    {
    }
    const QString& Message() const noexcept { return m_message; }
    QbErrorKind Kind() const noexcept { return m_kind; }

private:
    QString m_message;
    QbErrorKind m_kind;
};
