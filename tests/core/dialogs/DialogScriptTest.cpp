#include "support/DialogScript.h"

#include "core/common/QbError.h"
#include "core/dialogs/DialogSeam.h"

#include <gtest/gtest.h>

TEST(DialogScript, AnswersComeInOrderAndMissingOnesThrow)
{
    DialogScript::Start();
    DialogScript::QueueAnswers({true, false});
    EXPECT_TRUE(DialogScript::TakeAnswer(QStringLiteral("first?")));
    EXPECT_FALSE(DialogScript::TakeAnswer(QStringLiteral("second?")));
    EXPECT_THROW(DialogScript::TakeAnswer(QStringLiteral("third?")), QbError);
    EXPECT_EQ(DialogScript::Shown(),
              QStringList({QStringLiteral("first?"), QStringLiteral("second?"), QStringLiteral("third?")}));
    DialogScript::Stop();
    EXPECT_FALSE(DialogScript::Active());
    EXPECT_TRUE(DialogScript::Shown().isEmpty());
}

TEST(DialogScript, StartInstallsTheScriptedSeamAndStopRemovesOnlyIt)
{
    DialogScript::Start();
    ASSERT_NE(TDialogSeam::Installed(), nullptr);
    DialogScript::QueueFileNames({QStringLiteral("/a")});
    EXPECT_EQ(TDialogSeam::Installed()->ChooseFile(QStringLiteral("Where?")), QStringLiteral("/a"));
    TDialogSeam::Installed()->PlainMessage(QStringLiteral("told"));
    DialogScript::QueueAnswers({true});
    EXPECT_TRUE(TDialogSeam::Current()->ConfirmChecked(QStringLiteral("Sure?")));
    EXPECT_EQ(DialogScript::Shown(),
              QStringList({QStringLiteral("Where?"), QStringLiteral("told"), QStringLiteral("Sure?")}));
    DialogScript::Stop();
    EXPECT_EQ(TDialogSeam::Installed(), nullptr);

    struct Own : TDialogSeam
    {
        void Message(const QString&) override { }
        bool Confirm(const QString&) override { return true; }
        QString ChooseFile(const QString&) override { return {}; }
        QString TypeText(const QString&) override { return {}; }
    } own;
    TDialogSeam::Install(&own);
    DialogScript::Stop();
    EXPECT_EQ(TDialogSeam::Installed(), &own) << "a seam of another owner stays";
    TDialogSeam::Install(nullptr);
}
