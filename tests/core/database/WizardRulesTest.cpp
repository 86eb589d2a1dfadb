#include "core/database/wz_rules.h"

#include <gtest/gtest.h>

using namespace WizardRules;

namespace {

NewDatabaseState Named(const QString& name, int page = 0)
{
    NewDatabaseState s;
    s.name = name;
    s.current = page;
    return s;
}

} // namespace

TEST(WizardRulesTest, BaseButtonsFollowThePage)
{
    const Buttons first = BaseButtons(0, 4);
    EXPECT_FALSE(first.prev);
    EXPECT_TRUE(first.next);
    EXPECT_FALSE(first.finish);
    const Buttons last = BaseButtons(3, 4);
    EXPECT_TRUE(last.prev);
    EXPECT_FALSE(last.next);
    EXPECT_TRUE(last.finish);
    EXPECT_TRUE(last.cancel);
}

TEST(WizardRulesTest, NextNeedsANameAndForAnArchiveItsFile)
{
    EXPECT_FALSE(NewDatabaseButtons(Named(QStringLiteral("   "))).next);
    EXPECT_TRUE(NewDatabaseButtons(Named(QStringLiteral(" Work "))).next);
    NewDatabaseState s = Named(QStringLiteral("Work"));
    s.fromArchive = true;
    s.archive = QStringLiteral("  ");
    EXPECT_FALSE(NewDatabaseButtons(s).next);
    s.archive = QStringLiteral("/tmp/a.qba");
    EXPECT_TRUE(NewDatabaseButtons(s).next);
    EXPECT_FALSE(NewDatabaseButtons(Named(QStringLiteral("Work"), 3)).next) << "no Next on the last page";
}

TEST(WizardRulesTest, OkNeedsTwoEqualNonBlankPasswordsWhenProtected)
{
    struct Row
    {
        const char* one;
        const char* two;
        bool ok;
    };
    for (const Row& row :
         {Row{"SECRET", "SECRET", true}, Row{"SECRET", "SECRET1", false}, Row{"SECRET", "SECRAT", false},
          Row{"   ", "   ", false}, Row{"", "", false}, Row{"SECRET", "secret", false}}) {
        NewDatabaseState s = Named(QStringLiteral("Work"), 3);
        s.isProtected = true;
        s.password1 = QString::fromLatin1(row.one);
        s.password2 = QString::fromLatin1(row.two);
        EXPECT_EQ(NewDatabaseButtons(s).finish, row.ok) << row.one << " / " << row.two;
    }
    EXPECT_TRUE(NewDatabaseButtons(Named(QStringLiteral("Work"), 3)).finish) << "unprotected";
    EXPECT_FALSE(NewDatabaseButtons(Named(QStringLiteral("Work"), 2)).finish) << "not on the last page";

    NewDatabaseState archive = Named(QStringLiteral("Work"), 3);
    archive.fromArchive = true;
    archive.archive = QStringLiteral("a.qba");
    archive.isProtected = true; // ignored: the archive brings its own protection
    EXPECT_TRUE(NewDatabaseButtons(archive).finish);
}

TEST(WizardRulesTest, AnArchivePassesOverThePasswordPageBothWays)
{
    EXPECT_EQ(PageAfterEntering(true, 2, 1), 3);
    EXPECT_EQ(PageAfterEntering(true, 2, 3), 1);
    EXPECT_EQ(PageAfterEntering(false, 2, 1), -1);
    EXPECT_EQ(PageAfterEntering(true, 1, 0), -1);
    EXPECT_EQ(PageAfterEntering(true, 3, 1), -1);
}

TEST(WizardRulesTest, ANameMustStayOneFolder)
{
    for (const char* bad : {"", ".", "..", "a/b", "../x", "/abs"})
        EXPECT_FALSE(IsUsableFolderName(QString::fromLatin1(bad))) << bad;
    for (const QString& good : {QStringLiteral("Work"), QStringLiteral("Work.2005"), QStringLiteral("мої документи"),
                                QStringLiteral("..a"), QStringLiteral("a b")})
        EXPECT_TRUE(IsUsableFolderName(good)) << good.toStdString();
}

TEST(WizardRulesTest, TheFirstLocationIsAFolderTheUserCanWrite)
{
    const auto only = [](const QString& ok) { return [ok](const QString& folder) { return folder == ok; }; };
    EXPECT_EQ(InitialLocation(QStringLiteral("/srv/a/b"), QStringLiteral("/h"), only(QStringLiteral("/srv/a"))),
              QStringLiteral("/srv/a"));
    EXPECT_EQ(InitialLocation(QStringLiteral("/home/me"), QStringLiteral("/home/me"), only(QStringLiteral("/srv"))),
              QStringLiteral("/home/me"));
    EXPECT_EQ(InitialLocation(QStringLiteral("/"), QStringLiteral("/h"), only(QStringLiteral("/"))),
              QStringLiteral("/"));
}
