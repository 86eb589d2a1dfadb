#include "core/settings/SettingsModel.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

TSettingsModel& Loaded(TSettingsModel& model, const char* text)
{
    const QString file = TSettingsFile::SettingsFileName();
    QDir().mkpath(QFileInfo(file).absolutePath());
    qbtest::WriteAll(file, text);
    model.Load();
    return model;
}

TEST(SettingsModel, QueriesApplyTheLimitsOfTheDialogsControls)
{
    struct Row
    {
        const char* settings;
        int align;
        int delay; // 0: none applies
        int attempts;
        int limit;
    };
    const Row rows[] = {
        {"<SETTINGS/>", 1, 0, 2, -1},
        {"<SETTINGS ALIGN=\"x\" DELAY=\"200\" RP_MODE=\"DROP_DB\"/>", 1, 0, 2, 2},
        {"<SETTINGS ALIGN=\"7\" DELAY=\"201\" RP_MODE=\"DROP_DB\" FATTEMPTS=\"1\"/>", 7, 201, 2, 2},
        {"<SETTINGS ALIGN=\"0\" DELAY=\"999\" RP_MODE=\"DROP_DB\" FATTEMPTS=\"4\"/>", 0, 999, 4, 4},
        {"<SETTINGS DELAY=\"1000\" RP_MODE=\"DROP_DB\" FATTEMPTS=\"9\"/>", 1, 0, 5, 5},
        {"<SETTINGS DELAY=\"abc\" RP_MODE=\"OPEN_DEFAULT\" FATTEMPTS=\"4\"/>", 1, 0, 4, -1},
    };
    for (const Row& row : rows) {
        TSettingsModel model;
        Loaded(model, row.settings);
        EXPECT_EQ(model.Align(), row.align) << row.settings;
        EXPECT_EQ(model.StoredDelay().value_or(0), row.delay) << row.settings;
        EXPECT_EQ(model.Attempts(), row.attempts) << row.settings;
        EXPECT_EQ(model.AttemptsLimit(), row.limit) << row.settings;
    }
}

TEST(SettingsModel, DatabaseListHidesOnlyTheExactDefaultAndLooksNamesUpIgnoringCase)
{
    TSettingsModel model;
    Loaded(model,
           "<SETTINGS DEFAULT_DB=\"Hidden\" DEFAULT_INVISIBLE=\"Y\" OPEN_LAST_USED=\"y\"><BASE_LIST>"
           "<BASE NAME=\"A\" PATH=\"/a\"/><OTHER NAME=\"B\" PATH=\"/b\"/><BASE NAME=\"Hidden\" PATH=\"/h\"/>"
           "<BASE NAME=\"hidden\" PATH=\"/h2\"/></BASE_LIST></SETTINGS>");
    EXPECT_EQ(model.ListedDatabaseNames(), (QStringList{QStringLiteral("A"), QStringLiteral("hidden")}));
    EXPECT_EQ(model.DatabasePath(QStringLiteral("b")), QStringLiteral("/b")) << "any node name";
    EXPECT_EQ(model.DatabasePath(QStringLiteral("HIDDEN")), QStringLiteral("/h")) << "the first match";
    EXPECT_EQ(model.FindDatabaseEntry(QStringLiteral("none")), nullptr);
    EXPECT_FALSE(model.OpenLastUsedWanted()) << "only \"Y\" counts";
    model.Root().DeleteAttr(SettingsKey::DefaultInvisible);
    EXPECT_EQ(model.ListedDatabaseNames().size(), 3);
}

} // namespace
