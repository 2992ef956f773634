#include "RunReport.h"

#include <cmath>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <thread>

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::optional<double> percentOf(const std::optional<ProcCost>& cost)
{
    if (!cost)
        return std::nullopt;
    return cost->cpuShare * 100.0;
}

std::optional<double> wakeupsOf(const std::optional<ProcCost>& cost)
{
    if (!cost)
        return std::nullopt;
    return cost->wakeupsPerSecond;
}

std::optional<double> megabytesOf(const std::optional<ProcCost>& cost)
{
    if (!cost)
        return std::nullopt;
    return static_cast<double>(cost->peakRssKb) / 1024.0;
}

std::string percent(std::optional<double> value)
{
    return value ? ResultTable::number(value, 2) + " % of a core" : "n/a";
}

std::string optionalMs(std::optional<double> value)
{
    return value ? ResultTable::number(value, 1) + " ms" : "n/a";
}

// "name 1.10 % 220 /s; …" for the threads that did anything, busiest first.
std::string threadBreakdown(const std::optional<ProcCost>& cost)
{
    if (!cost)
        return "n/a";
    std::string out;
    for (const auto& thread : cost->threads) {
        if (thread.cpuShare < 0.00005 && thread.wakeupsPerSecond < 0.05)
            continue;
        if (!out.empty())
            out += "; ";
        out += thread.name + " " + ResultTable::number(thread.cpuShare * 100.0, 2) + " %, " +
               ResultTable::number(thread.wakeupsPerSecond, 1) + " /s";
        // CPU per wake-up tells a costly wake-up from a needless one.
        if (thread.wakeupsPerSecond >= 1.0)
            out += " (" + ResultTable::number(thread.cpuShare / thread.wakeupsPerSecond * 1e6, 0) +
                   " µs each)";
    }
    return out.empty() ? "all asleep" : out;
}

// The main thread's CPU time per wake-up in µs: the thread keeps the executable's name.
std::optional<double> mainWakeupMicros(const std::optional<ProcCost>& cost)
{
    if (!cost)
        return std::nullopt;
    for (const auto& thread : cost->threads)
        if (thread.name == "beamwick" && thread.wakeupsPerSecond >= 1.0)
            return thread.cpuShare / thread.wakeupsPerSecond * 1e6;
    return std::nullopt;
}

std::string seconds(double value)
{
    return ResultTable::number(value, 0) + " s";
}

} // namespace

std::string RunReport::cpuModel(const std::string& cpuinfo)
{
    std::istringstream lines(cpuinfo);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("model name", 0) != 0)
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const auto start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return "unknown";
}

RunReport::Machine RunReport::describeMachine(const std::string& procRoot)
{
    Machine machine;
    machine.cores = std::thread::hardware_concurrency();
    machine.cpuModel = cpuModel(slurp(procRoot + "/cpuinfo"));
    utsname names{};
    if (::uname(&names) == 0)
        machine.kernel = std::string(names.sysname) + " " + names.release + " " + names.machine;
    std::istringstream load(slurp(procRoot + "/loadavg"));
    std::string one, five, fifteen;
    load >> one >> five >> fifteen;
    machine.loadBefore = one + " " + five + " " + fifteen;
    return machine;
}

namespace {

constexpr double kLatencyMedianMs = 8.0;
constexpr double kLatencyP95Ms = 14.0;
constexpr double kPeerRatio = 0.5;

// The latency rows of one server; suffix names the server when it is not PulseAudio.
void addLatencyRows(ResultTable& table, const RunReport::MusicFigures& figures,
                    const std::string& suffix, const std::string& method)
{
    const auto& latency = figures.latency;
    const std::size_t onsets = latency ? latency->onsets : 0;
    const std::string count = " (" + std::to_string(onsets) + " kicks)";
    const std::string median = "≤ " + ResultTable::number(kLatencyMedianMs, 0) + " ms";
    const std::string p95 = "≤ " + ResultTable::number(kLatencyP95Ms, 0) + " ms";
    table.add({"Beat-to-light latency, median" + suffix,
               optionalMs(latency ? latency->medianMs() : std::nullopt) + count, median,
               ResultTable::atMost(latency ? latency->medianMs() : std::nullopt, kLatencyMedianMs,
                                   " ms", 1),
               method});
    table.add(
        {"Beat-to-light latency, 95th percentile" + suffix,
         optionalMs(latency ? latency->p95Ms() : std::nullopt), p95,
         ResultTable::atMost(latency ? latency->p95Ms() : std::nullopt, kLatencyP95Ms, " ms", 1),
         "nearest rank of the same delays"});
    table.add({"Beat-to-light latency, maximum" + suffix,
               optionalMs(latency ? latency->maxMs() : std::nullopt), "—", "—", "the same delays"});
    std::string lowResult = "n/a";
    std::string lowVerdict = "not measured";
    if (figures.latencyLowLatency) {
        const auto& low = *figures.latencyLowLatency;
        lowResult = "median " + optionalMs(low.medianMs()) + ", 95th percentile " +
                    optionalMs(low.p95Ms()) + ", " + std::to_string(low.missed) + " of " +
                    std::to_string(low.onsets) + " kicks missed";
        std::string parts;
        for (const auto& [what, verdict] :
             {std::pair<std::string, std::string>{
                  "median", ResultTable::atMost(low.medianMs(), kLatencyMedianMs, " ms", 1)},
              {"95th percentile", ResultTable::atMost(low.p95Ms(), kLatencyP95Ms, " ms", 1)},
              {"missed kicks",
               ResultTable::atMost(low.onsets ? std::optional(double(low.missed)) : std::nullopt,
                                   0.0, "", 0)}})
            if (verdict != "met")
                parts += (parts.empty() ? "" : "; ") + what + " " + verdict;
        lowVerdict = parts.empty() ? "met" : parts;
    }
    table.add({"Beat-to-light latency beside a 20 ms low-latency player" + suffix, lowResult,
               median + ", " + p95 + ", none missed", lowVerdict,
               "as above, the player keeping a 20 ms buffer instead of 200 ms"});
    std::optional<double> missed;
    if (latency && latency->onsets > 0)
        missed = static_cast<double>(latency->missed);
    table.add({"Kicks without a flash" + suffix,
               latency ? std::to_string(latency->missed) + " of " + std::to_string(onsets) + " (" +
                             std::to_string(latency->extra) + " flashes without a kick)"
                       : "n/a",
               "0", ResultTable::atMost(missed, 0.0, "", 0),
               "kicks with no flash write in their window"});
}

// Beamwick's CPU beside another client's, measured in the same window.
void addRatioRow(ResultTable& table, const std::string& name,
                 const std::optional<ProcCost>& beamwick, const std::optional<ProcCost>& other,
                 double target, const std::string& how)
{
    std::optional<double> ratio;
    if (beamwick && other && other->cpuShare > 0.0)
        ratio = beamwick->cpuShare / other->cpuShare;
    table.add({name,
               ResultTable::number(ratio, 2) + " × (" +
                   ResultTable::number(percentOf(beamwick), 2) + " % vs " +
                   ResultTable::number(percentOf(other), 2) + " %)",
               "≤ " + ResultTable::number(target, 1) + " ×",
               ResultTable::atMost(ratio, target, " ×", 2), how});
}

void addSideBySideRow(ResultTable& table, const RunReport::MusicFigures& figures,
                      const std::string& suffix, const std::string& window)
{
    addRatioRow(table, "Side by side: Beamwick ÷ cava, CPU" + suffix, figures.sideBySideBeamwick,
                figures.sideBySidePeer, kPeerRatio,
                "both capturing the sink's monitor at once over " + window +
                    " while the kicks play; cava with raw output to /dev/null");
    addRatioRow(table, "Side by side: Beamwick ÷ floor client, CPU" + suffix,
                figures.sideBySideBeamwick, figures.sideBySideFloor, 1.2,
                "in the same window: floor_client, one libpulse thread running the same detector "
                "and beat rule on 512-frame blocks and nothing else");
}

constexpr double kSoakGrowthMb = 1.0;

void addSoakRow(ResultTable& table, const std::string& path,
                const std::optional<RunReport::Soak>& soak, const std::string& method)
{
    const std::string changes = soak ? std::to_string(soak->changes) : std::string("n/a");
    std::optional<double> growth;
    std::string result = "n/a";
    if (soak) {
        growth = double(soak->afterKb - soak->warmUpKb) / 1024.0;
        result = ResultTable::number(double(soak->warmUpKb) / 1024.0, 1) + " MB → " +
                 ResultTable::number(double(soak->afterKb) / 1024.0, 1) + " MB (" +
                 (*growth >= 0 ? "+" : "") +
                 ResultTable::number(double(soak->afterKb - soak->warmUpKb), 0) + " kB) after " +
                 std::to_string(soak->warmUp) + " warm-up changes";
    }
    table.add({"Memory growth over " + changes + " mode changes, " + path, result,
               "≤ " + ResultTable::number(kSoakGrowthMb, 0) + " MB",
               ResultTable::atMost(growth, kSoakGrowthMb, " MB", 2), method});
}

// A delay after the kick is heard: its median and 95th percentile, each within its bound of the
// delay aimed at.
void addLateOutputRow(ResultTable& table, const std::string& figure,
                      const std::optional<LatencyMatch::Summary>& latency, double aimMs,
                      bool judgeP95)
{
    constexpr double kMedianWithinMs = 5.0;
    constexpr double kP95WithinMs = 15.0;
    const std::string target =
        "median " + ResultTable::number(aimMs, 0) + " ± " +
        ResultTable::number(kMedianWithinMs, 0) + " ms" +
        (judgeP95 ? ", 95th percentile ≤ " + ResultTable::number(aimMs + kP95WithinMs, 0) + " ms"
                  : "");
    if (!latency || !latency->medianMs()) {
        table.add({figure, "n/a", target, "not measured", ""});
        return;
    }
    const double median = *latency->medianMs();
    const double p95 = latency->p95Ms().value_or(median);
    const bool met =
        std::abs(median - aimMs) <= kMedianWithinMs && (!judgeP95 || p95 <= aimMs + kP95WithinMs);
    table.add({figure,
               "median " + optionalMs(median) + ", 95th percentile " + optionalMs(p95) + ", " +
                   std::to_string(latency->missed) + " of " + std::to_string(latency->onsets) +
                   " kicks missed",
               target, met ? "met" : "missed",
               "as the first latency row, the null sink replaced by a pipe sink whose pipe a "
               "reader drains at the sample rate (about 130 ms heard after the monitor; "
               "PulseAudio reports it in the sink's latency); a flash up to 300 ms before its "
               "kick still counts"});
}

} // namespace

ResultTable RunReport::table() const
{
    ResultTable table;
    const std::string window = seconds(windowSeconds);
    const std::string onPipeWire = " (PipeWire)";

    addLatencyRows(
        table, pulse, "",
        "kick_player plays 60 Hz kicks at 120 BPM into the null sink (a 200 ms playback "
        "buffer, as music players keep) and takes each kick's "
        "playing time from the stream's timing (pa_stream_get_time, latency-corrected); the "
        "recording service module stamps each table write; delay = first flash write within "
        "[kick − 20 ms, next kick) − kick");
    addLateOutputRow(table, "Beat-to-light latency, output heard 130 ms after its monitor",
                     lateOutput, 0.0, true);
    addLateOutputRow(table,
                     "Beat-to-light latency, the same output with a light delay of +" +
                         ResultTable::number(lightDelayMs, 0) + " ms",
                     lateOutputDelayed, lightDelayMs, false);
    if (pipewire)
        addLatencyRows(table, *pipewire, onPipeWire,
                       "as on PulseAudio, against PipeWire with pipewire-pulse and wireplumber "
                       "(its dummy sink auto_null)");

    const std::string cpuMethod =
        "Δ process CPU time (its CPU-time clock: utime + stime of /proc/<pid>/stat to the "
        "nanosecond) over " +
        window + " from " + ResultTable::number(startUpSeconds, 1) + " s after start" +
        (startUpSeconds > 4.0 ? " (past the tray grace)" : "") + " ÷ wall time";
    const std::string wakeMethod = "Δ voluntary_ctxt_switches summed over /proc/<pid>/task/*/"
                                   "status over the same " +
                                   window + " ÷ wall time";
    struct Mode {
        std::string name;
        const ModeCost& mode;
        double cpuLimit;
        std::string cpuTarget;
        // Judged on wake-ups: only the modes that should sleep.
        bool asleep;
    };
    std::vector<Mode> modes{{"Steady", steady, 0.05, "~0 (≤ 0.05 %)", true},
                            {"Breathe", breathe, 0.3, "≤ 0.3 %", false}};
    const auto addMusic = [&modes](const MusicFigures& figures, const std::string& suffix) {
        modes.push_back({"Music, kicks playing" + suffix, figures.music, 0.8, "≤ 0.8 %", false});
        modes.push_back({"Music beside a 20 ms low-latency player" + suffix,
                         figures.musicLowLatency, 1.0, "≤ 1 %", false});
        modes.push_back({"Music, nothing playing" + suffix, figures.nothingPlaying, 0.05,
                         "~0 (≤ 0.05 %)", true});
    };
    addMusic(pulse, "");
    if (pipewire)
        addMusic(*pipewire, onPipeWire);

    for (const auto& mode : modes) {
        table.add({"CPU, " + mode.name, percent(percentOf(mode.mode.cost)), mode.cpuTarget,
                   ResultTable::atMost(percentOf(mode.mode.cost), mode.cpuLimit, " %", 2),
                   cpuMethod});
    }
    for (const auto& mode : modes) {
        table.add(
            {"Wake-ups, " + mode.name, ResultTable::number(wakeupsOf(mode.mode.cost), 1) + " /s",
             mode.asleep ? "none periodic (≤ 1 /s)" : "—",
             mode.asleep ? ResultTable::atMost(wakeupsOf(mode.mode.cost), 1.0, " /s", 1) : "—",
             wakeMethod});
    }
    for (const auto& mode : modes) {
        if (&mode.mode == &steady)
            continue;
        table.add({"Per thread, " + mode.name, threadBreakdown(mode.mode.cost), "—", "—",
                   "schedstat and voluntary_ctxt_switches of each /proc/<pid>/task/<tid>"});
    }
    const auto addMainWakeup = [&](const MusicFigures& figures, const std::string& suffix) {
        const auto micros = mainWakeupMicros(figures.musicLowLatency.cost);
        table.add({"Main thread per wake-up, Music beside a 20 ms low-latency player" + suffix,
                   ResultTable::number(micros, 1) + " µs", "≤ 15 µs",
                   ResultTable::atMost(micros, 15.0, " µs", 1),
                   "the real executable's main thread (real event dispatcher, controller and "
                   "panel): its schedstat CPU time ÷ its voluntary_ctxt_switches, same window"});
    };
    addMainWakeup(pulse, "");
    if (pipewire)
        addMainWakeup(*pipewire, onPipeWire);
    std::optional<double> extra;
    if (serverPlaybackOnly && serverWithBeamwick)
        extra = (serverWithBeamwick->cpuShare - serverPlaybackOnly->cpuShare) * 100.0;
    table.add({"Sound server CPU, playback alone → with Beamwick capturing",
               ResultTable::number(percentOf(serverPlaybackOnly), 2) + " % → " +
                   ResultTable::number(percentOf(serverWithBeamwick), 2) + " % (" +
                   (extra && *extra >= 0 ? "+" : "") + ResultTable::number(extra, 2) + " %)",
               "reported beside Music", "—",
               "the private PulseAudio daemon's /proc/<pid>/stat over " + window +
                   ", kick_player alone, then with Beamwick in Music mode"});
    for (const auto& mode : modes) {
        table.add({"Peak resident memory, " + mode.name,
                   ResultTable::number(megabytesOf(mode.mode.cost), 1) + " MB", "≤ 40 MB",
                   ResultTable::atMost(megabytesOf(mode.mode.cost), 40.0, " MB", 1),
                   "VmHWM of /proc/<pid>/status at the end of the mode's run"});
    }
    addSoakRow(table, "over the session bus", remoteSoak,
               "mode_soak --remote: Mode set to Breathe and Steady in turn with "
               "org.freedesktop.DBus.Properties.Set, each answered once saved, on the real "
               "executable showing its panel; VmRSS of /proc/<pid>/status after the warm-up and "
               "after the changes");
    addSoakRow(table, "in the panel", panelSoak,
               "mode_soak --panel: the mode selector's Breathe and Steady clicked in turn on a "
               "shown panel (offscreen) over the controller on the test fakes, each change "
               "drawn; VmRSS of the process itself");
    addSideBySideRow(table, pulse, "", window);
    if (pipewire && (pipewire->sideBySideBeamwick || pipewire->sideBySidePeer))
        addSideBySideRow(table, *pipewire, onPipeWire, window);

    if (const auto* detector =
            MicroBenchmarks::find(micro, "BassDetector/512 stereo frames at 48 kHz")) {
        const auto rate = detector->counters.find("frames/s");
        const auto realtime = detector->counters.find("x realtime");
        table.add({"Detector throughput",
                   ResultTable::number(rate == detector->counters.end()
                                           ? std::nullopt
                                           : std::optional(rate->second / 1e6),
                                       1) +
                       " M frames/s (" +
                       ResultTable::number(realtime == detector->counters.end()
                                               ? std::nullopt
                                               : std::optional(realtime->second),
                                           0) +
                       " × real time)",
                   "—", "—", "bass_detector_benchmark: 512-frame stereo blocks at 48 kHz"});
    }
    for (const char* rows : {"2", "64", "1024"}) {
        if (const auto* entry = MicroBenchmarks::find(micro, std::string("setLevelTable/") + rows))
            table.add({std::string("setLevel with a ") + rows + "-row table",
                       ResultTable::number(entry->nanoseconds / 1000.0, 2) + " µs per call", "—",
                       "—", "controller_benchmark: build and write one scaled table"});
    }
    if (const auto* entry = MicroBenchmarks::find(micro, "handleAudioPerBlock"))
        table.add({"handleAudio", ResultTable::number(entry->nanoseconds, 0) + " ns per call", "—",
                   "—", "controller_benchmark: judge one block, a beat every tenth"});
    return table;
}

std::string RunReport::document(const std::string& command) const
{
    const ResultTable results = table();
    std::string missed;
    for (const auto& row : results.rows())
        if (row.verdict != "met" && row.verdict != "—")
            missed += "- " + row.figure + ": " + row.verdict + " (" + row.result + ").\n";

    char date[64] = "";
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));

    std::string out;
    out += "# Performance\n\n";
    out += "Generated by `" + command + "` on " + date +
           ". Do not edit by hand: run the command again.\n\n";
    out += "## Machine\n\n";
    out += "- CPU: " + machine.cpuModel + ", " + std::to_string(machine.cores) + " cores (nproc)\n";
    out += "- Kernel: " + machine.kernel + "\n";
    out += "- Load average (1, 5, 15 min) before: " + machine.loadBefore +
           "; after: " + machine.loadAfter + "\n";
    out += "- Window per figure: " + seconds(windowSeconds) + "\n\n";
    out += "## Results\n\n";
    out += results.markdown();
    out += "\n## How it is measured\n\n"
           "Every figure comes from real parts: a private PulseAudio daemon whose default sink "
           "is a null sink (`norewinds=1`), the real `beamwick` executable (Qt's offscreen "
           "platform, so its panel is open as a window) started from a private install whose "
           "service module is the recording module, and settings seeded with the mode at "
           "brightness 1.0. CPU and memory come from `/proc`; the flash times from the "
           "recording module's log, stamped with `CLOCK_MONOTONIC`, the same clock the kick "
           "player reports in.\n\n"
           "A kick counts as played when the sink's clock reaches its first frame, as the "
           "player's stream timing reports it. The sink's monitor hands audio to capture clients "
           "when the sink mixes it, which is the sink's latency before it is played (on real "
           "hardware as here), so a capture that reacts within that latency lights up as the "
           "kick is heard: delays near zero, or even slightly negative, are genuine.\n\n"
           "On PipeWire the delays sit about one graph cycle higher (the cycle is 512 frames, "
           "10.7 ms, the fragment Beamwick asks for): its monitor hands a cycle's audio to "
           "capture clients once that cycle has ended, and its dummy sink has no device buffer "
           "that would hold the sound back as long. The player's reported position there needs "
           "a few seconds to settle (up to 40 ms late at first), so every player plays 5 s of "
           "silence before its first kick.\n\n"
           "Music is measured beside a kick player with a 200 ms playback buffer, as music "
           "players keep, and again beside one with a 20 ms buffer. The sound server mixes as "
           "often as the shortest latency asked of the sink requires (Beamwick asks for 512 "
           "frames, 10.7 ms; the 20 ms player for about 5 ms) and hands a capture client one "
           "chunk per mix, so the second run delivers twice the chunks and costs twice the "
           "wake-ups.\n\n"
           "In Steady and Breathe the recording module's log is moved aside once the mode is "
           "seen running, so the figures are Beamwick's own cost; in Music it stays, since the "
           "latency needs it, and adds one file append per table write (about two a beat).\n\n"
           "Wake-ups are voluntary context switches: each is a thread going to sleep and being "
           "woken again. The per-thread rows show where they come from: the main thread wakes "
           "for the 0.05 s timer and for every block of audio handed to it, the thread "
           "\"beamwick.audio\" for every chunk the sound server delivers. One audio wake-up, "
           "traced beside the 200 ms player: one poll returning on the stream's shared-ring "
           "eventfd, about three reads (that eventfd and the client library's own wake-up pipe, "
           "drained), three to four writes (that pipe, the ring's eventfd back to the server, and "
           "the eventfd that wakes the main thread for the block) and four or five getpid calls "
           "(the library's fork check on each call). Of these only the main thread's wake-up is "
           "Beamwick's own; the rest is the sound server protocol's.\n";
    out += "\n## Targets missed\n\n";
    out += missed.empty() ? "None.\n" : missed;
    return out;
}
