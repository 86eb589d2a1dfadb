// The window that edits one rich-text document.
#include "gui/documents/db_rtf.h"

#include "core/common/QbError.h"
#include "core/documents/DocFiles.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/O_db_rtf.h"

#include <QFileDialog>
#include <QIODevice>
#include <QVBoxLayout>

TF_db_rtf::TF_db_rtf(TDatabaseConnection& connection, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("F_db_rtf"));
    setWindowTitle(QStringLiteral("Text document edit"));
    setModal(true);
    resize(760, 520);
    Odb_rtf1 = new TOdb_rtf(connection, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Odb_rtf1);
    connect(Odb_rtf1, &TOdb_rtf::ExitClicked, this, &QDialog::close);
}

void TF_db_rtf::EditText(const QString& key, const QString& caption)
{
    Odb_rtf1->SetTableName(QStringLiteral("Docs"));
    Odb_rtf1->SetKeyFieldName(QStringLiteral("Doc_id"));
    Odb_rtf1->SetBlobFieldName(QStringLiteral("Image"));
    Odb_rtf1->SetViewOnly(false);
    setWindowTitle(caption);
    Odb_rtf1->OpenDocument(key);
    exec();
}

QString TF_db_rtf::WriteBackFailedText(const QString& error)
{
    return error + QStringLiteral("\n\nTry again?");
}

QString TF_db_rtf::DiscardChangeText()
{
    return QStringLiteral("Discard the changed text?");
}

void TF_db_rtf::done(int result)
{
    const QString caption = QStringLiteral("Quietbox");
    for (;;) {
        try {
            Odb_rtf1->CloseDocument();
            QDialog::done(result);
            return;
        } catch (const QbError& e) {
            if (Dialogs::PlainQuestion(this, caption, WriteBackFailedText(e.Message())))
                continue;
            QFileDialog dialog(this, QStringLiteral("Save the text as"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setNameFilters({QStringLiteral("Web pages (*.html)"), QStringLiteral("All files (*)")});
            dialog.setDefaultSuffix(QStringLiteral("html"));
            const QString file = Dialogs::ChooseFile(dialog);
            if (!file.isEmpty()) {
                const QByteArray bytes = Odb_rtf1->RichText();
                try {
                    DocFiles::WriteFile(file, true, [&](QIODevice& out) {
                        if (out.write(bytes) != bytes.size())
                            throw QbError(QStringLiteral("Can not write \"%1\": %2").arg(file, out.errorString()),
                                          QbErrorKind::Io);
                    });
                } catch (const QbError& saveError) {
                    Dialogs::PlainMessage(this, Dialogs::Plain::Warning, saveError.Message());
                    continue;
                }
            } else if (!Dialogs::PlainQuestion(this, caption, DiscardChangeText())) {
                return;
            }
            Odb_rtf1->ForgetChanges();
        }
    }
}
