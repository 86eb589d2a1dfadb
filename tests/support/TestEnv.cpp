#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>

namespace qbtest {

QString SandboxRoot()
{
    return QString::fromLocal8Bit(qgetenv("QB_SANDBOX"));
}

QString FreshFolder(const QString& hint)
{
    const QString path = SandboxRoot() + QStringLiteral("/") + hint + QStringLiteral(" ")
        + QUuid::createUuid().toString(QUuid::Id128).left(8);
    EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
    return path;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace qbtest
