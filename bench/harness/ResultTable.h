#pragma once

#include <optional>
#include <string>
#include <vector>

// The one table the benchmark command prints: each figure with its result, target, whether the
// target is met, and how it was measured. Rendered as Markdown, which also reads well in a
// terminal.
class ResultTable {
public:
    struct Row {
        std::string figure;
        std::string result;
        std::string target;
        std::string verdict;
        std::string method;
    };

    void add(Row row) { m_rows.push_back(std::move(row)); }
    const std::vector<Row>& rows() const { return m_rows; }
    std::string markdown() const;

    // "met", or "missed by <excess><unit>"; "not measured" when there is no value.
    static std::string atMost(std::optional<double> value, double limit, const std::string& unit,
                              int decimals);
    // A number with a fixed count of decimals, or "n/a".
    static std::string number(std::optional<double> value, int decimals);

private:
    std::vector<Row> m_rows;
};
