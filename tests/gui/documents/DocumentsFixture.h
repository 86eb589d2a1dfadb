#pragma once

#include "core/database/DatabaseSession.h"
#include "core/database/DocStore.h"
#include "core/settings/OrbPigger.h"
#include "gui/documents/doc_list.h"
#include "support/AppFixture.h"
#include "support/Child.h"
#include "support/TempDatabase.h"

#include <QTest>
#include <functional>

namespace qbtest {

// The program's windows over a fresh database that fill() has put documents into, opened
// through the main window.
class DocumentsFixture : public AppFixture
{
protected:
    TO_doc_list* List() const { return Child<TO_doc_list>(Main(), "O_doc_list1"); }
    TDicGrid* Grid() const { return Child<TDicGrid>(List(), "Grid1"); }
    TDicQuery* Query() const { return Child<TDicQuery>(List(), "Q1"); }
    static TDatabaseConnection& ADB() { return TDatabaseConnection::ADB(); }

    void OpenDatabase(const std::function<void(TDocStore&)>& fill = {})
    {
        StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
        const QString folder = FreshDatabase();
        if (fill) {
            TDatabaseConnection c;
            c.SetParams(folder);
            c.Open();
            TDocStore store(c);
            c.Exec(QStringLiteral("BEGIN")); // one commit for thousands of rows
            fill(store);
            c.Exec(QStringLiteral("COMMIT"));
            c.Close();
        }
        TOrbPigger* entry = Settings()->Model().BaseListNode()->AddChild(QStringLiteral("BASE"));
        entry->SetAttr(QStringLiteral("NAME"), QStringLiteral("Docs"));
        entry->SetAttr(QStringLiteral("PATH"), folder);
        Main()->OpenDatabaseDirect(QStringLiteral("Docs"), folder, QString());
        ASSERT_TRUE(Main()->DatabaseOpen()) << DialogScript::Shown().join(QLatin1Char('|')).toStdString();
        Main()->show();
        Main()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Main()));
        Grid()->setFocus();
    }
};

} // namespace qbtest
