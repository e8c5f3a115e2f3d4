#include "literal_difference.hpp"

#include <algorithm>
#include <cstdint>

namespace korvane_test {

namespace {

std::string str(std::size_t v) { return std::to_string(v); }

std::string members(const korvane::Simulator& sim, std::size_t q) {
    std::string s;
    sim.neighbours(q).for_each([&](korvane::Qubit m) { s += " " + str(m); });
    return s;
}

std::string members(const LiteralEngine& lit, std::size_t q) {
    std::string s;
    for (std::size_t m = 0; m < lit.size(); ++m)
        if (lit.has_edge(q, m)) s += " " + str(m);
    return s;
}

std::string one_sided_edges(const korvane::Simulator& sim) {
    std::size_t count = 0;
    for (std::size_t a = 0; a < sim.size(); ++a)
        sim.neighbours(a).for_each([&](korvane::Qubit m) { count += m >= sim.size() || !sim.has_edge(m, a); });
    return "\n    one-sided edges in the graph: " + str(count);
}

}  // namespace

std::string literal_difference(const korvane::Simulator& sim, const LiteralEngine& lit,
                               const std::vector<std::size_t>* qubits) {
    const std::size_t n = lit.size();
    if (sim.size() != n) return "qubit count " + str(sim.size());
    const std::size_t total = qubits ? qubits->size() : n;
    auto qubit = [&](std::size_t i) { return qubits ? (*qubits)[i] : i; };
    for (std::size_t i = 0; i < total; ++i)
        if (const std::size_t q = qubit(i); sim.vop(q) != lit.vop(q))
            return "VOP of " + str(q) + " is " + str(sim.vop(q)) + ", literal " + str(lit.vop(q)) + one_sided_edges(sim);
    static std::vector<std::uint64_t> row;
    row.resize((n + 63) / 64);
    for (std::size_t i = 0; i < total; ++i) {
        const std::size_t q = qubit(i);
        std::fill(row.begin(), row.end(), 0);
        std::size_t count = 0, last = 0;
        bool ascending = true, in_range = true;
        sim.neighbours(q).for_each([&](korvane::Qubit m) {
            ascending = ascending && (count == 0 || m > last);
            in_range = in_range && m < n;
            if (m < n) row[m / 64] |= std::uint64_t{1} << (m % 64);
            last = m;
            ++count;
        });
        if (!ascending || !in_range || !std::equal(row.begin(), row.end(), lit.row(q)) || sim.degree(q) != count)
            return "row " + str(q) + " (degree " + str(sim.degree(q)) + "):" + members(sim, q) +
                   "\n    literal:" + members(lit, q) + one_sided_edges(sim);
    }
    return "";
}

}  // namespace korvane_test
