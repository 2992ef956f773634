// perf_harness: measures what Beamwick costs and how fast it reacts, on real parts, and prints
// one table. Run it through bench/run.sh, which builds everything first.
//
//   perf_harness [--short] [--window SECONDS] [--output FILE] [--command TEXT]
//                [--beamwick EXECUTABLE]   (another build of beamwick, to compare builds)
//
// Exit status 0 when every figure could be measured (whether or not it meets its target), 1 when
// the harness itself could not measure something.
#include "harness/BeamwickInstance.h"
#include "harness/LatencyMatch.h"
#include "harness/MicroBenchmarks.h"
#include "harness/PeerClient.h"
#include "harness/ProcStats.h"
#include "harness/ResultTable.h"
#include "harness/RunReport.h"
#include "harness/WriteLog.h"
#include "testkit/services/LateOutput.h"
#include "testkit/services/PrivateSoundServer.h"

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The recording module's factory table is [[10,100],[20,400]]: levels are first-row values / 100.
constexpr double kFactorySecond = 100.0;
constexpr double kMusicFloor = 0.02;
// Silence the player plays before its first kick. Its stream's reported playing position needs a
// few seconds to settle: on PipeWire it runs up to 40 ms late at first, which would count a
// flash on time as early, so no kick is timed before then.
constexpr double kLeadInSeconds = 5.0;
// A music player's usual playback buffer, and the short one of a player tuned for low latency.
// The shortest buffer on the sink sets how often the sound server mixes, and so how often it
// hands a capture client a chunk of the monitor.
constexpr double kPlayerBufferMs = 200.0;
constexpr double kLowLatencyBufferMs = 20.0;
constexpr double kLightDelayMs = RunReport::lightDelayMs;
// With nothing playing the capture corks and the 50 ms timer stops once the light has settled;
// what is measured is the state it stays in, not the way there.
constexpr double kCorkSettleSeconds = 3.0;
// Without a tray the panel opens as a window once the tray grace (4 s) has passed; that and Qt's
// thread pool winding down are start-up, not what a mode costs all day, so no window opens before.
// A short run, whose figures nobody judges, only keeps the harness from rotting: it measures
// from soon after the start, a minute less of waiting in CI.
constexpr auto kStartUp = std::chrono::milliseconds(5500);
constexpr auto kShortStartUp = std::chrono::milliseconds(1500);

struct Options {
    bool shortRun = false;
    double window = 60.0;
    std::string output;
    std::string command = "bench/run.sh";
    std::string beamwick = BEAMWICK_EXECUTABLE;
};

Options parse(int argc, char** argv)
{
    Options options;
    bool windowGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--short") {
            options.shortRun = true;
        } else if (arg == "--window" && i + 1 < argc) {
            options.window = std::atof(argv[++i]);
            windowGiven = true;
        } else if (arg == "--output" && i + 1 < argc) {
            options.output = argv[++i];
        } else if (arg == "--beamwick" && i + 1 < argc) {
            options.beamwick = argv[++i];
        } else if (arg == "--command" && i + 1 < argc) {
            options.command = argv[++i];
        } else {
            std::fprintf(stderr, "perf_harness: unknown argument %s\n", arg.c_str());
            std::exit(2);
        }
    }
    if (options.shortRun && !windowGiven)
        options.window = 1.0;
    if (!(options.window > 0.5))
        options.window = 0.5;
    return options;
}

// The main-thread profile closing docs/performance.md comes from perf and callgrind runs made by
// hand (bench/profile-main-thread.sh), not from this harness; a new run keeps it.
const std::string kProfileHeading = "\n## Where a main-thread wake-up goes\n";

std::string keptProfile(const std::string& path)
{
    std::ifstream old(path);
    std::stringstream text;
    text << old.rdbuf();
    const std::string content = text.str();
    const auto at = content.find(kProfileHeading);
    return at == std::string::npos ? std::string() : content.substr(at);
}

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

class Harness {
public:
    explicit Harness(Options options) : m_options(std::move(options)) {}

    int run();

private:
    bool fail(const std::string& what)
    {
        std::fprintf(stderr, "perf_harness: %s\n", what.c_str());
        m_broken = true;
        return false;
    }
    std::map<std::string, std::string> serviceEnvironment() const
    {
        return {{"PULSE_SERVER", m_services->address()},
                {"DBUS_SESSION_BUS_ADDRESS", m_services->busAddress()}};
    }
    std::string workDirectory(const std::string& name) const
    {
        return m_services->directory() + "/" + name;
    }
    void progress(const std::string& what) const
    {
        std::fprintf(stderr, "perf_harness: %s, %s…\n", m_services->name(), what.c_str());
    }
    bool startBeamwick(BeamwickInstance& instance, const std::string& mode);
    void measureIdleMode(const std::string& mode, RunReport::ModeCost& out,
                         double settleSeconds = 1.0);
    void measurePlaybackOnly();
    void measureMusic(double bufferMs, RunReport::ModeCost& cost,
                      std::optional<LatencyMatch::Summary>& latency,
                      std::optional<ProcCost>* server, const std::string& settings = "",
                      LatencyMatch::Window window = {});
    // Music on an output heard well after its monitor, with the user's light delay for it.
    void measureLateOutput(double delayMs, std::optional<LatencyMatch::Summary>& latency);
    void measureSideBySide(RunReport::MusicFigures& figures);
    void measureMusicFigures(RunReport::MusicFigures& figures, bool sideBySide);
    void measurePulseAudio();
    void measurePipeWire();
    void measureMicroBenchmarks();
    void measureSoaks();
    std::optional<RunReport::Soak> soak(const std::string& name, std::vector<std::string> arguments,
                                        const std::map<std::string, std::string>& environment);
    std::optional<std::vector<std::int64_t>> readOnsets(const std::string& path);
    bool startPlayer(ChildProcess& player, const std::string& output,
                     double bufferMs = kPlayerBufferMs);

    Options m_options;
    // The sound server being measured.
    PrivateSoundServer* m_services = nullptr;
    RunReport m_report;
    bool m_broken = false;
};

bool Harness::startBeamwick(BeamwickInstance& instance, const std::string& mode)
{
    const auto started = std::chrono::steady_clock::now();
    if (!instance.prepare() || !instance.start(mode, serviceEnvironment()))
        return fail(instance.errorText());
    // Each mode has written its first table once it runs: Steady its level, Breathe its first
    // ticks, Music the follow time and its floor.
    const auto ready = [mode](const std::string& log) {
        const auto writes = WriteLog::tableWrites(log, kFactorySecond);
        if (mode == "Music")
            return WriteLog::hasKey(log, WriteLog::tauKey) && !writes.empty();
        if (mode == "Breathe")
            return writes.size() >= 2;
        return !writes.empty();
    };
    if (!instance.waitForLog(ready, 15s))
        return fail(mode + ": " + instance.errorText());
    std::this_thread::sleep_until(started + (m_options.shortRun ? kShortStartUp : kStartUp));
    return true;
}

void Harness::measureIdleMode(const std::string& mode, RunReport::ModeCost& out,
                              double settleSeconds)
{
    BeamwickInstance beamwick(workDirectory(mode), {m_options.beamwick, RECORDING_SERVICE_MODULE});
    if (!startBeamwick(beamwick, mode))
        return;
    if (!beamwick.detachLog())
        fail(mode + ": " + beamwick.errorText());
    // Start-up work is not what the mode costs.
    sleepSeconds(settleSeconds);
    const auto before = ProcStats::sample(beamwick.pid());
    sleepSeconds(m_options.window);
    const auto after = ProcStats::sample(beamwick.pid());
    if (!before || !after) {
        fail(mode + ": beamwick vanished while measured");
        return;
    }
    out.cost = ProcStats::cost(*before, *after);
    if (beamwick.stop() != 0)
        fail(mode + ": beamwick did not quit cleanly");
}

bool Harness::startPlayer(ChildProcess& player, const std::string& output, double bufferMs)
{
    const double seconds = kLeadInSeconds + m_options.window + 0.5;
    ChildProcess::Launch launch{KICK_PLAYER_EXECUTABLE,
                                {"--seconds", std::to_string(seconds), "--bpm", "120", "--lead-in",
                                 std::to_string(kLeadInSeconds), "--buffer-ms",
                                 std::to_string(bufferMs)},
                                serviceEnvironment(),
                                output};
    if (!player.start(launch))
        return fail(player.errorText());
    return true;
}

std::optional<std::vector<std::int64_t>> Harness::readOnsets(const std::string& path)
{
    std::istringstream lines(WriteLog::readAll(path));
    std::vector<std::int64_t> onsets;
    std::string line;
    bool finished = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "onset") {
            long long index = 0, frame = 0;
            std::string played;
            words >> index >> frame >> played;
            if (played == "unknown")
                continue;
            onsets.push_back(std::stoll(played));
        } else if (word == "played") {
            finished = true;
        }
    }
    if (!finished)
        return std::nullopt;
    return onsets;
}

void Harness::measurePlaybackOnly()
{
    ChildProcess player;
    const std::string output = workDirectory("baseline-player.out");
    if (!startPlayer(player, output))
        return;
    sleepSeconds(kLeadInSeconds);
    const pid_t server = m_services->serverPids().front();
    const auto before = ProcStats::sample(server);
    sleepSeconds(m_options.window);
    const auto after = ProcStats::sample(server);
    if (!player.wait(10s) || !before || !after) {
        fail("playback alone could not be measured (see " + output + ")");
        return;
    }
    m_report.serverPlaybackOnly = ProcStats::cost(*before, *after);
}

void Harness::measureMusic(double bufferMs, RunReport::ModeCost& cost,
                           std::optional<LatencyMatch::Summary>& latency,
                           std::optional<ProcCost>* server, const std::string& settings,
                           LatencyMatch::Window window)
{
    const std::string name =
        "Music-" + std::to_string(static_cast<int>(bufferMs)) + "ms" +
        // Each seeding its own folder: a player's output file is appended to.
        (settings.empty() ? "" : "-" + std::to_string(std::hash<std::string>{}(settings)));
    BeamwickInstance beamwick(workDirectory(name), {m_options.beamwick, RECORDING_SERVICE_MODULE});
    beamwick.seedAlso(settings);
    if (!startBeamwick(beamwick, "Music"))
        return;
    sleepSeconds(0.5);
    ChildProcess player;
    const std::string output = workDirectory(name + "-player.out");
    if (!startPlayer(player, output, bufferMs))
        return;
    sleepSeconds(kLeadInSeconds);
    const pid_t serverPid = m_services->serverPids().front();
    const auto before = ProcStats::sample(beamwick.pid());
    const auto serverBefore = ProcStats::sample(serverPid);
    sleepSeconds(m_options.window);
    const auto after = ProcStats::sample(beamwick.pid());
    const auto serverAfter = ProcStats::sample(serverPid);
    if (!before || !after || !serverBefore || !serverAfter) {
        fail("Music: beamwick or the sound server vanished while measured");
        return;
    }
    cost.cost = ProcStats::cost(*before, *after);
    if (server)
        *server = ProcStats::cost(*serverBefore, *serverAfter);

    const bool played = player.wait(10s) == 0;
    // Flashes still in flight from the last kick land within a fraction of a second.
    sleepSeconds(0.3);
    const auto onsets = readOnsets(output);
    if (!played || !onsets) {
        fail("Music: the kick track did not play to the end (see " + output + ")");
        return;
    }
    const auto writes = WriteLog::readTableWrites(beamwick.logPath(), kFactorySecond);
    if (beamwick.stop() != 0)
        fail("Music: beamwick did not quit cleanly");
    if (onsets->empty()) {
        fail("Music: no onset's playing time could be established (see " + output + ")");
        return;
    }
    const auto flashes = WriteLog::flashes(writes, kMusicFloor, onsets->front() - 1'000'000'000,
                                           onsets->back() + 1'000'000'000);
    latency = LatencyMatch::match(*onsets, flashes, window);
}

void Harness::measureLateOutput(double delayMs, std::optional<LatencyMatch::Summary>& latency)
{
    LateOutput late(*m_services, m_services->directory());
    if (!late.ready()) {
        fail("the late output could not be made: " + m_services->log());
        return;
    }
    RunReport::ModeCost cost;
    // A build that flashes as the beat reaches the monitor flashes before it is heard.
    const LatencyMatch::Window early{.earlyNs = 300'000'000, .lateNs = 450'000'000};
    measureMusic(kPlayerBufferMs, cost, latency, nullptr,
                 std::string(R"("lightDelays": {")") + LateOutput::sinkName + R"(": )" +
                     std::to_string(delayMs) + "}",
                 early);
}

void Harness::measureSideBySide(RunReport::MusicFigures& figures)
{
    if (!PeerClient::installed()) {
        fail(std::string("the peer capture client is not installed: ") + PeerClient::program +
             " (apt-get install cava)");
        return;
    }
    BeamwickInstance beamwick(workDirectory("SideBySide"),
                              {m_options.beamwick, RECORDING_SERVICE_MODULE});
    if (!startBeamwick(beamwick, "Music"))
        return;
    PeerClient peer(workDirectory("peer"));
    if (!peer.start(m_services->sinkName() + ".monitor", serviceEnvironment())) {
        fail("peer: " + peer.errorText());
        return;
    }
    ChildProcess floor;
    if (!floor.start(
            {FLOOR_CLIENT_EXECUTABLE, {}, serviceEnvironment(), workDirectory("floor.out")})) {
        fail("floor client: " + floor.errorText());
        return;
    }
    sleepSeconds(0.5);
    ChildProcess player;
    if (!startPlayer(player, workDirectory("side-player.out")))
        return;
    sleepSeconds(kLeadInSeconds);
    const auto before = ProcStats::sample(beamwick.pid());
    const auto peerBefore = ProcStats::sample(peer.pid());
    const auto floorBefore = ProcStats::sample(floor.pid());
    sleepSeconds(m_options.window);
    const auto after = ProcStats::sample(beamwick.pid());
    const auto peerAfter = ProcStats::sample(peer.pid());
    const auto floorAfter = ProcStats::sample(floor.pid());
    if (floorBefore && floorAfter && floor.running())
        figures.sideBySideFloor = ProcStats::cost(*floorBefore, *floorAfter);
    else
        fail("side by side: the floor client vanished (see " + workDirectory("floor.out") + ")");
    if (!before || !after || !peerBefore || !peerAfter || !peer.running()) {
        fail("side by side: beamwick or the peer vanished while measured (see " +
             workDirectory("peer/peer.out") + ")");
        return;
    }
    figures.sideBySideBeamwick = ProcStats::cost(*before, *after);
    figures.sideBySidePeer = ProcStats::cost(*peerBefore, *peerAfter);
    player.wait(10s);
    peer.stop();
    floor.stop();
    if (beamwick.stop() != 0)
        fail("side by side: beamwick did not quit cleanly");
}

void Harness::measureMicroBenchmarks()
{
    const std::string minTime = m_options.shortRun ? "0.05" : "0.5";
    // No sound server is involved, so the reports live outside the servers' directories.
    const QTemporaryDir directory;
    for (const char* program : {BASS_DETECTOR_BENCHMARK, CONTROLLER_BENCHMARK}) {
        const std::string output =
            directory.filePath(QString::fromStdString(std::filesystem::path(program).filename()))
                .toStdString();
        ChildProcess benchmark;
        ChildProcess::Launch launch{program,
                                    {"--benchmark_format=json", "--benchmark_min_time=" + minTime,
                                     "--benchmark_out=" + output + ".json",
                                     "--benchmark_out_format=json"},
                                    {{"QT_QPA_PLATFORM", "offscreen"}},
                                    output + ".log"};
        if (!benchmark.start(launch) || benchmark.wait(120s) != 0) {
            fail(std::string(program) + " failed (see " + output + ".log)");
            continue;
        }
        const auto entries = MicroBenchmarks::parse(WriteLog::readAll(output + ".json"));
        if (!entries) {
            fail(std::string(program) + " wrote no benchmark report");
            continue;
        }
        m_report.micro.insert(m_report.micro.end(), entries->begin(), entries->end());
    }
}

std::optional<RunReport::Soak> Harness::soak(const std::string& name,
                                             std::vector<std::string> arguments,
                                             const std::map<std::string, std::string>& environment)
{
    // A short run only keeps the harness from rotting; the figure is a long run's.
    RunReport::Soak soak{.warmUp = m_options.shortRun ? 200 : 5000,
                         .changes = m_options.shortRun ? 800 : 20000};
    arguments.insert(arguments.end(), {"--warm-up", std::to_string(soak.warmUp), "--changes",
                                       std::to_string(soak.changes)});
    const std::string output = workDirectory(name + ".out");
    ChildProcess run;
    if (!run.start({MODE_SOAK, arguments, environment, output}) || run.wait(600s) != 0) {
        // The folder goes with the sound server: what it said must be shown now.
        fail(name + " failed: " + WriteLog::readAll(output));
        return std::nullopt;
    }
    std::istringstream lines(WriteLog::readAll(output));
    std::string word;
    long long kb = 0;
    while (lines >> word) {
        if (word == "warm-up-kb" && lines >> kb)
            soak.warmUpKb = kb;
        else if (word == "after-kb" && lines >> kb)
            soak.afterKb = kb;
    }
    if (soak.warmUpKb <= 0 || soak.afterKb <= 0) {
        fail(name + " printed no memory figures (see " + output + ")");
        return std::nullopt;
    }
    return soak;
}

void Harness::measureSoaks()
{
    BeamwickInstance beamwick(workDirectory("Soak"),
                              {m_options.beamwick, RECORDING_SERVICE_MODULE});
    // In Steady, with no tray: the panel is shown as a window, so every change is drawn.
    if (!startBeamwick(beamwick, "Steady"))
        return;
    if (!beamwick.detachLog())
        fail("soak: " + beamwick.errorText());
    m_report.remoteSoak =
        soak("remote-soak", {"--remote", std::to_string(beamwick.pid())}, serviceEnvironment());
    if (beamwick.stop() != 0)
        fail("soak: beamwick did not quit cleanly");
    m_report.panelSoak = soak("panel-soak", {"--panel"}, {{"QT_QPA_PLATFORM", "offscreen"}});
}

void Harness::measureMusicFigures(RunReport::MusicFigures& figures, bool sideBySide)
{
    // First, with no player left running.
    progress("Music with nothing playing");
    measureIdleMode("Music", figures.nothingPlaying, kCorkSettleSeconds);
    progress("Music with the kick track");
    measureMusic(kPlayerBufferMs, figures.music, figures.latency,
                 m_services->kind() == PrivateSoundServer::Kind::pulseAudio
                     ? &m_report.serverWithBeamwick
                     : nullptr);
    progress("Music beside a low-latency player");
    measureMusic(kLowLatencyBufferMs, figures.musicLowLatency, figures.latencyLowLatency, nullptr);
    if (sideBySide) {
        progress("Music beside the peer");
        measureSideBySide(figures);
    }
}

void Harness::measurePulseAudio()
{
    PrivateSoundServer services({PrivateSoundServer::Kind::pulseAudio});
    m_services = &services;
    if (!services.start()) {
        fail(services.errorText());
        return;
    }
    progress("Steady");
    measureIdleMode("Steady", m_report.steady);
    progress("Breathe");
    measureIdleMode("Breathe", m_report.breathe);
    progress("playback alone");
    measurePlaybackOnly();
    measureMusicFigures(m_report.pulse, true);
    progress("Music on an output heard later");
    measureLateOutput(0.0, m_report.lateOutput);
    progress("Music on an output heard later, with a light delay");
    measureLateOutput(kLightDelayMs, m_report.lateOutputDelayed);
    progress("memory over many mode changes");
    measureSoaks();
    m_services = nullptr;
}

void Harness::measurePipeWire()
{
    PrivateSoundServer services({.kind = PrivateSoundServer::Kind::pipeWire, .standInSink = true});
    m_services = &services;
    if (!services.start()) {
        // The short run keeps CI quick and must not fail on a machine whose PipeWire cannot
        // start; it says why, and the figures stay absent.
        if (m_options.shortRun) {
            std::fprintf(stderr, "perf_harness: PipeWire skipped: %s\n",
                         services.errorText().c_str());
        } else {
            m_report.pipewire.emplace();
            fail(services.errorText());
        }
        m_services = nullptr;
        return;
    }
    m_report.pipewire.emplace();
    measureMusicFigures(*m_report.pipewire, !m_options.shortRun);
    m_services = nullptr;
}

int Harness::run()
{
    m_report.windowSeconds = m_options.window;
    m_report.startUpSeconds =
        std::chrono::duration<double>(m_options.shortRun ? kShortStartUp : kStartUp).count();
    m_report.machine = RunReport::describeMachine();
    std::fprintf(stderr, "perf_harness: %.0f s per figure\n", m_options.window);
    measurePulseAudio();
    measurePipeWire();
    std::fprintf(stderr, "perf_harness: micro-benchmarks…\n");
    measureMicroBenchmarks();
    m_report.machine.loadAfter = RunReport::describeMachine().loadBefore;

    const std::string table = m_report.table().markdown();
    std::cout << table << std::flush;
    if (!m_options.output.empty()) {
        const std::string profile = keptProfile(m_options.output);
        std::ofstream doc(m_options.output, std::ios::trunc);
        doc << m_report.document(m_options.command) << profile;
        if (!doc)
            fail("cannot write " + m_options.output);
    }
    return m_broken ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    return Harness(parse(argc, argv)).run();
}
