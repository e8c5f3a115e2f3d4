// A row against a plain ordered set: long random sequences of the bulk XOR and single
// edits, with rows that switch form and windows that move, grow past their buffer and
// keep zero end words between trims.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "neighbour_set.hpp"

namespace korvane_test {
namespace {

using korvane::NeighbourSet;
using korvane::Qubit;
using Ref = std::set<Qubit>;

void expect_same(const NeighbourSet& row, const Ref& want, const char* what) {
    const std::vector<Qubit> got = row.members();
    ASSERT_EQ(got, std::vector<Qubit>(want.begin(), want.end())) << what;
    ASSERT_EQ(row.size(), want.size()) << what;
    ASSERT_EQ(row.empty(), want.empty()) << what;
    ASSERT_EQ(row.first(), want.empty() ? NeighbourSet::kNone : *want.begin()) << what;
    if (!want.empty()) {
        const Qubit low = *want.begin();
        const Qubit second = want.size() > 1 ? *std::next(want.begin()) : NeighbourSet::kNone;
        ASSERT_EQ(row.first_except(low), second) << what;
    }
}

// Members drawn from a band that drifts, so windows move, and of varying density, so
// rows cross between the two forms.
Ref random_members(std::mt19937& rng, Qubit centre, Qubit width, double density) {
    Ref out;
    const Qubit lo = centre > width ? centre - width : 0;
    std::bernoulli_distribution keep(density);
    for (Qubit q = lo; q < centre + width; ++q)
        if (keep(rng)) out.insert(q);
    return out;
}

NeighbourSet built_from(const Ref& members) {
    NeighbourSet row;
    for (Qubit q : members) row.insert(q);
    return row;
}

// Every third trial keeps rows small and close to word boundaries, so they cross the
// record's capacity and the list/window threshold often; each change of form must be
// seen at least once. Reversible XORs must come back to the same members and form.
TEST(NeighbourSet, BulkXorMatchesTheSymmetricDifference) {
    using Form = NeighbourSet::Form;
    std::set<std::pair<Form, Form>> changes;
    std::mt19937 rng(41);
    for (int trial = 0; trial < 60; ++trial) {
        const bool small = trial % 3 == 2;
        NeighbourSet row;
        Ref want;
        Qubit centre = 200 + static_cast<Qubit>(rng() % 4000);
        for (int step = 0; step < 200; ++step) {
            centre += static_cast<Qubit>(rng() % 130);  // the band drifts upward ...
            if (rng() % 10 == 0) centre = 64 + static_cast<Qubit>(rng() % 6000);  // ... or jumps
            if (small) centre = 64 * (2 + static_cast<Qubit>(rng() % 3)) + static_cast<Qubit>(rng() % 5) - 2;
            // Some operands span more than eight vectors of the widest kernel (32 words), so
            // that the XOR runs past its unrolled part.
            const Qubit widest = trial % 6 == 1 ? 3000 : 900;
            const Qubit width = 1 + static_cast<Qubit>(rng() % (small ? 6 : trial % 3 == 0 ? 40 : widest));
            const double density = std::uniform_real_distribution<double>(0.01, 0.9)(rng);
            Ref members = random_members(rng, centre, width, density);
            NeighbourSet other = built_from(members);
            if (rng() % 3 == 0) other.tighten();
            const Form before = row.form();

            Qubit skip = NeighbourSet::kNone, extra = NeighbourSet::kNone;
            if (!members.empty() && rng() % 2) {
                auto it = members.begin();
                std::advance(it, rng() % members.size());
                skip = *it;
            }
            if (rng() % 2) {
                extra = static_cast<Qubit>(small ? centre - 8 + rng() % 16 : rng() % 9000);
                if (extra == skip) extra = NeighbourSet::kNone;
            }
            if (rng() % 2) {
                const NeighbourSet kept = row;
                ASSERT_TRUE(kept == row && kept.form() == row.form()) << "a copy differs";
                row.toggle_set_reversible(other, skip, extra);
                const Form forward = row.form();
                const std::size_t room = row.heap_bytes();
                row.toggle_set_reversible(other, skip, extra);
                // Undoing keeps the form and the buffer the forward edit gave: it must not
                // allocate, as it runs when memory has run out.
                ASSERT_TRUE(row == kept) << "a reversible XOR did not undo";
                ASSERT_EQ(row.form(), forward) << "undoing changed the form";
                ASSERT_EQ(row.heap_bytes(), room) << "undoing took a new buffer";
                row.toggle_set_reversible(other, skip, extra);
                row.settle_after_edit();
            } else {
                row.toggle_set(other, skip, extra);
            }
            for (Qubit q : members)
                if (q != skip && !want.erase(q)) want.insert(q);
            if (extra != NeighbourSet::kNone && !want.erase(extra)) want.insert(extra);
            expect_same(row, want, "after toggle_set");

            switch (rng() % 4) {
                case 0: row.tighten(); break;
                case 1:
                    if (!want.empty()) {
                        auto it = want.begin();
                        std::advance(it, rng() % want.size());
                        const Qubit q = *it;
                        row.erase(q);
                        want.erase(q);
                    }
                    break;
                case 2: {
                    const Qubit q = static_cast<Qubit>(small ? centre - 8 + rng() % 16 : rng() % 9000);
                    row.insert(q);
                    want.insert(q);
                    break;
                }
                default: break;
            }
            expect_same(row, want, "after a single edit");
            if (row.form() != before) changes.insert({before, row.form()});
            for (int probe = 0; probe < 20; ++probe) {
                const Qubit q = static_cast<Qubit>(rng() % 9100);
                ASSERT_EQ(row.contains(q), want.count(q) == 1) << q;
            }
        }
    }
    for (auto change : {std::pair{Form::inline_members, Form::list}, std::pair{Form::list, Form::window},
                        std::pair{Form::window, Form::list}, std::pair{Form::list, Form::inline_members},
                        std::pair{Form::inline_members, Form::window}})
        EXPECT_TRUE(changes.count(change)) << "never changed form " << int(change.first) << " -> " << int(change.second);
}

// A row emptied by XORs keeps its window until trimmed; it must still read as empty
// and compare equal to a row that never held anything.
TEST(NeighbourSet, RowsEmptiedByXorReadAsEmpty) {
    Ref members;
    for (Qubit q = 100; q < 1000; q += 3) members.insert(q);
    const NeighbourSet other = built_from(members);
    NeighbourSet row = built_from(members);
    row.toggle_set(other);
    expect_same(row, {}, "emptied");
    EXPECT_TRUE(row == NeighbourSet());
    row.insert(5000);
    expect_same(row, {5000}, "refilled far away");
    row.tighten();
    expect_same(row, {5000}, "trimmed");
}

TEST(NeighbourSet, SplitCallsEachMemberOnceByWhereItIs) {
    std::mt19937 rng(42);
    for (int trial = 0; trial < 400; ++trial) {
        // Far-apart bands take the lookup path, overlapping ones the word-parallel one.
        const Qubit ca = 64 + static_cast<Qubit>(rng() % 3000);
        const Qubit cb = trial % 4 == 0 ? ca + 20000 : ca + static_cast<Qubit>(rng() % 300);
        const Ref a_ref = random_members(rng, ca, 1 + rng() % 600, trial % 5 == 0 ? 0.02 : 0.5);
        const Ref b_ref = random_members(rng, cb, 1 + rng() % 600, trial % 7 == 0 ? 0.02 : 0.5);
        NeighbourSet a = built_from(a_ref), b = built_from(b_ref);
        if (trial % 3 == 0) a.toggle_set(NeighbourSet());  // leaves the form as built
        Ref only_a, only_b, both;
        auto once = [](Ref& r, Qubit c) { ASSERT_TRUE(r.insert(c).second) << "called twice for " << c; };
        NeighbourSet::for_each_split(
            a, b, [&](Qubit c) { once(only_a, c); }, [&](Qubit c) { once(only_b, c); }, [&](Qubit c) { once(both, c); });
        Ref want_a, want_b, want_both;
        for (Qubit q : a_ref) (b_ref.count(q) ? want_both : want_a).insert(q);
        for (Qubit q : b_ref)
            if (!a_ref.count(q)) want_b.insert(q);
        ASSERT_EQ(only_a, want_a) << "trial " << trial;
        ASSERT_EQ(only_b, want_b) << "trial " << trial;
        ASSERT_EQ(both, want_both) << "trial " << trial;
    }
}

}  // namespace
}  // namespace korvane_test
