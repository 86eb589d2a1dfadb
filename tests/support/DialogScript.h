#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The scripted dialog seam of the tests: while started, the dialog facade opens nothing: every
// message, question, file or object choice records its text and takes its answer from a queue.
// Windows with controls of their own are driven by QTest.
class DialogScript
{
public:
    static bool Active();
    static void Start(); // installs the scripted seam, with empty queues and records
    static void Stop(); // uninstalls it

    static void QueueAnswers(const QList<bool>& answers); // next answers of every question
    static void QueueFileNames(const QStringList& names); // next results of file/folder choosers ("" = cancelled)
    static void QueueTexts(const QStringList& texts); // next object choices or texts ("" = cancelled)

    static QStringList Shown(); // every text shown or asked, in order
    static QString LastShown();
    static int PendingAnswers();

    // What the scripted seam does with each question; a question without an answer throws.
    static void Record(const QString& text);
    static bool TakeAnswer(const QString& question);
    static QString TakeFileName(const QString& caption);
    static QString TakeText(const QString& caption);
};
