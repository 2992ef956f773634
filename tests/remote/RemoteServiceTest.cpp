// The session-bus service over a controller on fakes, called on a private bus the way gdbus and
// busctl call it.
#include "remote/RemoteService.h"

#include "remote/RemoteNames.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/services/PrivateBus.h"
#include "testkit/services/PrivateFolder.h"
#include "testkit/support/EventLoop.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <limits>

namespace {

class ChangeLog : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> batches;
public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&)
    {
        batches.push_back(properties);
    }
};

class RemoteServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.start()) << bus.errorText();
        const QString address = QString::fromStdString(bus.address());
        serving = QDBusConnection::connectToBus(address, QStringLiteral("serving"));
        client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        rig.service.setProperty(ServiceContract::lightsKey,
                                PropertyValue::array({PropertyValue::string("test::a"),
                                                      PropertyValue::string("test::b")}));
        logo = rig.make();
        remote = std::make_unique<RemoteService>(*logo, actions(), serving);
        ASSERT_TRUE(remote->publish());
        ASSERT_TRUE(client.connect(RemoteNames::busName, RemoteNames::objectPath,
                                   RemoteNames::propertiesInterface, "PropertiesChanged", &log,
                                   SLOT(changed(QString, QVariantMap, QStringList))));
    }

    void TearDown() override
    {
        remote.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("serving"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }

    RemoteService::Actions actions()
    {
        return {[this] { ++activated; }, [this] { ++quits; },
                [this] { return rig.defaults.flush() ? QString() : QStringLiteral("disk full"); }};
    }

    // The service answers on this thread's event loop, so the call must not block it.
    QDBusMessage call(const char* interface, const char* member, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            RemoteNames::busName, RemoteNames::objectPath, interface, member);
        message.setArguments(arguments);
        QDBusPendingCall pending = client.asyncCall(message);
        EXPECT_TRUE(spinUntil([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    QDBusMessage set(const QString& property, const QVariant& value)
    {
        return call(RemoteNames::propertiesInterface, "Set",
                    {RemoteNames::interface, property, QVariant::fromValue(QDBusVariant(value))});
    }
    QVariant get(const QString& property)
    {
        const auto reply =
            call(RemoteNames::propertiesInterface, "Get", {RemoteNames::interface, property});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QDBusMessage action(const char* name)
    {
        return call(RemoteNames::applicationInterface, "ActivateAction",
                    {name, QVariant::fromValue(QVariantList()), QVariantMap()});
    }

    PrivateFolder folder{"beamwick-remote"};
    PrivateBus bus{folder.path()};
    QDBusConnection serving{QString()};
    QDBusConnection client{QString()};
    ControllerRig rig;
    std::unique_ptr<LogoController> logo;
    std::unique_ptr<RemoteService> remote;
    ChangeLog log;
    int activated = 0;
    int quits = 0;
};

TEST_F(RemoteServiceTest, EveryWriteGoesThroughTheControllerAndIsAnnounced)
{
    const struct {
        const char* property;
        QVariant value;
        const char* savedKey;
    } writes[] = {
        {"Mode", QStringLiteral("Breathe"), "mode"},   {"Brightness", 2.5, "brightness"},
        {"BreatheSeconds", 3.0, "breatheSeconds"},     {"Sensitivity", 2.0, "sensitivity"},
        {"Light", QStringLiteral("test::b"), "light"}, {"On", false, nullptr},
        {"DarkWhenLocked", true, "darkWhenLocked"},    {"DarkOnBattery", true, "darkOnBattery"},
    };
    for (const auto& write : writes) {
        const auto reply = set(write.property, write.value);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
        EXPECT_EQ(get(write.property), write.value) << write.property;
        ASSERT_FALSE(log.batches.empty());
        EXPECT_EQ(log.batches.back().value(write.property), write.value) << write.property;
        if (write.savedKey) {
            EXPECT_EQ(rig.defaults.values.value(write.savedKey).toVariant(), write.value);
        }
    }
    EXPECT_EQ(call(RemoteNames::interface, "Toggle", {}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(logo->isOn());
    action("toggle");
    EXPECT_FALSE(logo->isOn());
    for (const char* mode : {"music", "steady", "breathe"}) {
        EXPECT_EQ(action(mode).type(), QDBusMessage::ReplyMessage);
        EXPECT_EQ(rawValue(logo->mode()).toLower(), QString::fromLatin1(mode));
        EXPECT_TRUE(logo->isOn()) << "a mode's action shows that mode";
        logo->setOn(false);
    }
    call(RemoteNames::applicationInterface, "Activate", {QVariantMap()});
    EXPECT_EQ(activated, 1);
    EXPECT_EQ(
        call(RemoteNames::applicationInterface, "Open", {QStringList{"file:///x"}, QVariantMap()})
            .type(),
        QDBusMessage::ErrorMessage);
    EXPECT_EQ(action("quit").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(spinUntil([&] { return quits == 1; }));
}

// The bus describes each number setting as it reads: a double, writable, with its value.
TEST_F(RemoteServiceTest, IntrospectionListsEveryNumberSettingAsItsDescriptionSays)
{
    const QString xml = call("org.freedesktop.DBus.Introspectable", "Introspect", {})
                            .arguments()
                            .value(0)
                            .toString();
    const auto all = call(RemoteNames::propertiesInterface, "GetAll", {RemoteNames::interface});
    const QVariantMap values = qdbus_cast<QVariantMap>(all.arguments().value(0));
    for (const NumberSetting& setting : number_settings::all) {
        EXPECT_TRUE(
            xml.contains(QStringLiteral("<property name=\"%1\" type=\"d\" access=\"readwrite\"/>")
                             .arg(setting.property)))
            << setting.property << qPrintable(xml);
        EXPECT_EQ(values.value(setting.property), setting.fallback) << setting.property;
    }
    EXPECT_TRUE(xml.contains(R"(<property name="HeardOutput" type="s" access="read"/>)"));
}

TEST_F(RemoteServiceTest, AChangeMadeAsThePanelMakesItIsAnnouncedOnceWithWhatChanged)
{
    logo->setMode(LightMode::music);
    logo->setBrightness(3.0);
    ASSERT_TRUE(spinUntil([&] { return !log.batches.empty(); }));
    // A signal sent after the first would reach the client before this answer.
    EXPECT_EQ(get("Mode"), QStringLiteral("Music"));
    ASSERT_EQ(log.batches.size(), 1u);
    EXPECT_EQ(log.batches[0].value("Mode"), QStringLiteral("Music"));
    EXPECT_EQ(log.batches[0].value("Brightness"), 3.0);
    EXPECT_FALSE(log.batches[0].contains("Sensitivity"));
}

TEST_F(RemoteServiceTest, BadInputIsRefusedNamingWhatIsAcceptedAndChangesNothing)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* property;
        QVariant value;
        const char* accepted;
    } bad[] = {
        {"Brightness", 8.001, "from 0.05 to 8"},
        {"Brightness", 0.049, "from 0.05 to 8"},
        {"Brightness", nan, "from 0.05 to 8"},
        {"Brightness", QStringLiteral("2"), "from 0.05 to 8"},
        {"BreatheSeconds", 12.001, "from 2 to 12"},
        {"BreatheSeconds", 1.999, "from 2 to 12"},
        {"Sensitivity", 3.001, "from 0.5 to 3"},
        {"Sensitivity", 0.499, "from 0.5 to 3"},
        {"Sensitivity", inf, "from 0.5 to 3"},
        {"LightDelay", 1000.001, "from -200 to 1000"},
        {"LightDelay", -200.001, "from -200 to 1000"},
        {"LightDelay", QStringLiteral("soon"), "from -200 to 1000"},
        {"LightDelay", 100, "not type i"},
        {"Mode", QStringLiteral("steady"), "\"Steady\""},
        {"Light", QStringLiteral("test::c"), "\"test::b\""},
        {"On", 1, "true or false"},
        {"DarkWhenLocked", QStringLiteral("yes"), "true or false"},
        {"DarkOnBattery", 1, "true or false"},
        // A double is declared, and nothing else is taken for one.
        {"Brightness", 2, "not type i"},
        {"BreatheSeconds", 3u, "not type u"},
        {"Sensitivity", qlonglong(1), "not type x"},
        {"Brightness", QVariant::fromValue(QStringList{"2"}), "not type as"},
    };
    const QJsonObject saved = rig.defaults.values;
    const int writes = rig.defaults.writes;
    for (const auto& refused : bad) {
        const auto reply = set(refused.property, refused.value);
        EXPECT_EQ(reply.errorName(), RemoteNames::invalidArgs) << refused.property;
        EXPECT_TRUE(reply.errorMessage().contains(refused.accepted))
            << qPrintable(reply.errorMessage());
    }
    EXPECT_EQ(set("Lights", QStringList()).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(action("Steady").errorName(), RemoteNames::invalidArgs);
    EXPECT_EQ(action("dance").errorName(), RemoteNames::invalidArgs);
    EXPECT_EQ(rig.defaults.values, saved);
    EXPECT_EQ(rig.defaults.writes, writes);
    EXPECT_TRUE(log.batches.empty());
    EXPECT_EQ(get("Brightness"), 1.0);

    // The ends of each range are accepted.
    for (const auto& [property, value] : {std::pair{"Brightness", 0.05},
                                          {"Brightness", 8.0},
                                          {"BreatheSeconds", 2.0},
                                          {"BreatheSeconds", 12.0},
                                          {"Sensitivity", 0.5},
                                          {"Sensitivity", 3.0}})
        EXPECT_EQ(set(property, value).type(), QDBusMessage::ReplyMessage) << property;

    // The light delay is the heard output's: none before Music has heard one, then its ends.
    const auto early = set("LightDelay", 100.0);
    EXPECT_EQ(early.errorName(), RemoteNames::refused);
    EXPECT_TRUE(early.errorMessage().contains("No output heard yet"))
        << qPrintable(early.errorMessage());
    logo->setMode(LightMode::music);
    rig.meter->report({.output = "speakers", .outputLatency = std::chrono::milliseconds(30)});
    EXPECT_EQ(get("HeardOutput"), QStringLiteral("speakers"));
    EXPECT_EQ(get("ReportedLatency"), 30.0);
    for (const double delay : {-200.0, 1000.0}) {
        EXPECT_EQ(set("LightDelay", delay).type(), QDBusMessage::ReplyMessage) << delay;
        EXPECT_EQ(get("LightDelay"), delay);
    }
    EXPECT_EQ(rig.defaults.values.value("lightDelays").toObject().value("speakers"), 1000.0);
}

// A change asked for in good form that did not happen is not answered with success: the light
// that refused to switch, a light the service would not drive. The reason is the panel's.
TEST_F(RemoteServiceTest, AChangeThatDidNotHappenIsRefusedWithTheReason)
{
    rig.service.setRefusing(ServiceContract::backlightModeKey, true);
    rig.service.setRefusing(ServiceContract::lightKey, true);
    const auto refused = [&](const QDBusMessage& reply, const QString& reason) {
        EXPECT_EQ(reply.errorName(), RemoteNames::refused) << qPrintable(reason);
        EXPECT_EQ(reply.errorMessage(), reason);
        EXPECT_TRUE(logo->isOn());
    };
    refused(set("On", false), kRefusedSwitch);
    // On already, and not switched: the light has gone, or the service is busy.
    refused(set("On", true), kRefusedSwitch);
    refused(call(RemoteNames::interface, "Toggle", {}), kRefusedSwitch);
    refused(action("toggle"), kRefusedSwitch);
    const QString notDriven = QStringLiteral("The system refused to drive the light test::b.");
    refused(set("Light", QStringLiteral("test::b")), notDriven);
    EXPECT_EQ(get("LastError"), notDriven);
    EXPECT_EQ(get("Light"), QString());

    // A mode's action that cannot switch the light on says so, the mode taken all the same.
    rig.service.setRefusing(ServiceContract::backlightModeKey, false);
    logo->setOn(false);
    rig.service.setRefusing(ServiceContract::backlightModeKey, true);
    EXPECT_EQ(action("music").errorName(), RemoteNames::refused);
    EXPECT_FALSE(logo->isOn());
    EXPECT_EQ(logo->mode(), LightMode::music);
}

// An acknowledged change is saved: the answer waits for the save, and a save that failed is told.
TEST_F(RemoteServiceTest, AChangeIsAnsweredOnceSavedAndAFailedSaveIsTold)
{
    const int flushes = rig.defaults.flushes;
    EXPECT_EQ(set("Brightness", 2.0).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(rig.defaults.flushes, flushes + 1);
    get("Brightness");
    EXPECT_EQ(rig.defaults.flushes, flushes + 1) << "a read saves nothing";

    rig.defaults.failFlushes = true;
    const auto reply = set("Mode", QStringLiteral("Breathe"));
    EXPECT_EQ(reply.errorName(), RemoteNames::notSaved);
    EXPECT_TRUE(reply.errorMessage().endsWith("disk full")) << qPrintable(reply.errorMessage());
    EXPECT_EQ(logo->mode(), LightMode::breathe) << "made, though not saved";
}

// A client that holds the name as Beamwick starts keeps it no longer than it wants: Beamwick
// waits in line and takes the name when that client lets go.
TEST_F(RemoteServiceTest, ANameHeldByAnotherClientIsTakenOnceItIsFree)
{
    remote.reset();
    ASSERT_TRUE(serving.unregisterService(RemoteNames::busName));
    auto squatter = QDBusConnection::connectToBus(QString::fromStdString(bus.address()),
                                                  QStringLiteral("squatter"));
    ASSERT_TRUE(squatter.registerService(RemoteNames::busName));
    remote = std::make_unique<RemoteService>(*logo, actions(), serving);
    ASSERT_TRUE(remote->publish());
    EXPECT_TRUE(remote->waitingForName());

    squatter.unregisterService(RemoteNames::busName);
    EXPECT_TRUE(spinUntil([&] { return !remote->waitingForName(); }));
    EXPECT_EQ(client.interface()->serviceOwner(RemoteNames::busName).value(),
              serving.baseService());
    EXPECT_EQ(get("Mode"), QStringLiteral("Steady"));
}

} // namespace

#include "RemoteServiceTest.moc"
