#include "core/common/SingleInstance.h"

#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// The helper side: claims in QB_INSTANCE_DIR, says so, and as the one instance waits for a request.
TEST(SingleInstanceProbe, Claim)
{
    const QString folder = qEnvironmentVariable("QB_INSTANCE_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "run as the helper of another test";
    TSingleInstance instance(QStringLiteral("probe"), folder);
    QEventLoop loop;
    QObject::connect(&instance, &TSingleInstance::Requested, &loop, [&loop](const QString& request) {
        std::printf("REQUEST:%s\n", qPrintable(request));
        loop.quit();
    });
    if (!instance.Claim(QStringLiteral("from helper"))) {
        std::printf("HANDED\n");
        return;
    }
    std::printf("CLAIMED\n");
    std::fflush(stdout);
    loop.exec();
    std::fflush(stdout);
}

QByteArray ReadUntil(QProcess& child, const QByteArray& marker)
{
    QByteArray out;
    while (!out.contains(marker) && child.waitForReadyRead(60000))
        out += child.readAllStandardOutput();
    return out;
}

TEST(SingleInstanceTest, ALaterStartHandsItsRequestToTheRunningOneAndALockOfTheDeadIsTaken)
{
    const QString folder = qbtest::FreshFolder(QStringLiteral("instance"));
    QProcess first;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QB_INSTANCE_DIR"), folder);
    first.setProcessEnvironment(env);
    first.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=SingleInstanceProbe.Claim")});
    ASSERT_TRUE(ReadUntil(first, "CLAIMED").contains("CLAIMED"));

    {
        TSingleInstance second(QStringLiteral("probe"), folder);
        EXPECT_FALSE(second.Claim(QStringLiteral("show\nme"))) << "the first one runs";
    }
    EXPECT_TRUE(ReadUntil(first, "REQUEST:").contains("REQUEST:show me")) << "one line reached the first";
    ASSERT_TRUE(first.waitForFinished(60000));

    // The first has ended: its lock and socket are leftovers, and the next start is the one.
    TSingleInstance next(QStringLiteral("probe"), folder);
    EXPECT_TRUE(next.Claim());
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=SingleInstanceProbe.Claim")});
    // Answered by this thread's loop only after Claim returned, so the helper waits for that here.
    QByteArray out;
    QString request;
    QObject::connect(&next, &TSingleInstance::Requested, [&request](const QString& r) { request = r; });
    while (!third.waitForFinished(100))
        QCoreApplication::processEvents();
    out = third.readAllStandardOutput();
    EXPECT_TRUE(out.contains("HANDED")) << out.constData();
    EXPECT_EQ(request, QStringLiteral("from helper"));
}

} // namespace
