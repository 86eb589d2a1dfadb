#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The seam between the program's own dialogs and the tests. While scripted, the message and
// confirmation dialogs (and plain message boxes and file choosers) do not open: they record the
// text they would have shown and take their answer from a queue.
class DialogScript
{
public:
    static bool Active();
    static void Start(); // begin scripting, with empty queues and records
    static void Stop();

    static void QueueAnswers(const QList<bool>& answers); // next answers of Ask()
    static void QueueFileNames(const QStringList& names); // next results of file/folder choosers ("" = cancelled)
    static void QueueTexts(const QStringList& texts); // next results of text prompts ("" = cancelled)

    static QStringList Shown(); // every text shown or asked, in order
    static QString LastShown();
    static int PendingAnswers();

    // Used by the dialogs themselves.
    static void Record(const QString& text);
    static bool TakeAnswer(const QString& question); // throws when the queue is empty
    static QString TakeFileName(const QString& caption); // throws when the queue is empty
    static QString TakeText(const QString& caption); // throws when the queue is empty
};
