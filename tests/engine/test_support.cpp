#include "test_support.hpp"

#include <sstream>

namespace korvane_test {

using korvane::TwoQubitGate;

StateVector represented_state(const Simulator& sim) {
    const int n = static_cast<int>(sim.size());
    StateVector psi = StateVector::plus_state(n);
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b)
            if (sim.has_edge(static_cast<std::size_t>(a), static_cast<std::size_t>(b))) psi.apply_cz(a, b);
    for (int q = 0; q < n; ++q) psi.apply(q, vop_matrix(sim.vop(static_cast<std::size_t>(q))));
    return psi;
}

std::string index_message(std::size_t len, std::size_t index) {
    return "index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index);
}

std::string equal_operands_message(std::size_t q) {
    return "assertion `left != right` failed: Same control and target not allowed\n  left: " + std::to_string(q) +
           "\n right: " + std::to_string(q);
}

std::uint32_t ScriptedSource::next_u32() {
    if (pos_ >= values_.size()) {
        ADD_FAILURE() << "more values drawn than scripted (" << values_.size() << ")";
        ++pos_;
        return 0;
    }
    return values_[pos_++];
}

std::uint32_t ForcedBitSource::next_u32() {
    ++draws_;
    return (static_cast<std::uint32_t>(bit_) << 31) | (static_cast<std::uint32_t>(engine_()) >> 1);
}

std::uint32_t RecordingSource::next_u32() {
    const auto v = static_cast<std::uint32_t>(engine_());
    drawn_.push_back(v);
    return v;
}

const char* layout_name(korvane::RowLayout layout) {
    return layout == korvane::RowLayout::full ? "full rows" : layout == korvane::RowLayout::windowed ? "windowed rows" : "automatic";
}

Simulator random_representation(std::size_t n, double edge_probability, std::mt19937& rng, korvane::RowLayout layout) {
    Simulator sim(n, layout);
    std::bernoulli_distribution edge(edge_probability);
    std::uniform_int_distribution<int> vop(0, 23);
    for (std::size_t a = 0; a < n; ++a) {
        sim.set_vop(a, static_cast<korvane::Vop>(vop(rng)));
        for (std::size_t b = a + 1; b < n; ++b)
            if (edge(rng)) sim.add_edge(a, b);
    }
    return sim;
}

const std::array<SingleQubitGate, 6>& single_qubit_gates() {
    static const std::array<SingleQubitGate, 6> gates{{
        {"h", &Simulator::h, hadamard_matrix()},
        {"s", &Simulator::s, phase_matrix()},
        {"sdag", &Simulator::sdag, phase_dagger_matrix()},
        {"x", &Simulator::x, pauli_matrix(0)},
        {"y", &Simulator::y, pauli_matrix(1)},
        {"z", &Simulator::z, pauli_matrix(2)},
    }};
    return gates;
}

const std::array<TwoQubitKind, 9>& two_qubit_kinds() {
    static const std::array<TwoQubitKind, 9> kinds{{
        {"cz", true, TwoQubitGate::cx, 2, 2},
        {"cx", false, TwoQubitGate::cx, 2, 0},
        {"cy", false, TwoQubitGate::cy, 2, 1},
        {"xcx", false, TwoQubitGate::xcx, 0, 0},
        {"xcy", false, TwoQubitGate::xcy, 0, 1},
        {"xcz", false, TwoQubitGate::xcz, 0, 2},
        {"ycx", false, TwoQubitGate::ycx, 1, 0},
        {"ycy", false, TwoQubitGate::ycy, 1, 1},
        {"ycz", false, TwoQubitGate::ycz, 1, 2},
    }};
    return kinds;
}

void apply_two_qubit(Simulator& sim, const TwoQubitKind& kind, std::size_t control, std::size_t target) {
    if (kind.is_cz)
        sim.cz(control, target);
    else
        sim.two_qubit(kind.gate, control, target);
}

std::string apply_random_gate(Simulator& sim, StateVector* psi, std::mt19937& rng) {
    const std::size_t n = sim.size();
    std::uniform_int_distribution<std::size_t> qubit(0, n - 1);
    std::ostringstream what;
    if (n < 2 || std::bernoulli_distribution(0.5)(rng)) {
        const auto& g = single_qubit_gates()[std::uniform_int_distribution<std::size_t>(0, 5)(rng)];
        const std::size_t q = qubit(rng);
        (sim.*g.method)(q);
        if (psi) psi->apply(static_cast<int>(q), g.matrix);
        what << g.name << "(" << q << ")";
    } else {
        const auto& k = two_qubit_kinds()[std::uniform_int_distribution<std::size_t>(0, 8)(rng)];
        const std::size_t c = qubit(rng);
        std::size_t t = qubit(rng);
        while (t == c) t = qubit(rng);
        apply_two_qubit(sim, k, c, t);
        if (psi) psi->apply_controlled_pauli(k.control_axis, static_cast<int>(c), k.target_axis, static_cast<int>(t));
        what << k.name << "(" << c << ", " << t << ")";
    }
    return what.str();
}

RefGraph::RefGraph(const Simulator& sim) : n_(sim.size()), adj_(n_ * n_, 0) {
    for (std::size_t a = 0; a < n_; ++a)
        for (std::size_t b : sim.neighbours(a).members()) adj_[a * n_ + b] = 1;
}

void RefGraph::toggle(std::size_t a, std::size_t b) {
    adj_[a * n_ + b] ^= 1;
    adj_[b * n_ + a] ^= 1;
}

void RefGraph::remove(std::size_t a, std::size_t b) {
    adj_[a * n_ + b] = 0;
    adj_[b * n_ + a] = 0;
}

std::vector<std::size_t> RefGraph::neighbours(std::size_t a) const {
    std::vector<std::size_t> out;
    for (std::size_t b = 0; b < n_; ++b)
        if (has(a, b)) out.push_back(b);
    return out;
}

testing::AssertionResult SameGraph(const RefGraph& expected, const Simulator& sim) {
    if (expected.size() != sim.size()) return testing::AssertionFailure() << "sizes differ";
    for (std::size_t a = 0; a < expected.size(); ++a) {
        const std::vector<std::size_t> want = expected.neighbours(a);
        std::vector<std::size_t> got;
        for (auto m : sim.neighbours(a).members()) got.push_back(m);
        if (want != got) {
            std::ostringstream out;
            out << "neighbours of " << a << " differ\n expected:";
            for (auto x : want) out << ' ' << x;
            out << "\n actual:  ";
            for (auto x : got) out << ' ' << x;
            return testing::AssertionFailure() << out.str();
        }
        if (sim.degree(a) != want.size()) return testing::AssertionFailure() << "degree of " << a << " is wrong";
        if (sim.is_isolated(a) != want.empty()) return testing::AssertionFailure() << "is_isolated(" << a << ") wrong";
        for (std::size_t b = 0; b < expected.size(); ++b)
            if (sim.has_edge(a, b) != expected.has(a, b))
                return testing::AssertionFailure() << "has_edge(" << a << ", " << b << ") is wrong";
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult SameRepresentation(const Simulator& expected, const Simulator& actual) {
    if (expected.size() != actual.size()) return testing::AssertionFailure() << "sizes differ";
    for (std::size_t q = 0; q < expected.size(); ++q) {
        if (expected.vop(q) != actual.vop(q))
            return testing::AssertionFailure() << "VOP of " << q << ": " << +expected.vop(q) << " vs " << +actual.vop(q);
        if (expected.neighbours(q).members() != actual.neighbours(q).members())
            return testing::AssertionFailure() << "neighbours of " << q << " differ";
    }
    return testing::AssertionSuccess();
}

}  // namespace korvane_test
