// The window TF_db_rtf that edits one rich-text document in its own TOdb_rtf frame.
#pragma once

#include <QDialog>

class TDatabaseConnection;
class TOdb_rtf;

class TF_db_rtf : public QDialog
{
    Q_OBJECT
public:
    explicit TF_db_rtf(TDatabaseConnection& connection, QWidget* parent = nullptr);

    // Opens the document key of the table Docs in edit mode under the caption (the document's
    // name) and shows the window modally; the text is written back when the window closes.
    // A document whose content cannot be read raises before the window shows.
    void EditText(const QString& key, const QString& caption);

protected:
    // Every way of closing ends here. A failed write-back keeps the text until it is stored,
    // saved to a file of the user's choice or let go; unanswered (as while the program ends),
    // the window keeps its text.
    void done(int result) override;

    static QString WriteBackFailedText(const QString& error);
    static QString DiscardChangeText();

private:
    TOdb_rtf* Odb_rtf1 = nullptr;
};
