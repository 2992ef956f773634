#include "cli/CommandLine.h"

#include <QStringList>
#include <gtest/gtest.h>

TEST(CommandLineTest, ConventionalOptionsAndQtsOwnAreToldApartFromMistakes)
{
    const auto actionOf = [](QStringList arguments) {
        arguments.prepend(QStringLiteral("beamwick"));
        return CommandLine(arguments).action();
    };
    using Action = CommandLine::Action;
    EXPECT_EQ(actionOf({}), Action::run);
    EXPECT_EQ(actionOf({"-platform", "wayland"}), Action::run);
    EXPECT_EQ(actionOf({"--style=Fusion", "-reverse"}), Action::run);
    EXPECT_EQ(actionOf({"--help"}), Action::help);
    EXPECT_EQ(actionOf({"-h"}), Action::help);
    EXPECT_EQ(actionOf({"--version"}), Action::version);
    EXPECT_EQ(actionOf({"--status"}), Action::status);
    EXPECT_EQ(actionOf({"--statsu"}), Action::error);
    EXPECT_EQ(actionOf({"stray"}), Action::error);
    EXPECT_EQ(actionOf({"-platform"}), Action::error);
    EXPECT_EQ(actionOf({"--toggle"}), Action::control);
    EXPECT_EQ(actionOf({"--get"}), Action::get);
    EXPECT_EQ(actionOf({"--follow"}), Action::follow);
    EXPECT_EQ(actionOf({"--get", "--follow"}), Action::error);
    EXPECT_EQ(actionOf({"--get", "--off"}), Action::error);
    EXPECT_EQ(actionOf({"--on", "--toggle"}), Action::error);
    EXPECT_EQ(actionOf({"--mode", "music", "--mode", "steady"}), Action::error);

    EXPECT_EQ(CommandLine({QStringLiteral("beamwick"), QStringLiteral("--statsu")}).exitCode(), 2);
    // Qt's options work but are not Beamwick's to explain.
    EXPECT_FALSE(CommandLine({QStringLiteral("beamwick"), QStringLiteral("--help")})
                     .output()
                     .contains(QStringLiteral("platform")));
}

TEST(CommandLineTest, ControlOptionsApplyInTheirOwnOrder)
{
    const auto plan = CommandLine({"beamwick", "--off", "--sensitivity", "0.5", "--mode", "bReAtHe",
                                   "--light", "automatic", "--brightness", "8"})
                          .remote()
                          .plan();
    ASSERT_TRUE(plan.refusal.isEmpty()) << qPrintable(plan.refusal);
    QStringList order;
    for (const auto& value : plan.values)
        order << value.property + '=' + value.value.toString();
    EXPECT_EQ(order, QStringList({"Light=", "Mode=Breathe", "Brightness=8", "Sensitivity=0.5"}));
}
