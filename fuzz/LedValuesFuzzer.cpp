// Any value shape written to the LED service module, under any key: refused or applied, never a
// crash, and the LED's brightness attribute always holds a whole number within its range.
#include "serviceabi/ServiceContract.h"
#include "serviceabi/service_abi.h"
#include "testkit/fuzz/FuzzChecks.h"
#include "testkit/fuzz/ValueDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

constexpr unsigned kMax = 255;

std::filesystem::path makeTree()
{
    const auto root = std::filesystem::temp_directory_path() /
                      ("beamwick-led-fuzz-" + std::to_string(::getpid()));
    const auto led = root / "test::kbd_backlight";
    std::filesystem::create_directories(led);
    std::ofstream(led / "max_brightness") << kMax << "\n";
    std::ofstream(led / "brightness") << 120 << "\n";
    std::ofstream(led / "trigger") << "none [kbd-backlight]\n";
    std::ofstream(led / "brightness_hw_changed") << 77 << "\n";
    return root;
}

struct Module {
    Module()
    {
        // No system bus: every write goes the sysfs way, without waiting on D-Bus.
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
        root = makeTree();
        // The module's note of an LED it holds on goes into the tree too, never into the
        // runtime folder of the user running the fuzzer.
        std::filesystem::create_directories(root / "run");
        ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        void* handle = dlopen(LED_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        require(handle);
        auto setRoot = reinterpret_cast<void (*)(const char*)>(
            dlsym(handle, "bw_leds_set_sysfs_root_for_testing"));
        auto lookup =
            reinterpret_cast<bw_service_lookup_fn>(dlsym(handle, BW_SERVICE_LOOKUP_SYMBOL));
        require(setRoot && lookup);
        setRoot(root.c_str());
        cls = lookup(ServiceContract::className);
        require(cls);
        client = cls->create();
        require(client);
        set = reinterpret_cast<bw_set_property_imp>(
            cls->method_implementation(ServiceContract::setSelector));
        require(set);
    }
    // The fuzzer returns from its driver when its time is up, so this runs at exit and leaves no
    // LED tree behind in the temporary folder.
    ~Module()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    unsigned brightness() const
    {
        std::ifstream in(root / "test::kbd_backlight" / "brightness");
        long value = -1;
        in >> value;
        require(in && value >= 0 && value <= static_cast<long>(kMax));
        return static_cast<unsigned>(value);
    }

    std::filesystem::path root;
    const bw_service_class* cls = nullptr;
    void* client = nullptr;
    bw_set_property_imp set = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Module module;
    static const char* keys[] = {ServiceContract::backlightModeKey,
                                 ServiceContract::tableKey,
                                 ServiceContract::followTauKey,
                                 ServiceContract::hardwareChangeAttributeKey,
                                 ServiceContract::hardwareBrightnessChangedKey,
                                 "LEUnknown"};
    ValueDecoder decoder(data, size);
    while (!decoder.done()) {
        const char* key = keys[decoder.byte() % std::size(keys)];
        const bw_value* value = decoder.value();
        module.set(module.client, ServiceContract::setSelector, value, key);
        module.brightness();
        for (const char* k : keys) {
            if (bw_value* copy =
                    module.cls->copy_property(module.client, ServiceContract::copySelector, k))
                module.cls->release_value(copy);
        }
    }
    return 0;
}
