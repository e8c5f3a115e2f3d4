// Factorisations of every VOP's inverse into right factors 14 and 6, as step codes:
// 0 complements at the reduced vertex (factor 14), 1 at its swap partner (factor 6).
#pragma once

#include <array>
#include <cstdint>

namespace korvane {

struct Decomposition {
    std::uint8_t length;
    std::array<std::uint8_t, 5> steps;
};

inline constexpr std::array<Decomposition, 24> DECOMPOSITION_TABLE = {{
    {4, {0, 0, 0, 0}},     // 0
    {2, {0, 0}},           // 1
    {4, {0, 0, 1, 1}},     // 2
    {2, {1, 1}},           // 3
    {3, {0, 0, 1}},        // 4
    {1, {1}},              // 5
    {3, {1, 1, 1}},        // 6
    {3, {1, 0, 0}},        // 7
    {3, {0, 1, 0}},        // 8
    {5, {0, 0, 0, 1, 0}},  // 9
    {5, {0, 1, 1, 1, 0}},  // 10
    {5, {0, 1, 0, 0, 0}},  // 11
    {3, {1, 1, 0}},        // 12
    {3, {0, 1, 1}},        // 13
    {3, {0, 0, 0}},        // 14
    {1, {0}},              // 15
    {4, {0, 1, 1, 1}},     // 16
    {4, {0, 1, 0, 0}},     // 17
    {2, {0, 1}},           // 18
    {4, {0, 0, 0, 1}},     // 19
    {4, {1, 0, 0, 0}},     // 20
    {4, {1, 1, 1, 0}},     // 21
    {2, {1, 0}},           // 22
    {4, {0, 0, 1, 0}},     // 23
}};

}  // namespace korvane
