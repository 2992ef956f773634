#include "ProcStats.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

std::optional<std::string> slurp(const std::filesystem::path& path)
{
    std::ifstream file(path);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::optional<long long> parseNumber(std::string_view text)
{
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr == text.data())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<long long> ProcStats::cpuTicks(std::string_view stat)
{
    // The command name in parentheses may itself hold spaces and parentheses: fields are
    // counted from the last ')'. Field 3 (state) follows it; utime and stime are fields 14, 15.
    const auto close = stat.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    std::vector<std::string_view> fields;
    std::string_view rest = stat.substr(close + 1);
    while (!rest.empty() && fields.size() < 13) {
        const auto start = rest.find_first_not_of(" \n");
        if (start == std::string_view::npos)
            break;
        rest = rest.substr(start);
        const auto end = rest.find_first_of(" \n");
        fields.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    if (fields.size() < 13)
        return std::nullopt;
    const auto utime = parseNumber(fields[11]);
    const auto stime = parseNumber(fields[12]);
    if (!utime || !stime)
        return std::nullopt;
    return *utime + *stime;
}

std::optional<long long> ProcStats::statusField(std::string_view status, std::string_view name)
{
    std::size_t at = 0;
    while (at < status.size()) {
        const auto end = status.find('\n', at);
        const std::string_view line =
            status.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? status.size() : end + 1;
        if (line.size() > name.size() && line.substr(0, name.size()) == name &&
            line[name.size()] == ':') {
            std::string_view value = line.substr(name.size() + 1);
            const auto digits = value.find_first_not_of(" \t");
            if (digits == std::string_view::npos)
                return std::nullopt;
            return parseNumber(value.substr(digits));
        }
    }
    return std::nullopt;
}

std::optional<ProcSample> ProcStats::sample(pid_t pid, const std::string& procRoot)
{
    const std::filesystem::path dir = std::filesystem::path(procRoot) / std::to_string(pid);
    ProcSample out;
    out.at = std::chrono::steady_clock::now();
    const auto stat = slurp(dir / "stat");
    const auto status = slurp(dir / "status");
    if (!stat || !status)
        return std::nullopt;
    const auto ticks = cpuTicks(*stat);
    if (!ticks)
        return std::nullopt;
    static const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    out.cpuSeconds = static_cast<double>(*ticks) / static_cast<double>(ticksPerSecond);
    clockid_t clock{};
    timespec used{};
    if (procRoot == "/proc" && ::clock_getcpuclockid(pid, &clock) == 0 &&
        ::clock_gettime(clock, &used) == 0)
        out.cpuSeconds = static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    out.peakRssKb = statusField(*status, "VmHWM").value_or(0);
    out.rssKb = statusField(*status, "VmRSS").value_or(0);

    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(dir / "task", error)) {
        const auto tid = parseNumber(task.path().filename().string());
        const auto taskStatus = slurp(task.path() / "status");
        if (!tid || !taskStatus)
            continue;
        ProcSample::Thread thread;
        thread.voluntarySwitches = statusField(*taskStatus, "voluntary_ctxt_switches").value_or(0);
        thread.cpuNs = schedstatNs(slurp(task.path() / "schedstat").value_or("")).value_or(0);
        thread.name = slurp(task.path() / "comm").value_or("");
        while (!thread.name.empty() && thread.name.back() == '\n')
            thread.name.pop_back();
        out.threads[static_cast<pid_t>(*tid)] = std::move(thread);
    }
    return out;
}

std::optional<long long> ProcStats::schedstatNs(std::string_view schedstat)
{
    const auto start = schedstat.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return std::nullopt;
    return parseNumber(schedstat.substr(start));
}

ProcCost ProcStats::cost(const ProcSample& before, const ProcSample& after)
{
    ProcCost out;
    out.seconds = std::chrono::duration<double>(after.at - before.at).count();
    out.peakRssKb = after.peakRssKb;
    if (!(out.seconds > 0.0))
        return out;
    out.cpuShare = (after.cpuSeconds - before.cpuSeconds) / out.seconds;
    long long switches = 0;
    for (const auto& [tid, thread] : after.threads) {
        const auto earlier = before.threads.find(tid);
        const bool known = earlier != before.threads.end();
        const long long threadSwitches =
            thread.voluntarySwitches - (known ? earlier->second.voluntarySwitches : 0);
        const long long threadNs = thread.cpuNs - (known ? earlier->second.cpuNs : 0);
        switches += threadSwitches;
        out.threads.push_back({thread.name, static_cast<double>(threadNs) / 1e9 / out.seconds,
                               static_cast<double>(threadSwitches) / out.seconds});
    }
    std::stable_sort(out.threads.begin(), out.threads.end(),
                     [](const auto& a, const auto& b) { return a.cpuShare > b.cpuShare; });
    out.wakeupsPerSecond = static_cast<double>(switches) / out.seconds;
    return out;
}
