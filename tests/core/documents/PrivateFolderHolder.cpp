// Test helper: makes an object's private folder with a file in it, prints the folder's path and
// waits to be killed, as a Quietbox killed while an object is open leaves it.
#include "core/common/PrivateFolder.h"
#include "core/documents/OleContainer.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quietbox"));
    TPrivateFolder folder(TOleContainer::FolderPrefix);
    QFile file(folder.Path() + QStringLiteral("/object.txt"));
    if (!file.open(QIODevice::WriteOnly) || file.write("secret") != 6)
        return 1;
    file.close();
    std::printf("%s\n", QFile::encodeName(folder.Path()).constData());
    std::fflush(stdout);
    for (;;)
        ::pause();
}
