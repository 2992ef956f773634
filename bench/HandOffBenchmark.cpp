// handoff_benchmark: what handing one block's level to the main thread costs that thread when
// it has to be woken for it, under each of Qt's event dispatchers on Linux (GLib's, Qt's own)
// and for two ways of waking it: the queued call the meter uses, and an eventfd watched by a
// socket notifier. Prints the main thread's CPU time per hand-off.
//
//   handoff_benchmark [--hand-offs N] [--runs R]   (the median of R runs of N hand-offs each)
#include "audio/LevelHandOff.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

double threadCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Runs in a child process, whose environment picked the dispatcher. One hand-off at a time,
// with a pause after each, so that every one finds the main thread asleep, as between blocks.
int measure(const std::string& path, int handOffs)
{
    static int argc = 1;
    static char name[] = "handoff_benchmark";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::atomic<int> delivered{0};
    const auto deliver = [&](double, double) { delivered.fetch_add(1, std::memory_order_release); };

    LevelHandOff handOff;
    handOff.setCallback(deliver);
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    QSocketNotifier notifier(wake, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        std::uint64_t count = 0;
        if (::read(wake, &count, sizeof count) == sizeof count)
            for (std::uint64_t i = 0; i < count; ++i)
                deliver(0.0, 0.0);
    });

    double cpu = 0;
    std::thread audio([&] {
        for (int i = 0; i < handOffs; ++i) {
            if (path == "eventfd") {
                const std::uint64_t one = 1;
                if (::write(wake, &one, sizeof one) != sizeof one)
                    break;
            } else {
                handOff.post(0.5f, 0.25f);
            }
            while (delivered.load(std::memory_order_acquire) <= i)
                std::this_thread::sleep_for(100us);
            std::this_thread::sleep_for(2ms);
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(0, &app, [&] { cpu = threadCpuMicroseconds(); });
    QCoreApplication::exec();
    cpu = threadCpuMicroseconds() - cpu;
    audio.join();
    ::close(wake);
    std::printf("%s %.2f\n", QAbstractEventDispatcher::instance()->metaObject()->className(),
                cpu / handOffs);
    return delivered == handOffs ? 0 : 1;
}

} // namespace

// Runs one measurement in a child process with the dispatcher chosen; nothing on failure.
bool runChild(const char* argv0, bool glib, const char* path, int handOffs, std::string& dispatcher,
              double& micros)
{
    const std::string command = std::string(glib ? "env -u QT_NO_GLIB " : "QT_NO_GLIB=1 ") +
                                "QT_QPA_PLATFORM=offscreen " + argv0 + " --child " + path + ' ' +
                                std::to_string(handOffs);
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return false;
    char name[64] = {};
    const bool read = std::fscanf(child, "%63s %lf", name, &micros) == 2;
    dispatcher = name;
    return pclose(child) == 0 && read;
}

int main(int argc, char** argv)
{
    int handOffs = 1000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--hand-offs") == 0)
            handOffs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return measure(argv[2], std::atoi(argv[3]));

    struct Variant {
        bool glib;
        const char* path;
        const char* label;
        std::string dispatcher;
        std::vector<double> micros;
    };
    std::vector<Variant> variants{{true, "queued", "queued call (the meter's)", {}, {}},
                                  {true, "eventfd", "eventfd + socket notifier", {}, {}},
                                  {false, "queued", "queued call (the meter's)", {}, {}},
                                  {false, "eventfd", "eventfd + socket notifier", {}, {}}};
    // Interleaved, so that a burst of load elsewhere on the machine spreads over all variants.
    for (int run = 0; run < runs; ++run) {
        for (Variant& variant : variants) {
            double micros = 0;
            if (!runChild(argv[0], variant.glib, variant.path, handOffs, variant.dispatcher,
                          micros)) {
                std::fprintf(stderr, "handoff_benchmark: a %s run failed\n", variant.path);
                return 1;
            }
            variant.micros.push_back(micros);
        }
    }
    std::printf(
        "| Dispatcher | Wake-up | Main-thread CPU per hand-off, median of %d runs (min … max) |\n"
        "|---|---|---|\n",
        runs);
    for (Variant& variant : variants) {
        std::sort(variant.micros.begin(), variant.micros.end());
        std::printf("| %s | %s | %.1f µs (%.1f … %.1f) |\n", variant.dispatcher.c_str(),
                    variant.label, variant.micros[variant.micros.size() / 2],
                    variant.micros.front(), variant.micros.back());
    }
    return 0;
}
