#include "gui/documents/db_rtf.h"

#include "core/common/QbError.h"
#include "gui/documents/O_db_rtf.h"

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

void TF_db_rtf::done(int result)
{
    try {
        Odb_rtf1->CloseDocument();
    } catch (const QbError& e) {
        ShowPlainMessage(this, e.Message());
        return;
    }
    QDialog::done(result);
}
