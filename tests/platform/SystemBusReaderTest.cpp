#include "platform/SystemBusReader.h"

#include "testkit/services/PrivateSystemBus.h"
#include "testkit/support/EventLoop.h"

#include <gtest/gtest.h>
#include <string>
#include <systemd/sd-bus.h>

// A peer that owns its name and never reads (a stalled daemon): with nothing else said on the
// bus, only the reader's own wake-up can fail the call at its deadline.
TEST(SystemBusReaderTest, ACallNobodyAnswersFailsAtItsDeadlineOnAQuietBus)
{
    PrivateSystemBus system;
    ASSERT_TRUE(system.start()) << system.errorText();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", system.address().c_str(), 1);
    const char* silentName = "org.beamwick.Silent";
    auto silent = sdbus::Bus::openSystem();
    ASSERT_TRUE(silent);
    ASSERT_GE(sd_bus_request_name(silent->get(), silentName, 0), 0);

    SystemBusReader reader({});
    auto call = reader.bus().methodCall({silentName, "/", silentName}, "A");
    ASSERT_TRUE(call);
    std::string error;
    const auto noted = [](sd_bus_message* answer, void* error, sd_bus_error*) {
        const sd_bus_error* e = sd_bus_message_get_error(answer);
        *static_cast<std::string*>(error) = e ? e->name : "an answer";
        return 0;
    };
    auto asking = reader.bus().callAsync(*call, noted, &error, std::chrono::milliseconds(300));
    ASSERT_TRUE(asking);
    reader.start();

    EXPECT_TRUE(spinUntil([&] { return !error.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(error, SD_BUS_ERROR_NO_REPLY);
}
