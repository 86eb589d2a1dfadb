#include "core/settings/SettingsModel.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
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

TEST(SettingsModel, TypedWritesStoreWhatTheQueriesReadAndSignalOnlyAChange)
{
    TSettingsModel model;
    Loaded(model, "<SETTINGS><BASE_LIST><BASE NAME=\"A\" PATH=\"/a\"/></BASE_LIST></SETTINGS>");
    QSignalSpy list(&model, &TSettingsModel::DatabaseListChanged);
    QSignalSpy policy(&model, &TSettingsModel::OpenPolicyChanged);
    QSignalSpy placement(&model, &TSettingsModel::PlacementChanged);
    QSignalSpy privacy(&model, &TSettingsModel::PrivacyChanged);
    model.SetClipboardClearSeconds(0); // already off
    model.SetLockOnSuspend(true);
    model.SetLockOnSuspend(true);
    model.SetDelay(300);
    model.SetWrongPasswordMode(SettingsKey::DropDb);
    model.SetAttempts(4);
    model.SetAttempts(4);
    model.SetDefaultDbName(QStringLiteral("A"));
    model.SetDefaultHidden(true);
    model.SetPlacement(QRect(1, 2, 300, 400), QSize(50, 60));
    model.SetPlacement(QRect(1, 2, 300, 400), QSize(50, 60));
    model.SetDatabaseEntry(model.FindDatabaseEntry(QStringLiteral("a")), QStringLiteral("B"), QStringLiteral("/b"));
    EXPECT_EQ(model.StoredDelay(), 300);
    EXPECT_EQ(model.AttemptsLimit(), 4);
    EXPECT_EQ(model.DatabasePath(QStringLiteral("B")), QStringLiteral("/b"));
    EXPECT_EQ(model.Root().GetAttr(SettingsKey::ListHeight), QStringLiteral("60"));
    EXPECT_EQ(policy.size(), 3) << "the same attempts twice is one change";
    EXPECT_EQ(list.size(), 3);
    EXPECT_EQ(placement.size(), 1);
    EXPECT_EQ(privacy.size(), 1);
    model.SetWrongPasswordMode(QString());
    EXPECT_FALSE(model.Root().AttrNames().contains(SettingsKey::WrongPasswordMode)) << "restrict is no key";
    model.SetGettingStartedWanted(false);
    EXPECT_EQ(model.Root().GetAttr(SettingsKey::GettingStarted), SettingsKey::No);
}

} // namespace
