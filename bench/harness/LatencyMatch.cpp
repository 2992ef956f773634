#include "LatencyMatch.h"

#include <algorithm>
#include <cmath>

std::optional<double> LatencyMatch::percentile(const std::vector<double>& ascending, double p)
{
    if (ascending.empty() || !(p > 0.0) || p > 100.0)
        return std::nullopt;
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * ascending.size()));
    return ascending[std::clamp<std::size_t>(rank, 1, ascending.size()) - 1];
}

std::optional<double> LatencyMatch::Summary::medianMs() const
{
    if (delaysMs.empty())
        return std::nullopt;
    const std::size_t n = delaysMs.size();
    return n % 2 ? delaysMs[n / 2] : (delaysMs[n / 2 - 1] + delaysMs[n / 2]) / 2.0;
}

std::optional<double> LatencyMatch::Summary::p95Ms() const
{
    return percentile(delaysMs, 95.0);
}

std::optional<double> LatencyMatch::Summary::maxMs() const
{
    if (delaysMs.empty())
        return std::nullopt;
    return delaysMs.back();
}

LatencyMatch::Summary LatencyMatch::match(const std::vector<std::int64_t>& onsetsNs,
                                          const std::vector<std::int64_t>& flashesNs, Window window)
{
    Summary summary;
    summary.onsets = onsetsNs.size();
    std::vector<bool> used(flashesNs.size(), false);
    std::size_t next = 0;
    for (std::size_t i = 0; i < onsetsNs.size(); ++i) {
        const std::int64_t from = onsetsNs[i] - window.earlyNs;
        std::int64_t until = onsetsNs[i] + window.lateNs;
        if (i + 1 < onsetsNs.size())
            until = std::min(until, onsetsNs[i + 1] - window.earlyNs);
        while (next < flashesNs.size() && flashesNs[next] < from)
            ++next;
        if (next < flashesNs.size() && flashesNs[next] < until) {
            used[next] = true;
            summary.delaysMs.push_back(static_cast<double>(flashesNs[next] - onsetsNs[i]) / 1e6);
            ++next;
        } else {
            ++summary.missed;
        }
    }
    if (!onsetsNs.empty()) {
        const std::int64_t first = onsetsNs.front() - window.earlyNs;
        const std::int64_t last = onsetsNs.back() + window.lateNs;
        for (std::size_t f = 0; f < flashesNs.size(); ++f)
            if (!used[f] && flashesNs[f] >= first && flashesNs[f] < last)
                ++summary.extra;
    }
    std::sort(summary.delaysMs.begin(), summary.delaysMs.end());
    return summary;
}
