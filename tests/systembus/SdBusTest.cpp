#include "systembus/SdBus.h"

#include "testkit/services/PrivateSystemBus.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr const char* kLight = "org.beamwick.Light";

class SdBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_system.start()) << m_system.errorText();
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_system.address().c_str(), 1);
        auto opened = sdbus::Bus::openSystem();
        ASSERT_TRUE(opened) << opened.error();
        m_bus = std::move(*opened);
    }

    // A PropertiesChanged of `interface` as a service sends it, read as its receiver reads it.
    // Another property comes first in the changes, so that finding "Lit" means skipping one.
    sdbus::Message changed(const char* interface, std::optional<bool> lit, const char* invalidated)
    {
        sd_bus_message* raw = nullptr;
        EXPECT_GE(sd_bus_message_new_signal(m_bus.get(), &raw, "/light", system_names::properties,
                                            "PropertiesChanged"),
                  0);
        sdbus::Message message(raw);
        const bool appended =
            sdbus::append(message, "s", interface) &&
            (lit ? sdbus::append(message, "a{sv}", 2, "Level", "i", 7, "Lit", "b", int(*lit))
                 : sdbus::append(message, "a{sv}", 1, "Level", "i", 7)) &&
            (invalidated ? sdbus::append(message, "as", 1, invalidated)
                         : sdbus::append(message, "as", 0));
        EXPECT_TRUE(appended);
        EXPECT_GE(sd_bus_message_seal(raw, 1, 0), 0);
        EXPECT_GE(sd_bus_message_rewind(raw, 1), 0);
        return message;
    }

    std::optional<bool> readLit(const sdbus::Message& message, bool& invalidated)
    {
        return sdbus::readChangedBool(message.get(), kLight, "Lit", invalidated);
    }

    PrivateSystemBus m_system;
    sdbus::Bus m_bus;
};

TEST_F(SdBusTest, AChangedValueIsReadWhateverComesBeforeIt)
{
    bool invalidated = true;
    EXPECT_EQ(readLit(changed(kLight, true, nullptr), invalidated), std::optional(true));
    EXPECT_FALSE(invalidated);
    EXPECT_EQ(readLit(changed(kLight, false, "Level"), invalidated), std::optional(false));
    EXPECT_FALSE(invalidated);
}

TEST_F(SdBusTest, APropertyOnlyInvalidatedHasNoValueButIsSaidToHaveChanged)
{
    bool invalidated = false;
    EXPECT_EQ(readLit(changed(kLight, std::nullopt, "Lit"), invalidated), std::nullopt);
    EXPECT_TRUE(invalidated);
    EXPECT_EQ(readLit(changed(kLight, std::nullopt, "Level"), invalidated), std::nullopt);
    EXPECT_FALSE(invalidated);
}

TEST_F(SdBusTest, AnotherInterfacesPropertyOfTheSameNameIsNotTheOne)
{
    bool invalidated = true;
    EXPECT_EQ(readLit(changed("org.beamwick.Other", true, "Lit"), invalidated), std::nullopt);
    EXPECT_FALSE(invalidated);
}

TEST_F(SdBusTest, ACallToANameNobodyOwnsIsAnsweredWithAnError)
{
    const system_names::Object nobody{"org.beamwick.Nobody", "/", "org.beamwick.Nobody"};
    auto call = m_bus.methodCall(nobody, "Anything");
    ASSERT_TRUE(call) << call.error();
    std::string answer;
    const auto noted = [](sd_bus_message* message, void* answer, sd_bus_error*) {
        const sd_bus_error* error = sd_bus_message_get_error(message);
        *static_cast<std::string*>(answer) =
            sdbus::isError(message) && error ? error->name : "a plain answer";
        return 0;
    };
    auto slot = m_bus.callAsync(*call, noted, &answer, 5s);
    ASSERT_TRUE(slot) << slot.error();

    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (answer.empty() && std::chrono::steady_clock::now() < giveUp) {
        auto processed = m_bus.processOne();
        ASSERT_TRUE(processed) << processed.error();
        if (!*processed) {
            ASSERT_TRUE(m_bus.wait(100ms));
        }
    }
    // At once from the bus, not NoReply at the deadline.
    EXPECT_EQ(answer, SD_BUS_ERROR_SERVICE_UNKNOWN);
}

} // namespace
