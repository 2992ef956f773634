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
    sd_bus* silent = nullptr;
    ASSERT_GE(sd_bus_open_system(&silent), 0);
    ASSERT_GE(sd_bus_request_name(silent, silentName, 0), 0);

    SystemBusReader reader({});
    sd_bus_message* call = nullptr;
    ASSERT_GE(sd_bus_message_new_method_call(reader.bus(), &call, silentName, "/", silentName, "A"),
              0);
    std::string error;
    const auto noted = [](sd_bus_message* answer, void* error, sd_bus_error*) {
        const sd_bus_error* e = sd_bus_message_get_error(answer);
        *static_cast<std::string*>(error) = e ? e->name : "an answer";
        return 0;
    };
    ASSERT_GE(sd_bus_call_async(reader.bus(), nullptr, call, noted, &error, 300'000), 0);
    sd_bus_message_unref(call);
    reader.start();

    EXPECT_TRUE(spinUntil([&] { return !error.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(error, SD_BUS_ERROR_NO_REPLY);
    sd_bus_flush_close_unref(silent);
}
