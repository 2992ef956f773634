#include "cli/CommandLine.h"

#include "control/NumberSettings.h"

#include <QStringList>
#include <cmath>
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

// Every number setting is an option named, explained and bounded as its one description says,
// and its value is checked against that same range.
TEST(CommandLineTest, EachNumberSettingIsAnOptionWithItsRangeFromItsDescription)
{
    const QString help = CommandLine({"beamwick", "--help"}).output().simplified();
    EXPECT_TRUE(help.contains("--brightness <0.05-8>")) << qPrintable(help);
    EXPECT_TRUE(help.contains("--delay <ms>"));
    EXPECT_TRUE(help.contains("from -200 to 1000 ms."));
    for (const NumberSetting& setting : number_settings::all) {
        const QString option = QStringLiteral("--") + setting.option;
        EXPECT_TRUE(help.contains(option + ' ')) << setting.property;
        EXPECT_TRUE(help.contains(QString::fromLatin1(setting.help).simplified()))
            << setting.property;
        const auto plan = [&](double value) {
            return CommandLine({"beamwick", option, QString::number(value, 'g', 17)})
                .remote()
                .plan();
        };
        const auto inside = plan(setting.range.high);
        ASSERT_EQ(inside.values.size(), 1u) << qPrintable(inside.refusal);
        EXPECT_EQ(inside.values.front().property, QString::fromLatin1(setting.property));
        EXPECT_EQ(inside.values.front().value, setting.range.high);
        EXPECT_FALSE(plan(std::nextafter(setting.range.high, 1e9)).refusal.isEmpty());
        EXPECT_FALSE(plan(std::nextafter(setting.range.low, -1e9)).refusal.isEmpty());
    }
    EXPECT_FALSE(CommandLine({"beamwick", "--delay", "soon"}).remote().plan().refusal.isEmpty());
}
