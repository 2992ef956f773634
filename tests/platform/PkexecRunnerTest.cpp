#include "platform/PkexecRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

// A stand-in pkexec that writes the arguments it was given, one per line, beside itself.
class PkexecRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QFile script(pkexec());
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    QString pkexec() const { return folder.filePath("pkexec"); }
    // What the stand-in was run with; nothing when it never ran.
    std::optional<QStringList> arguments() const
    {
        QFile args(pkexec() + ".args");
        if (!args.open(QIODevice::ReadOnly))
            return std::nullopt;
        return QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir folder;
};

TEST_F(PkexecRunnerTest, PassesTheArgumentsVerbatimAndWaitsForTheProgram)
{
    PkexecRunner runner(pkexec().toStdString());
    const std::string hostile = "$(touch " + folder.filePath("ran").toStdString() + "); *";
    runner.run({"/bin/rm", "-f", "/etc/sudoers.d/beamwick", hostile});
    // No shell came between: the words arrive as they were given, and nothing was expanded.
    EXPECT_EQ(arguments(), (QStringList{"/bin/rm", "-f", "/etc/sudoers.d/beamwick",
                                        QString::fromStdString(hostile)}));
    EXPECT_FALSE(QFile::exists(folder.filePath("ran")));
}

TEST_F(PkexecRunnerTest, RunsNothingForAProgramWithoutAFullPathOrWithoutPkexec)
{
    PkexecRunner runner(pkexec().toStdString());
    runner.run({"rm", "-f", "/etc/sudoers.d/beamwick"});
    runner.run({""});
    runner.run({});
    EXPECT_FALSE(arguments()) << "a program looked up in PATH could be anyone's";

    PkexecRunner missing(folder.filePath("no-such-pkexec").toStdString());
    missing.run({"/bin/rm", "-f", "/etc/sudoers.d/beamwick"}); // returns, nothing to run
    EXPECT_FALSE(arguments());
}
