#include "clifford_reference.hpp"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace korvane_test {

namespace {

constexpr double kTol = 1e-9;

bool near(const Mat2& a, const Mat2& b) {
    for (int i = 0; i < 4; ++i)
        if (std::abs(a[i] - b[i]) > kTol) return false;
    return true;
}

Mat2 scaled(const Mat2& a, Complex s) {
    Mat2 r;
    for (int i = 0; i < 4; ++i) r[i] = a[i] * s;
    return r;
}

// Written as "+X-Y-Z": the images of X, Y, Z in that order.
constexpr std::array<const char*, 24> kDefiningImages = {
    "+X+Y+Z", "+X-Y-Z", "-X+Y-Z", "-X-Y+Z",  // 0..3
    "-Y-X-Z", "-Y+X+Z", "+Y-X+Z", "+Y+X-Z",  // 4..7
    "-Z-Y-X", "-Z+Y+X", "+Z-Y+X", "+Z+Y-X",  // 8..11
    "-X-Z-Y", "-X+Z+Y", "+X-Z+Y", "+X+Z-Y",  // 12..15
    "+Y+Z+X", "+Y-Z-X", "-Y+Z-X", "-Y-Z+X",  // 16..19
    "+Z+X+Y", "+Z-X-Y", "-Z+X-Y", "-Z-X+Y",  // 20..23
};

std::array<std::array<SignedAxis, 3>, 24> parse_images() {
    std::array<std::array<SignedAxis, 3>, 24> out{};
    for (int v = 0; v < 24; ++v)
        for (int a = 0; a < 3; ++a) {
            const char sign = kDefiningImages[v][2 * a];
            const char name = kDefiningImages[v][2 * a + 1];
            out[v][a] = {name - 'X', sign == '-'};
        }
    return out;
}

std::array<SignedAxis, 3> action_of(const Mat2& m) {
    return {conjugate(m, 0), conjugate(m, 1), conjugate(m, 2)};
}

std::array<Mat2, 24> build_matrices() {
    // Close {H, S} under multiplication, keeping one matrix per conjugation action.
    std::vector<Mat2> group{identity_matrix()};
    std::vector<std::array<SignedAxis, 3>> actions{action_of(identity_matrix())};
    for (std::size_t i = 0; i < group.size(); ++i) {
        for (const Mat2& g : {hadamard_matrix(), phase_matrix()}) {
            const Mat2 m = mat_mul(g, group[i]);
            const auto act = action_of(m);
            bool seen = false;
            for (const auto& a : actions) seen = seen || a == act;
            if (!seen) {
                group.push_back(m);
                actions.push_back(act);
            }
        }
    }
    if (group.size() != 24) throw std::logic_error("the local Clifford group must have 24 elements");
    std::array<Mat2, 24> out{};
    const auto& images = defining_images();
    for (int v = 0; v < 24; ++v) {
        int found = -1;
        for (std::size_t i = 0; i < group.size(); ++i)
            if (actions[i] == images[v]) {
                if (found != -1) throw std::logic_error("two elements share an action");
                found = static_cast<int>(i);
            }
        if (found < 0) throw std::logic_error("a defining action matches no Clifford element");
        out[v] = group[found];
    }
    return out;
}

const std::array<Mat2, 24>& matrices() {
    static const std::array<Mat2, 24> m = build_matrices();
    return m;
}

}  // namespace

Mat2 mat_mul(const Mat2& a, const Mat2& b) {
    return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
            a[2] * b[1] + a[3] * b[3]};
}

Mat2 mat_adjoint(const Mat2& a) { return {std::conj(a[0]), std::conj(a[2]), std::conj(a[1]), std::conj(a[3])}; }

bool same_up_to_phase(const Mat2& a, const Mat2& b) {
    int big = 0;
    for (int i = 1; i < 4; ++i)
        if (std::abs(a[i]) > std::abs(a[big])) big = i;
    if (std::abs(a[big]) < kTol || std::abs(b[big]) < kTol) return false;
    const Complex phase = b[big] / a[big];
    return std::abs(std::abs(phase) - 1.0) < kTol && near(scaled(a, phase), b);
}

const Mat2& identity_matrix() {
    static const Mat2 m{1.0, 0.0, 0.0, 1.0};
    return m;
}

const Mat2& pauli_matrix(int axis) {
    static const std::array<Mat2, 3> p{{
        {0.0, 1.0, 1.0, 0.0},
        {0.0, Complex(0, -1), Complex(0, 1), 0.0},
        {1.0, 0.0, 0.0, -1.0},
    }};
    return p.at(static_cast<std::size_t>(axis));
}

const Mat2& hadamard_matrix() {
    static const double r = 1.0 / std::sqrt(2.0);
    static const Mat2 m{r, r, r, -r};
    return m;
}

const Mat2& phase_matrix() {
    static const Mat2 m{1.0, 0.0, 0.0, Complex(0, 1)};
    return m;
}

Mat2 phase_dagger_matrix() { return mat_adjoint(phase_matrix()); }

SignedAxis conjugate(const Mat2& u, int axis) {
    const Mat2 m = mat_mul(mat_mul(u, pauli_matrix(axis)), mat_adjoint(u));
    for (int b = 0; b < 3; ++b) {
        if (near(m, pauli_matrix(b))) return {b, false};
        if (near(m, scaled(pauli_matrix(b), -1.0))) return {b, true};
    }
    return {-1, false};
}

const std::array<std::array<SignedAxis, 3>, 24>& defining_images() {
    static const auto images = parse_images();
    return images;
}

const Mat2& vop_matrix(int v) { return matrices().at(static_cast<std::size_t>(v)); }

int vop_index_of(const Mat2& m) {
    const auto act = action_of(m);
    for (int v = 0; v < 24; ++v)
        if (defining_images()[v] == act) return v;
    return -1;
}

std::uint8_t ref_mult(int a, int b) {
    static const auto table = [] {
        std::array<std::array<std::uint8_t, 24>, 24> t{};
        for (int i = 0; i < 24; ++i)
            for (int j = 0; j < 24; ++j)
                t[i][j] = static_cast<std::uint8_t>(vop_index_of(mat_mul(vop_matrix(i), vop_matrix(j))));
        return t;
    }();
    return table.at(static_cast<std::size_t>(a)).at(static_cast<std::size_t>(b));
}

std::uint8_t ref_adjoint(int v) { return static_cast<std::uint8_t>(vop_index_of(mat_adjoint(vop_matrix(v)))); }

std::string describe_matrix(const Mat2& m) {
    std::string s = "[";
    char buf[64];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(buf, sizeof buf, "%s(%.3f%+.3fi)", i == 0 ? "" : i == 2 ? "; " : ", ", m[i].real(),
                      m[i].imag());
        s += buf;
    }
    return s + "]";
}

}  // namespace korvane_test
