#include "gui/documents/ExportAll.h"

#include "core/documents/DocFiles.h"
#include "gui/database/JobProgress.h"
#include "gui/dialogs/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>
#include <memory>

namespace ExportAll {

QString Report(const QString& folder, const QStringList& written, const QString& error)
{
    QString text = error.isEmpty() ? QString() : error + QStringLiteral("\n\n");
    text += written.isEmpty()
        ? QStringLiteral("No document was written to \"%1\".").arg(QDir::toNativeSeparators(folder))
        : QStringLiteral("Written to \"%1\":\n").arg(QDir::toNativeSeparators(folder))
            + written.join(QLatin1Char('\n'));
    return text;
}

void Run(QWidget* parent, TDatabaseConnection& connection)
{
    const QString caption = QStringLiteral("Export all documents into an empty folder");
    QFileDialog dialog(parent, caption);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const QString folder = Dialogs::ChooseFile(dialog);
    if (folder.isEmpty())
        return;
    // Filled by the job, read once it has ended.
    auto written = std::make_shared<QStringList>();
    TJobProgress::Run(
        parent, QStringLiteral("Exporting the documents..."),
        [&connection, folder, written](TJobContext& context) {
            DocFiles::ExportAll(connection, folder, *written, [&context](qint64 done, qint64 total) {
                context.Report(total > 0 ? int(done * 100 / total) : 100);
                return !context.StopRequested();
            });
        },
        [folder, written](const QString& error) { Dialogs::ShowMessage(Report(folder, *written, error)); },
        true); // it stops between files, and what was written is listed
}

} // namespace ExportAll
