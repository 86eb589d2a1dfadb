// The include rules between the layers of src/: core below gui below app, no QtWidgets in
// core, and no include circle between units (a header with its source) of different folders.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Include
{
    QString from; // path below the root
    QString to; // path below the root, or "<Name>" for a system include
};

struct Tree
{
    QStringList files;
    QList<Include> includes;
};

QString UnitOf(const QString& path)
{
    const int dot = int(path.lastIndexOf(QLatin1Char('.')));
    return dot > path.lastIndexOf(QLatin1Char('/')) ? path.left(dot) : path;
}

QString FolderOf(const QString& path)
{
    const int slash = int(path.lastIndexOf(QLatin1Char('/')));
    return slash < 0 ? QStringLiteral(".") : path.left(slash);
}

Tree Scan(const QString& root)
{
    Tree tree;
    QHash<QString, QString> texts;
    QHash<QString, QStringList> byName;
    const QDir base(root);
    QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = base.relativeFilePath(it.next());
        QFile f(it.filePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        texts.insert(path, QString::fromUtf8(f.readAll()));
        byName[QFileInfo(path).fileName()] << path;
        tree.files << path;
    }
    static const QRegularExpression quoted(QStringLiteral(R"re(^\s*#\s*include\s+"([^"]+)")re"),
                                           QRegularExpression::MultilineOption);
    static const QRegularExpression angled(QStringLiteral(R"re(^\s*#\s*include\s+<([^>]+)>)re"),
                                           QRegularExpression::MultilineOption);
    for (auto i = texts.cbegin(); i != texts.cend(); ++i) {
        const QString& from = i.key();
        for (auto m = quoted.globalMatch(i.value()); m.hasNext();) {
            const QString inc = m.next().captured(1);
            QString target;
            if (texts.contains(inc))
                target = inc;
            else if (const QString local = QDir::cleanPath(FolderOf(from) + QLatin1Char('/') + inc);
                     texts.contains(local))
                target = local;
            else if (byName.value(QFileInfo(inc).fileName()).size() == 1)
                target = byName.value(QFileInfo(inc).fileName()).first();
            if (!target.isEmpty())
                tree.includes.append({from, target});
        }
        for (auto m = angled.globalMatch(i.value()); m.hasNext();)
            tree.includes.append({from, QLatin1Char('<') + m.next().captured(1) + QLatin1Char('>')});
    }
    return tree;
}

// A header of the QtWidgets module: the module itself, a path into it, or a header that only
// the module's folder holds (a few old lower-case names are shared with QtGui and QtCore).
bool IsWidgetsHeader(const QString& angled)
{
    const QString name = angled.mid(1, angled.size() - 2);
    if (name == QStringLiteral("QtWidgets") || name.startsWith(QStringLiteral("QtWidgets/")))
        return true;
    const auto in = [&name](const char* folder) {
        return QFileInfo::exists(QString::fromUtf8(folder) + QLatin1Char('/') + name);
    };
    return in(QB_QTWIDGETS_DIR) && !in(QB_QTGUI_DIR) && !in(QB_QTCORE_DIR);
}

// "lower: upper" breaches: a file under the lower prefix that includes one under the upper one.
QStringList Breaches(const Tree& tree)
{
    struct Rule
    {
        const char* lower;
        const char* upper;
    };
    static const Rule rules[] = {{"core/", "gui/"}, {"core/", "app/"}, {"gui/", "app/"}};
    QStringList out;
    for (const Include& inc : tree.includes) {
        for (const Rule& r : rules)
            if (inc.from.startsWith(QLatin1String(r.lower)) && inc.to.startsWith(QLatin1String(r.upper)))
                out << inc.from + QStringLiteral(" includes ") + inc.to;
        if (inc.from.startsWith(QStringLiteral("core/")) && inc.to.startsWith(QLatin1Char('<'))
            && IsWidgetsHeader(inc.to))
            out << inc.from + QStringLiteral(" includes the widgets header ") + inc.to;
    }
    return out;
}

// Every set of units that include each other in a circle and lie in more than one folder.
QStringList CrossFolderCircles(const Tree& tree)
{
    QHash<QString, QSet<QString>> edges;
    QSet<QString> nodes;
    for (const QString& f : tree.files)
        nodes.insert(UnitOf(f));
    for (const Include& inc : tree.includes)
        if (!inc.to.startsWith(QLatin1Char('<')) && UnitOf(inc.from) != UnitOf(inc.to))
            edges[UnitOf(inc.from)].insert(UnitOf(inc.to));

    // Tarjan's strongly connected components.
    QHash<QString, int> index, low;
    QStringList stack;
    QSet<QString> onStack;
    int counter = 0;
    QStringList out;
    std::function<void(const QString&)> strong = [&](const QString& v) {
        index[v] = low[v] = counter++;
        stack << v;
        onStack.insert(v);
        for (const QString& w : edges.value(v)) {
            if (!index.contains(w)) {
                strong(w);
                low[v] = std::min(low[v], low[w]);
            } else if (onStack.contains(w)) {
                low[v] = std::min(low[v], index[w]);
            }
        }
        if (low[v] != index[v])
            return;
        QStringList component;
        QSet<QString> folders;
        QString w;
        do {
            w = stack.takeLast();
            onStack.remove(w);
            component << w;
            folders.insert(FolderOf(w));
        } while (w != v);
        if (component.size() > 1 && folders.size() > 1) {
            component.sort();
            out << component.join(QLatin1Char(' '));
        }
    };
    QStringList sorted(nodes.begin(), nodes.end());
    sorted.sort();
    for (const QString& v : sorted)
        if (!index.contains(v))
            strong(v);
    return out;
}

TEST(Layering, SourceTreeKeepsTheRules)
{
    const Tree tree = Scan(QStringLiteral(QB_SOURCE_DIR));
    ASSERT_GT(tree.files.size(), 20) << "the source tree was not found";
    EXPECT_EQ(Breaches(tree), QStringList());
    EXPECT_EQ(CrossFolderCircles(tree), QStringList());
}

// The checks find what they are for, in a small tree of their own.
TEST(Layering, ChecksFindBreachesAndCircles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&dir](const char* path, const char* text) {
        const QString file = dir.filePath(QString::fromLatin1(path));
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    struct Row
    {
        const char* what;
        std::vector<std::pair<const char*, const char*>> files;
        int breaches;
        int circles;
    };
    const std::vector<Row> rows{
        {"clean", {{"core/a/A.h", "#include <QString>\n"}, {"gui/b/B.cpp", "#include \"core/a/A.h\"\n"}}, 0, 0},
        {"core includes gui", {{"core/a/A.cpp", "#include \"gui/b/B.h\"\n"}, {"gui/b/B.h", ""}}, 1, 0},
        {"core includes app", {{"core/a/A.cpp", "#include \"app/M.h\"\n"}, {"app/M.h", ""}}, 1, 0},
        {"gui includes app", {{"gui/b/B.cpp", "  #  include \"app/M.h\"\n"}, {"app/M.h", ""}}, 1, 0},
        {"widgets header in core", {{"core/a/A.h", "#include <QDialog>\n#include <QtWidgets/QLabel>\n"}}, 2, 0},
        {"gui header in core", {{"core/a/A.h", "#include <QImage>\n#include <qaction.h>\n"}}, 0, 0},
        {"circle across folders",
         {{"gui/b/B.h", ""},
          {"gui/b/B.cpp", "#include \"gui/c/C.h\"\n"},
          {"gui/c/C.cpp", "#include \"gui/b/B.h\"\n"},
          {"gui/c/C.h", ""}},
         0,
         1},
        {"circle in one folder",
         {{"gui/b/B.h", ""},
          {"gui/b/B.cpp", "#include \"C.h\"\n"},
          {"gui/b/C.h", ""},
          {"gui/b/C.cpp", "#include \"B.h\"\n"}},
         0,
         0},
    };
    for (const Row& row : rows) {
        QDir(dir.path()).removeRecursively();
        for (const auto& [path, text] : row.files)
            write(path, text);
        const Tree tree = Scan(dir.path());
        EXPECT_EQ(Breaches(tree).size(), row.breaches) << row.what;
        EXPECT_EQ(CrossFolderCircles(tree).size(), row.circles) << row.what;
    }
}

} // namespace
