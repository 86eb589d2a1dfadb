#pragma once

// "Export all documents" of Database control: every document of the open database into an empty
// folder the user chooses, on the job runner with a window that can stop it; what was written is
// listed afterwards.
#include <QString>
#include <QStringList>

class QWidget;
class TDatabaseConnection;

namespace ExportAll {

// Asks for the folder, then starts the export and returns; the list of files written (or why it
// ended early) is shown when it has ended.
void Run(QWidget* parent, TDatabaseConnection& connection);
// What is shown when it has ended: the files written and, when it ended early, why.
QString Report(const QString& folder, const QStringList& written, const QString& error);

} // namespace ExportAll
