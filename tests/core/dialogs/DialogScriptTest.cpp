#include "core/dialogs/DialogScript.h"

#include "core/common/QbError.h"

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
