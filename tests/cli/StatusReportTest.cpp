#include "cli/StatusReport.h"

#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateSoundServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const SoundServerProbe::Result kQuietServer{false, {}, {}, QStringLiteral("Connection refused")};

// What the probe finds on `server`, found the way Beamwick finds the user's: through the
// variable the client library reads.
SoundServerProbe::Result askAbout(const PrivateSoundServer& server)
{
    const QByteArray before = qgetenv("PULSE_SERVER");
    const bool wasSet = qEnvironmentVariableIsSet("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.address()));
    auto result = SoundServerProbe::ask(std::chrono::seconds(2));
    if (wasSet)
        qputenv("PULSE_SERVER", before);
    else
        qunsetenv("PULSE_SERVER");
    return result;
}

} // namespace

TEST(StatusReportTest, NamesTheLedItsStepsHowItWritesTheSoundServerAndTheSettings)
{
    FakeLedTree tree;
    const QString brightness =
        QString::fromStdString(tree.add("test::kbd_backlight", 37, 255, "").string());
    tree.add("input3::capslock", 0, 1, "");

    PrivateSoundServer server({.kind = PrivateSoundServer::Kind::pulseAudio});
    ASSERT_TRUE(server.start()) << server.errorText();
    const StatusReport bySysfs(LedStatus(tree.root(), nullptr, std::nullopt), askAbout(server),
                               QStringLiteral("/home/u/.config/beamwick/settings.json"));
    const QString text = bySysfs.text();
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("LED: test::kbd_backlight (max_brightness 255, brightness 37, no trigger)\n"
                       "Chosen: a keyboard backlight (its name ends in \"::kbd_backlight\")\n"
                       "Writes through: sysfs (%1)\n"
                       "Passed over under %2:\n"
                       "  input3::capslock: not named like a lid logo or a keyboard backlight\n")
            .arg(brightness, QString::fromStdString(tree.root().string()))))
        << qPrintable(text);
    EXPECT_TRUE(
        text.endsWith(QStringLiteral("Settings file: /home/u/.config/beamwick/settings.json\n")));
    EXPECT_EQ(bySysfs.exitCode(), 0);
    // The test's own sound server, with its null sink as the default output.
    EXPECT_TRUE(text.contains(QStringLiteral("Sound server: answers (pulseaudio ")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QRegularExpression(
        ", default output: test_sink \\(reports [0-9]+\\.[0-9] ms; light delay 0 ms\\)\n")))
        << qPrintable(text);
    // The delay the user saved for that output, as Beamwick reads it: one out of range is none.
    QTemporaryDir home;
    for (const auto& [saved, shown] : {std::pair{"120", "light delay 120 ms)"},
                                       {"-200", "light delay -200 ms)"},
                                       {"1000.5", "light delay 0 ms)"},
                                       {"\"120\"", "light delay 0 ms)"}}) {
        QFile settings(home.filePath("settings.json"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(QByteArray(R"({"lightDelays": {"test_sink": )") + saved + "}}");
        settings.close();
        const StatusReport withDelay(LedStatus(tree.root(), nullptr, std::nullopt),
                                     askAbout(server), settings.fileName());
        EXPECT_TRUE(withDelay.text().contains(QString::fromLatin1(shown))) << saved;
    }
    // Only looked at.
    EXPECT_EQ(FakeLedTree::read(brightness.toStdString()), "37\n");

    const StatusReport byLogind(LedStatus(tree.root(), nullptr, QStringLiteral("c7")), kQuietServer,
                                {});
    EXPECT_TRUE(byLogind.text().contains(
        QStringLiteral("Writes through: logind (SetBrightness on session c7)\n")));
    EXPECT_TRUE(byLogind.text().contains(QStringLiteral(
        "Sound server: does not answer (Connection refused); Music mode cannot listen\n")));

    // The desktop's keyboard control, as UPower answers for it.
    const std::pair<DesktopKeyboardProbe::Result, const char*> keyboards[] = {
        {{false, 0}, "not on the system bus; nothing to follow\n"},
        {{true, 0}, "serves no keyboard light\n"},
        {{true, 255}, "serves test::kbd_backlight (max 255); Beamwick watches it"},
        {{true, 254}, "serves a keyboard light of max 254, not the light Beamwick drives"},
    };
    for (const auto& [keyboard, said] : keyboards) {
        const StatusReport report(LedStatus(tree.root(), nullptr, std::nullopt), kQuietServer, {},
                                  keyboard);
        EXPECT_TRUE(report.text().contains(QStringLiteral("\nDesktop keyboard control (UPower): ") +
                                           QString::fromLatin1(said)))
            << qPrintable(report.text());
    }

    // The lid, the lock and the power supply, or that nobody tells of them.
    const StatusReport told(LedStatus(tree.root(), nullptr, std::nullopt), kQuietServer, {}, {},
                            {true, false, true});
    const StatusReport untold(LedStatus(tree.root(), nullptr, std::nullopt), kQuietServer, {}, {},
                              {false, std::nullopt, false});
    for (const auto& [report, said] :
         {std::pair{&told, "\nLid (logind): closed; the light is held dark until it opens\n"
                           "Session lock (logind): unlocked\nPower supply (UPower): on battery\n"},
          {&untold, "\nLid (logind): open; a closed lid holds the light dark\n"
                    "Session lock (logind): not told; the light stays as it is while locked\n"
                    "Power supply (UPower): on mains\n"}})
        EXPECT_TRUE(report->text().contains(QString::fromUtf8(said))) << qPrintable(report->text());
}

TEST(StatusReportTest, SaysExactlyWhyThereIsNoLightOrWhyTheUsersChoiceIsIgnored)
{
    FakeLedTree tree;
    const auto none = StatusReport(LedStatus(tree.root(), nullptr, std::nullopt), kQuietServer, {});
    EXPECT_TRUE(none.text().startsWith(QStringLiteral("LED: none. No LED under ")))
        << qPrintable(none.text());
    EXPECT_TRUE(none.text().contains(QStringLiteral("BEAMWICK_LED is not set")));
    EXPECT_EQ(none.exitCode(), 1);
    const LedStatus noClass(tree.root() / "missing", nullptr, std::nullopt);
    EXPECT_TRUE(noClass.lines().constFirst().contains(QStringLiteral("missing does not exist")))
        << qPrintable(noClass.lines().constFirst());

    tree.add("dead::logo", 0, 0, "");
    tree.add("test::kbd_backlight", 5, 10, "");
    const std::pair<const char*, QString> choices[] = {
        {"../../etc", QStringLiteral("not a plain LED name")},
        {"nosuch::led", QStringLiteral("no LED of that name under ")},
        {"dead::logo", QStringLiteral("it has no readable brightness or its max_brightness is "
                                      "below 1")},
    };
    for (const auto& [choice, why] : choices) {
        const LedStatus status(tree.root(), choice, std::nullopt);
        ASSERT_GE(status.lines().size(), 2) << choice;
        EXPECT_TRUE(status.lines()[0].startsWith(
            QStringLiteral("BEAMWICK_LED=%1 is ignored: ").arg(QString::fromLatin1(choice))))
            << qPrintable(status.lines()[0]);
        EXPECT_TRUE(status.lines()[0].contains(why)) << qPrintable(status.lines()[0]);
        // The usual order still finds the keyboard backlight, past the unusable logo.
        EXPECT_EQ(status.lines()[1], QStringLiteral("LED: test::kbd_backlight (max_brightness 10, "
                                                    "brightness 5, no trigger)"));
    }
    const LedStatus chosen(tree.root(), "test::kbd_backlight", std::nullopt);
    EXPECT_FALSE(chosen.lines()[0].contains(QStringLiteral("ignored")));
}

TEST(StatusReportTest, WithoutLogindAndWithoutWriteAccessItSaysNoPermission)
{
    FakeLedTree tree;
    const QString brightness =
        QString::fromStdString(tree.add("test::kbd_backlight", 5, 10, "none [timer]").string());
    tree.openForReading();
    const QString trigger = QFileInfo(brightness).path() + QStringLiteral("/trigger");
    // Root may write anything: look as an ordinary user would.
    const uid_t user = ::geteuid();
    if (user == 0) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    const LedStatus status(tree.root(), nullptr, std::nullopt);
    if (user == 0) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_FALSE(status.usable());
    EXPECT_EQ(status.lines().mid(status.lines().size() - 2),
              (QStringList{QStringLiteral("Writes through: nothing, no permission. logind has no "
                                          "active session of this user to write for it, and %1 "
                                          "is not writable by this user.")
                               .arg(brightness),
                           QStringLiteral("Trigger: timer will stay detached after Beamwick has "
                                          "driven the LED: putting it back needs write access to "
                                          "%1, which this user lacks (logind sets only the "
                                          "brightness)")
                               .arg(trigger)}));
    // Where the trigger may be written, it is put back.
    EXPECT_EQ(LedStatus(tree.root(), nullptr, QStringLiteral("c1")).lines().last(),
              QStringLiteral("Trigger: timer, detached while Beamwick drives the LED and put "
                             "back when it hands the LED back lit"));
}

TEST(StatusReportTest, ListsEveryLedItConsideredWhichItChoseAndWhyItPassedOverTheRest)
{
    FakeLedTree tree;
    tree.add("tpacpi::kbd_backlight", 1, 2, "none [kbd-backlight]");
    tree.add("a::kbd_backlight", 3, 3, "none [timer]");
    tree.add("platform::logo", 0, 1, "[none]");
    tree.add("broken::lid_logo", 1, 0, "[none]");
    tree.add("input3::numlock", 1, 1, "none [kbd-numlock]");
    tree.add("input3::capslock", 0, 1, "[none] kbd-capslock");
    const QString root = QString::fromStdString(tree.root().string());

    const auto lines = [&](const char* requested) {
        return LedStatus(tree.root(), requested, QStringLiteral("c2")).lines();
    };
    EXPECT_EQ(
        lines(nullptr),
        (QStringList{
            "LED: platform::logo (max_brightness 1, brightness 0, trigger none)",
            "Chosen: a logo LED (its name contains \"logo\")",
            "Writes through: logind (SetBrightness on session c2)",
            "Passed over under " + root + ":",
            "  broken::lid_logo: no readable brightness, or max_brightness below 1",
            "  a::kbd_backlight (max_brightness 3, brightness 3, trigger timer): "
            "platform::logo comes first, as a logo LED",
            "  tpacpi::kbd_backlight (max_brightness 2, brightness 1, trigger kbd-backlight): "
            "platform::logo comes first, as a logo LED",
            "  input3::capslock, input3::numlock: not named like a lid logo or a keyboard "
            "backlight",
        }));

    tree.add("apple::lid_logo", 1, 1, "none [default-on]");
    EXPECT_EQ(
        lines(nullptr).mid(0, 2),
        (QStringList{"LED: apple::lid_logo (max_brightness 1, brightness 1, trigger default-on)",
                     "Chosen: a lid-logo LED (its name contains \"lid_logo\")"}));

    // Named by the user: every other LED, of any name, gives way to it.
    const auto named = lines("tpacpi::kbd_backlight");
    EXPECT_EQ(named.mid(0, 2),
              (QStringList{"LED: tpacpi::kbd_backlight (max_brightness 2, brightness 1, "
                           "trigger kbd-backlight)",
                           "Chosen: BEAMWICK_LED names it"}));
    EXPECT_TRUE(named.contains("  a::kbd_backlight (max_brightness 3, brightness 3, trigger "
                               "timer): BEAMWICK_LED names tpacpi::kbd_backlight"))
        << qPrintable(named.join('\n'));
    EXPECT_FALSE(named.join('\n').contains("  tpacpi::kbd_backlight"));

    // Chosen from the menu, whatever the rules would pick, BEAMWICK_LED aside; one gone is said.
    const auto saved = [&](const char* requested, const std::string& choice) {
        return LedStatus(tree.root(), requested, QStringLiteral("c2"), choice).lines();
    };
    const QString menu = "the light chosen from the tray menu (saved in the settings)";
    EXPECT_EQ(saved(nullptr, "input3::numlock").mid(0, 2),
              (QStringList{"LED: input3::numlock (max_brightness 1, brightness 1, trigger "
                           "kbd-numlock)",
                           "Chosen: " + menu}));
    EXPECT_TRUE(saved(nullptr, "input3::numlock")
                    .contains("  a::kbd_backlight (max_brightness 3, brightness 3, trigger "
                              "timer): input3::numlock is " +
                              menu));
    EXPECT_EQ(saved("tpacpi::kbd_backlight", "input3::numlock").at(1),
              "Chosen: BEAMWICK_LED names it");
    EXPECT_EQ(saved(nullptr, "gone::kbd_backlight").mid(0, 2),
              (QStringList{"The light chosen from the tray menu, gone::kbd_backlight, is passed "
                           "over: no LED of that name under " +
                               root,
                           "LED: apple::lid_logo (max_brightness 1, brightness 1, trigger "
                           "default-on)"}));

    // Within one rule, the first name wins.
    tree.remove("apple::lid_logo");
    tree.remove("platform::logo");
    EXPECT_TRUE(lines(nullptr).contains(
        "  tpacpi::kbd_backlight (max_brightness 2, brightness 1, trigger kbd-backlight): "
        "a::kbd_backlight comes first in name order"))
        << qPrintable(lines(nullptr).join('\n'));

    // No usable LED: the report still lists what it looked at.
    tree.remove("a::kbd_backlight");
    tree.remove("tpacpi::kbd_backlight");
    const LedStatus none(tree.root(), nullptr, std::nullopt);
    EXPECT_FALSE(none.usable());
    EXPECT_EQ(none.lines().mid(1),
              (QStringList{
                  "Passed over under " + root + ":",
                  "  broken::lid_logo: no readable brightness, or max_brightness below 1",
                  "  input3::capslock, input3::numlock: not named like a lid logo or a keyboard "
                  "backlight",
              }));
}

TEST(StatusReportTest, ReadsATriggerListLongerThanAPageAndNamesWithPercentSignsAsTheyAre)
{
    FakeLedTree tree;
    QString triggers;
    for (int cpu = 0; cpu < 1024; ++cpu)
        triggers += QStringLiteral("cpu%1 ").arg(cpu);
    ASSERT_GT(triggers.size(), 4096);
    tree.add("odd%2name::kbd_backlight", 1, 3, (triggers + "[kbd-backlight]").toStdString());
    EXPECT_EQ(LedStatus(tree.root(), nullptr, QStringLiteral("c1")).lines().constFirst(),
              QStringLiteral("LED: odd%2name::kbd_backlight (max_brightness 3, brightness 1, "
                             "trigger kbd-backlight)"));
}
