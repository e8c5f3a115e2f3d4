#include "literal_engine.hpp"

#include <bit>
#include <cstdlib>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "clifford_reference.hpp"

namespace korvane_test {

namespace {

// Cell (e, va, vb): the new edge bit / new VOP of a / new VOP of b.
constexpr const char* kControlledZ[48] = {
    "1/0/0 1/0/0 1/0/3 1/0/3 1/0/5 1/0/5 1/0/6 1/0/6 0/3/8 0/3/8 0/0/10 0/0/10 1/0/3 1/0/3 1/0/0 1/0/0 1/0/6 1/0/6 1/0/5 1/0/5 0/0/10 0/0/10 0/3/8 0/3/8",  // e = 0, va = 0
    "1/0/0 1/0/0 1/0/3 1/0/3 1/0/5 1/0/5 1/0/6 1/0/6 0/2/8 0/2/8 0/0/10 0/0/10 1/0/3 1/0/3 1/0/0 1/0/0 1/0/6 1/0/6 1/0/5 1/0/5 0/0/10 0/0/10 0/2/8 0/2/8",  // e = 0, va = 1
    "1/2/3 1/0/1 1/0/2 1/2/0 1/0/4 1/2/6 1/2/5 1/0/7 0/0/8 0/0/8 0/2/10 0/2/10 1/0/2 1/0/2 1/0/1 1/0/1 1/0/7 1/0/7 1/0/4 1/0/4 0/2/10 0/2/10 0/0/8 0/0/8",  // e = 0, va = 2
    "1/3/0 1/0/1 1/0/2 1/3/3 1/0/4 1/3/5 1/3/6 1/0/7 0/0/8 0/0/8 0/3/10 0/3/10 1/0/2 1/0/2 1/0/1 1/0/1 1/0/7 1/0/7 1/0/4 1/0/4 0/3/10 0/3/10 0/0/8 0/0/8",  // e = 0, va = 3
    "1/4/3 1/4/3 1/4/0 1/4/0 1/4/6 1/4/6 1/4/5 1/4/5 0/6/8 0/6/8 0/4/10 0/4/10 1/4/0 1/4/0 1/4/3 1/4/3 1/4/5 1/4/5 1/4/6 1/4/6 0/4/10 0/4/10 0/6/8 0/6/8",  // e = 0, va = 4
    "1/5/0 1/5/0 1/5/3 1/5/3 1/5/5 1/5/5 1/5/6 1/5/6 0/6/8 0/6/8 0/5/10 0/5/10 1/5/3 1/5/3 1/5/0 1/5/0 1/5/6 1/5/6 1/5/5 1/5/5 0/5/10 0/5/10 0/6/8 0/6/8",  // e = 0, va = 5
    "1/6/0 1/5/1 1/5/2 1/6/3 1/5/4 1/6/5 1/6/6 1/5/7 0/5/8 0/5/8 0/6/10 0/6/10 1/5/2 1/5/2 1/5/1 1/5/1 1/5/7 1/5/7 1/5/4 1/5/4 0/6/10 0/6/10 0/5/8 0/5/8",  // e = 0, va = 6
    "1/6/0 1/4/2 1/4/1 1/6/3 1/4/7 1/6/5 1/6/6 1/4/4 0/4/8 0/4/8 0/6/10 0/6/10 1/4/1 1/4/1 1/4/2 1/4/2 1/4/4 1/4/4 1/4/7 1/4/7 0/6/10 0/6/10 0/4/8 0/4/8",  // e = 0, va = 7
    "0/8/3 0/8/2 0/8/0 0/8/0 0/8/6 0/8/6 0/8/5 0/8/4 0/8/8 0/8/8 0/8/10 0/8/10 0/8/0 0/8/0 0/8/2 0/8/2 0/8/4 0/8/4 0/8/6 0/8/6 0/8/10 0/8/10 0/8/8 0/8/8",  // e = 0, va = 8
    "0/8/3 0/8/2 0/8/0 0/8/0 0/8/6 0/8/6 0/8/5 0/8/4 0/8/8 0/8/8 0/8/10 0/8/10 0/8/0 0/8/0 0/8/2 0/8/2 0/8/4 0/8/4 0/8/6 0/8/6 0/8/10 0/8/10 0/8/8 0/8/8",  // e = 0, va = 9
    "0/10/0 0/10/0 0/10/2 0/10/3 0/10/4 0/10/5 0/10/6 0/10/6 0/10/8 0/10/8 0/10/10 0/10/10 0/10/2 0/10/2 0/10/0 0/10/0 0/10/6 0/10/6 0/10/4 0/10/4 0/10/10 0/10/10 0/10/8 0/10/8",  // e = 0, va = 10
    "0/10/0 0/10/0 0/10/2 0/10/3 0/10/4 0/10/5 0/10/6 0/10/6 0/10/8 0/10/8 0/10/10 0/10/10 0/10/2 0/10/2 0/10/0 0/10/0 0/10/6 0/10/6 0/10/4 0/10/4 0/10/10 0/10/10 0/10/8 0/10/8",  // e = 0, va = 11
    "1/2/3 1/0/1 1/0/2 1/2/0 1/0/4 1/2/6 1/2/5 1/0/7 0/0/8 0/0/8 0/2/10 0/2/10 1/0/2 1/0/2 1/0/1 1/0/1 1/0/7 1/0/7 1/0/4 1/0/4 0/2/10 0/2/10 0/0/8 0/0/8",  // e = 0, va = 12
    "1/2/3 1/0/1 1/0/2 1/2/0 1/0/4 1/2/6 1/2/5 1/0/7 0/0/8 0/0/8 0/2/10 0/2/10 1/0/2 1/0/2 1/0/1 1/0/1 1/0/7 1/0/7 1/0/4 1/0/4 0/2/10 0/2/10 0/0/8 0/0/8",  // e = 0, va = 13
    "1/0/0 1/0/0 1/0/3 1/0/3 1/0/5 1/0/5 1/0/6 1/0/6 0/2/8 0/2/8 0/0/10 0/0/10 1/0/3 1/0/3 1/0/0 1/0/0 1/0/6 1/0/6 1/0/5 1/0/5 0/0/10 0/0/10 0/2/8 0/2/8",  // e = 0, va = 14
    "1/0/0 1/0/0 1/0/3 1/0/3 1/0/5 1/0/5 1/0/6 1/0/6 0/2/8 0/2/8 0/0/10 0/0/10 1/0/3 1/0/3 1/0/0 1/0/0 1/0/6 1/0/6 1/0/5 1/0/5 0/0/10 0/0/10 0/2/8 0/2/8",  // e = 0, va = 15
    "1/6/0 1/4/2 1/4/1 1/6/3 1/4/7 1/6/5 1/6/6 1/4/4 0/4/8 0/4/8 0/6/10 0/6/10 1/4/1 1/4/1 1/4/2 1/4/2 1/4/4 1/4/4 1/4/7 1/4/7 0/6/10 0/6/10 0/4/8 0/4/8",  // e = 0, va = 16
    "1/6/0 1/4/2 1/4/1 1/6/3 1/4/7 1/6/5 1/6/6 1/4/4 0/4/8 0/4/8 0/6/10 0/6/10 1/4/1 1/4/1 1/4/2 1/4/2 1/4/4 1/4/4 1/4/7 1/4/7 0/6/10 0/6/10 0/4/8 0/4/8",  // e = 0, va = 17
    "1/4/3 1/4/3 1/4/0 1/4/0 1/4/6 1/4/6 1/4/5 1/4/5 0/6/8 0/6/8 0/4/10 0/4/10 1/4/0 1/4/0 1/4/3 1/4/3 1/4/5 1/4/5 1/4/6 1/4/6 0/4/10 0/4/10 0/6/8 0/6/8",  // e = 0, va = 18
    "1/4/3 1/4/3 1/4/0 1/4/0 1/4/6 1/4/6 1/4/5 1/4/5 0/6/8 0/6/8 0/4/10 0/4/10 1/4/0 1/4/0 1/4/3 1/4/3 1/4/5 1/4/5 1/4/6 1/4/6 0/4/10 0/4/10 0/6/8 0/6/8",  // e = 0, va = 19
    "0/10/0 0/10/0 0/10/2 0/10/3 0/10/4 0/10/5 0/10/6 0/10/6 0/10/8 0/10/8 0/10/10 0/10/10 0/10/2 0/10/2 0/10/0 0/10/0 0/10/6 0/10/6 0/10/4 0/10/4 0/10/10 0/10/10 0/10/8 0/10/8",  // e = 0, va = 20
    "0/10/0 0/10/0 0/10/2 0/10/3 0/10/4 0/10/5 0/10/6 0/10/6 0/10/8 0/10/8 0/10/10 0/10/10 0/10/2 0/10/2 0/10/0 0/10/0 0/10/6 0/10/6 0/10/4 0/10/4 0/10/10 0/10/10 0/10/8 0/10/8",  // e = 0, va = 21
    "0/8/3 0/8/2 0/8/0 0/8/0 0/8/6 0/8/6 0/8/5 0/8/4 0/8/8 0/8/8 0/8/10 0/8/10 0/8/0 0/8/0 0/8/2 0/8/2 0/8/4 0/8/4 0/8/6 0/8/6 0/8/10 0/8/10 0/8/8 0/8/8",  // e = 0, va = 22
    "0/8/3 0/8/2 0/8/0 0/8/0 0/8/6 0/8/6 0/8/5 0/8/4 0/8/8 0/8/8 0/8/10 0/8/10 0/8/0 0/8/0 0/8/2 0/8/2 0/8/4 0/8/4 0/8/6 0/8/6 0/8/10 0/8/10 0/8/8 0/8/8",  // e = 0, va = 23
    "0/0/0 0/3/0 0/3/2 0/0/3 0/3/4 0/0/5 0/0/6 0/3/6 1/5/23 1/5/22 1/5/21 1/5/20 0/5/2 0/6/2 0/5/0 0/6/0 0/6/6 0/5/6 0/6/4 0/5/4 1/5/10 1/5/11 1/5/8 1/5/9",  // e = 1, va = 0
    "0/0/3 0/2/2 0/2/0 0/0/0 0/2/6 0/0/6 0/0/5 0/2/4 1/4/23 1/4/22 1/4/21 1/4/20 0/6/0 0/4/0 0/6/2 0/4/2 0/4/4 0/6/4 0/4/6 0/6/6 1/4/10 1/4/11 1/4/8 1/4/9",  // e = 1, va = 1
    "0/2/3 0/0/2 0/0/0 0/2/0 0/0/6 0/2/6 0/2/5 0/0/4 1/4/22 1/4/23 1/4/20 1/4/21 0/4/0 0/6/0 0/4/2 0/6/2 0/6/4 0/4/4 0/6/6 0/4/6 1/4/11 1/4/10 1/4/9 1/4/8",  // e = 1, va = 2
    "0/3/0 0/0/0 0/0/2 0/3/3 0/0/4 0/3/5 0/3/6 0/0/6 1/5/22 1/5/23 1/5/20 1/5/21 0/6/2 0/5/2 0/6/0 0/5/0 0/5/6 0/6/6 0/5/4 0/6/4 1/5/11 1/5/10 1/5/9 1/5/8",  // e = 1, va = 3
    "0/4/3 0/6/2 0/6/0 0/4/0 0/6/6 0/4/6 0/4/5 0/6/4 1/0/21 1/0/20 1/0/23 1/0/22 0/0/0 0/2/0 0/0/2 0/2/2 0/2/4 0/0/4 0/2/6 0/0/6 1/0/8 1/0/9 1/0/10 1/0/11",  // e = 1, va = 4
    "0/5/0 0/6/0 0/6/2 0/5/3 0/6/4 0/5/5 0/5/6 0/6/6 1/0/22 1/0/23 1/0/20 1/0/21 0/3/2 0/0/2 0/3/0 0/0/0 0/0/6 0/3/6 0/0/4 0/3/4 1/0/11 1/0/10 1/0/9 1/0/8",  // e = 1, va = 5
    "0/6/0 0/5/0 0/5/2 0/6/3 0/5/4 0/6/5 0/6/6 0/5/6 1/0/23 1/0/22 1/0/21 1/0/20 0/0/2 0/3/2 0/0/0 0/3/0 0/3/6 0/0/6 0/3/4 0/0/4 1/0/10 1/0/11 1/0/8 1/0/9",  // e = 1, va = 6
    "0/6/3 0/4/2 0/4/0 0/6/0 0/4/6 0/6/6 0/6/5 0/4/4 1/0/20 1/0/21 1/0/22 1/0/23 0/2/0 0/0/0 0/2/2 0/0/2 0/0/4 0/2/4 0/0/6 0/2/6 1/0/9 1/0/8 1/0/11 1/0/10",  // e = 1, va = 7
    "1/22/6 1/20/5 1/20/6 1/22/5 1/20/3 1/22/0 1/22/3 1/20/0 0/0/0 0/0/2 0/2/2 0/2/0 0/6/6 0/4/4 0/6/4 0/4/6 0/4/2 0/6/0 0/4/0 0/6/2 0/2/4 0/2/6 0/0/6 0/0/4",  // e = 1, va = 8
    "1/22/5 1/20/6 1/20/5 1/22/6 1/20/0 1/22/3 1/22/0 1/20/3 0/2/0 0/2/2 0/0/2 0/0/0 0/4/6 0/6/4 0/4/4 0/6/6 0/6/2 0/4/0 0/6/0 0/4/2 0/0/4 0/0/6 0/2/6 0/2/4",  // e = 1, va = 9
    "1/20/6 1/20/7 1/20/4 1/20/5 1/20/1 1/20/0 1/20/3 1/20/2 0/2/2 0/2/0 0/0/0 0/0/2 0/6/4 0/4/6 0/6/6 0/4/4 0/4/0 0/6/2 0/4/2 0/6/0 0/0/6 0/0/4 0/2/4 0/2/6",  // e = 1, va = 10
    "1/20/5 1/20/4 1/20/7 1/20/6 1/20/2 1/20/3 1/20/0 1/20/1 0/0/2 0/0/0 0/2/0 0/2/2 0/4/4 0/6/6 0/4/6 0/6/4 0/6/0 0/4/2 0/6/2 0/4/0 0/2/6 0/2/4 0/0/4 0/0/6",  // e = 1, va = 11
    "0/2/5 0/0/6 0/0/4 0/2/6 0/0/0 0/2/3 0/2/0 0/0/2 0/6/6 0/6/4 0/4/6 0/4/4 1/16/18 1/16/19 1/16/16 1/16/17 1/16/12 1/16/13 1/16/14 1/16/15 0/4/2 0/4/0 0/6/2 0/6/0",  // e = 1, va = 12
    "0/2/6 0/0/4 0/0/6 0/2/5 0/0/2 0/2/0 0/2/3 0/0/0 0/4/4 0/4/6 0/6/4 0/6/6 1/16/17 1/16/16 1/16/19 1/16/18 1/16/15 1/16/14 1/16/13 1/16/12 0/6/0 0/6/2 0/4/0 0/4/2",  // e = 1, va = 13
    "0/0/5 0/2/6 0/2/4 0/0/6 0/2/0 0/0/3 0/0/0 0/2/2 0/4/6 0/4/4 0/6/6 0/6/4 1/16/16 1/16/17 1/16/18 1/16/19 1/16/14 1/16/15 1/16/12 1/16/13 0/6/2 0/6/0 0/4/2 0/4/0",  // e = 1, va = 14
    "0/0/6 0/2/4 0/2/6 0/0/5 0/2/2 0/0/0 0/0/3 0/2/0 0/6/4 0/6/6 0/4/4 0/4/6 1/16/19 1/16/18 1/16/17 1/16/16 1/16/13 1/16/12 1/16/15 1/16/14 0/4/0 0/4/2 0/6/0 0/6/2",  // e = 1, va = 15
    "0/6/6 0/4/4 0/4/6 0/6/5 0/4/2 0/6/0 0/6/3 0/4/0 0/2/4 0/2/6 0/0/4 0/0/6 1/12/16 1/12/17 1/12/18 1/12/19 1/12/14 1/12/15 1/12/12 1/12/13 0/0/0 0/0/2 0/2/0 0/2/2",  // e = 1, va = 16
    "0/6/5 0/4/6 0/4/4 0/6/6 0/4/0 0/6/3 0/6/0 0/4/2 0/0/6 0/0/4 0/2/6 0/2/4 1/12/19 1/12/18 1/12/17 1/12/16 1/12/13 1/12/12 1/12/15 1/12/14 0/2/2 0/2/0 0/0/2 0/0/0",  // e = 1, va = 17
    "0/4/6 0/6/4 0/6/6 0/4/5 0/6/2 0/4/0 0/4/3 0/6/0 0/0/4 0/0/6 0/2/4 0/2/6 1/12/18 1/12/19 1/12/16 1/12/17 1/12/12 1/12/13 1/12/14 1/12/15 0/2/0 0/2/2 0/0/0 0/0/2",  // e = 1, va = 18
    "0/4/5 0/6/6 0/6/4 0/4/6 0/6/0 0/4/3 0/4/0 0/6/2 0/2/6 0/2/4 0/0/6 0/0/4 1/12/17 1/12/16 1/12/19 1/12/18 1/12/15 1/12/14 1/12/13 1/12/12 0/0/2 0/0/0 0/2/2 0/2/0",  // e = 1, va = 19
    "1/10/5 1/8/6 1/8/5 1/10/6 1/8/0 1/10/3 1/10/0 1/8/3 0/4/2 0/4/0 0/6/0 0/6/2 0/2/4 0/0/6 0/2/6 0/0/4 0/0/0 0/2/2 0/0/2 0/2/0 0/6/6 0/6/4 0/4/4 0/4/6",  // e = 1, va = 20
    "1/10/6 1/8/5 1/8/6 1/10/5 1/8/3 1/10/0 1/10/3 1/8/0 0/6/2 0/6/0 0/4/0 0/4/2 0/0/4 0/2/6 0/0/6 0/2/4 0/2/0 0/0/2 0/2/2 0/0/0 0/4/6 0/4/4 0/6/4 0/6/6",  // e = 1, va = 21
    "1/8/5 1/8/4 1/8/7 1/8/6 1/8/2 1/8/3 1/8/0 1/8/1 0/6/0 0/6/2 0/4/2 0/4/0 0/2/6 0/0/4 0/2/4 0/0/6 0/0/2 0/2/0 0/0/0 0/2/2 0/4/4 0/4/6 0/6/6 0/6/4",  // e = 1, va = 22
    "1/8/6 1/8/7 1/8/4 1/8/5 1/8/1 1/8/0 1/8/3 1/8/2 0/4/0 0/4/2 0/6/2 0/6/0 0/0/6 0/2/4 0/0/4 0/2/6 0/2/2 0/0/0 0/2/0 0/0/2 0/6/4 0/6/6 0/4/6 0/4/4",  // e = 1, va = 23
};

// Step codes per VOP: 0 complements at the node (right factor 14), 1 at the swap partner (6).
constexpr const char* kDecomposition[24] = {
    "0000", "00",  "0011", "11",  "001",   "1",     "111",   "100",   "010", "00010", "01110", "01000",
    "110",  "011", "000",  "0",   "0111",  "0100",  "01",    "0001",  "1000", "1110",  "10",    "0010",
};

// Per gate: ? a range check, a digit row a left multiplication, of the control (c) or the
// target (t); cz is cz(control, target) and zc is cz(target, control).
constexpr const char* kPrograms[8] = {
    "t? t10 cz t10",                              // cx
    "t? t5 t10 cz t10 t6",                        // cy
    "c? c10 t? t10 cz t10 c10",                   // xcx
    "t? t5 t10 c? c10 zc c10 t10 t6",             // xcy
    "c? c10 zc c10",                              // xcz
    "c? c5 c10 t? t10 cz t10 c10 c6",             // ycx
    "t? t5 c? c5 c10 t10 cz t10 c10 c6 t6",       // ycy
    "c? c5 c10 zc c10 c6",                        // ycz
};

// One step of a gate's program: '?' a range check, 'g' a left multiplication by `row`, 'z'
// cz(control, target) and 'r' cz(target, control).
struct Step {
    char kind;
    bool on_control;
    std::uint8_t row;
};

struct Tables {
    std::uint8_t mult[24][24];
    std::uint8_t effective_axis[24][3];  // axis of v^dagger P_a v
    bool negated[24][3];
    std::uint8_t certain_axis[24];  // axis of v X v^dagger
    std::uint8_t cz[2][24][24][3];
    std::vector<std::uint8_t> decomposition[24];
    std::vector<Step> programs[8];

    Tables() {
        for (int a = 0; a < 24; ++a)
            for (int b = 0; b < 24; ++b) mult[a][b] = ref_mult(a, b);
        for (int v = 0; v < 24; ++v) {
            for (int a = 0; a < 3; ++a) {
                const SignedAxis s = conjugate(mat_adjoint(vop_matrix(v)), a);
                effective_axis[v][a] = static_cast<std::uint8_t>(s.axis);
                negated[v][a] = s.negated;
            }
            certain_axis[v] = static_cast<std::uint8_t>(conjugate(vop_matrix(v), 0).axis);
            for (const char* c = kDecomposition[v]; *c; ++c) decomposition[v].push_back(*c == '1');
        }
        for (int row = 0; row < 48; ++row) {
            const char* p = kControlledZ[row];
            for (int vb = 0; vb < 24; ++vb)
                for (int k = 0; k < 3; ++k) {
                    int x = 0;
                    while (*p >= '0' && *p <= '9') x = 10 * x + (*p++ - '0');
                    ++p;  // '/' or ' '
                    cz[row / 24][row % 24][vb][k] = static_cast<std::uint8_t>(x);
                }
        }
        for (int g = 0; g < 8; ++g)
            for (const char* p = kPrograms[g]; *p; p += *p == ' ') {
                const char who = *p++;
                if (who == 'z') programs[g].push_back({'r', false, 0});
                else if (*p == 'z') programs[g].push_back({'z', false, 0});
                else if (*p == '?') programs[g].push_back({'?', who == 'c', 0});
                else programs[g].push_back({'g', who == 'c', static_cast<std::uint8_t>(std::atoi(p))});
                while (*p && *p != ' ') ++p;
            }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

bool diagonal(std::uint8_t v) { return v == 0 || v == 3 || v == 5 || v == 6; }

}  // namespace

LiteralEngine::LiteralEngine(std::size_t n)
    : n_(n), words_((n + 63) / 64), vop_(n, 10), bits_(n * words_, 0), touched_(n, 0) {
    (void)tables();
}

void LiteralEngine::check(std::size_t q) const {
    if (q >= n_)
        throw LiteralFailure("index out of bounds: the len is " + std::to_string(n_) + " but the index is " +
                             std::to_string(q));
}

std::size_t LiteralEngine::degree(std::size_t a) const {
    std::size_t d = 0;
    for (std::size_t k = 0; k < words_; ++k) d += static_cast<std::size_t>(std::popcount(row(a)[k]));
    return d;
}

std::vector<std::size_t> LiteralEngine::neighbours(std::size_t a) const {
    std::vector<std::size_t> out;
    for (std::size_t k = 0; k < words_; ++k)
        for (std::uint64_t w = row(a)[k]; w != 0; w &= w - 1)
            out.push_back(k * 64 + static_cast<std::size_t>(std::countr_zero(w)));
    return out;
}

void LiteralEngine::clear_touched() {
    for (std::size_t q : touched_list_) touched_[q] = 0;
    touched_list_.clear();
}

void LiteralEngine::set_edge(std::size_t a, std::size_t b, bool on) {
    touch(a);
    touch(b);
    const std::uint64_t bit_b = std::uint64_t{1} << (b % 64), bit_a = std::uint64_t{1} << (a % 64);
    std::uint64_t& wa = bits_[a * words_ + b / 64];
    std::uint64_t& wb = bits_[b * words_ + a / 64];
    wa = on ? wa | bit_b : wa & ~bit_b;
    wb = on ? wb | bit_a : wb & ~bit_a;
}

void LiteralEngine::right(std::size_t q, int factor) {
    touch(q);
    vop_[q] = tables().mult[vop_[q]][factor];
}

void LiteralEngine::apply_gate(std::size_t q, std::uint8_t gate) {
    check(q);
    touch(q);
    vop_[q] = tables().mult[gate][vop_[q]];
}

void LiteralEngine::local_complement(std::size_t v) {
    check(v);
    const std::vector<std::size_t> hood = neighbours(v);
    for (std::size_t i = 0; i < hood.size(); ++i) {
        for (std::size_t j = i + 1; j < hood.size(); ++j) toggle_edge(hood[i], hood[j]);
        right(hood[i], 6);
    }
    right(v, 14);
}

void LiteralEngine::remove_vop(std::size_t node, std::size_t avoid) {
    check(node);
    check(avoid);
    std::size_t partner = avoid;
    for (std::size_t c : neighbours(node))
        if (c != avoid) {
            partner = c;
            break;
        }
    for (std::uint8_t code : tables().decomposition[vop_[node]]) local_complement(code ? partner : node);
}

bool LiteralEngine::has_outside_neighbour(std::size_t a, std::size_t b) const {
    const std::size_t d = degree(a);
    return has_edge(a, b) ? d >= 2 : d >= 1;
}

void LiteralEngine::check_distinct(std::size_t a, std::size_t b) const {
    if (a == b)
        throw LiteralFailure("assertion `left != right` failed: Same control and target not allowed\n  left: " +
                             std::to_string(a) + "\n right: " + std::to_string(b));
    check(a);
    check(b);
}

void LiteralEngine::set_vop(std::size_t q, std::uint8_t v) {
    check(q);
    if (v >= 24) throw LiteralFailure("vop out of range: " + std::to_string(v) + " is not below 24");
    touch(q);
    vop_[q] = v;
}

void LiteralEngine::edit_edge(int how, std::size_t a, std::size_t b) {
    check_distinct(a, b);
    set_edge(a, b, how == 0 || (how == 2 && !has_edge(a, b)));
}

void LiteralEngine::cz(std::size_t a, std::size_t b) {
    check_distinct(a, b);
    if (has_outside_neighbour(a, b)) remove_vop(a, b);
    if (has_outside_neighbour(b, a)) remove_vop(b, a);
    if (has_outside_neighbour(a, b) && !diagonal(vop_[a])) remove_vop(a, b);
    const std::uint8_t* entry = tables().cz[has_edge(a, b)][vop_[a]][vop_[b]];
    if (entry_counters_) ++entry_counters_[(has_edge(a, b) * 24 + vop_[a]) * 24 + vop_[b]];
    set_edge(a, b, entry[0] != 0);  // touches a and b
    vop_[a] = entry[1];
    vop_[b] = entry[2];
}

void LiteralEngine::two_qubit(int gate, std::size_t control, std::size_t target) {
    if (gate < 0 || gate > 7) throw LiteralFailure("two-qubit gate out of range: " + std::to_string(gate));
    for (const Step& step : tables().programs[gate]) {
        const std::size_t q = step.on_control ? control : target;
        switch (step.kind) {
            case '?': check(q); break;
            case 'g': apply_gate(q, step.row); break;
            case 'z': cz(control, target); break;
            default: cz(target, control); break;
        }
    }
}

std::uint8_t LiteralEngine::measure(std::size_t node, std::uint8_t axis, korvane::RandomSource& rng) {
    check(node);
    if (axis > 2)
        throw LiteralFailure("axis out of range: " + std::to_string(axis) + " is not 0 (X), 1 (Y) or 2 (Z)");
    const std::uint8_t e = tables().effective_axis[vop_[node]][axis];
    const int s = tables().negated[vop_[node]][axis] ? 1 : 0;
    const std::vector<std::size_t> hood = neighbours(node);
    if (e == 0 && hood.empty()) return static_cast<std::uint8_t>(s);
    const int r = static_cast<int>(rng.next_u32() >> 31);
    if (e == 2) {
        for (std::size_t c : hood) {
            set_edge(node, c, false);
            if (r) right(c, 3);
        }
        if (r) right(node, 1);
        right(node, 10);
    } else if (e == 1) {
        const int f = r ? 5 : 6;
        for (std::size_t c : hood) right(c, f);
        for (std::size_t i = 0; i < hood.size(); ++i) {
            for (std::size_t j = i + 1; j < hood.size(); ++j) toggle_edge(hood[i], hood[j]);
            toggle_edge(hood[i], node);
        }
        right(node, f);
    } else {
        const std::size_t b = hood.front();
        const std::vector<std::size_t> hood_b = neighbours(b);
        // Membership in the sets as they were before any change.
        std::vector<bool> in_n(n_, false), in_nb(n_, false);
        for (std::size_t c : hood) in_n[c] = true;
        for (std::size_t c : hood_b) in_nb[c] = true;
        if (r == 0) {
            right(b, 11);
            for (std::size_t c : hood)
                if (c != b && !in_nb[c]) right(c, 3);
        } else {
            right(b, 9);
            right(node, 3);
            for (std::size_t c : hood_b)
                if (c != node && !in_n[c]) right(c, 3);
        }
        std::set<std::pair<std::size_t, std::size_t>> pairs;
        for (std::size_t c : hood)
            for (std::size_t d : hood_b)
                if (c != d) pairs.insert({std::min(c, d), std::max(c, d)});
        for (const auto& [c, d] : pairs) toggle_edge(c, d);
        std::vector<std::size_t> both;
        for (std::size_t c : hood)
            if (in_nb[c]) both.push_back(c);
        for (std::size_t i = 0; i < both.size(); ++i)
            for (std::size_t j = i + 1; j < both.size(); ++j) toggle_edge(both[i], both[j]);
        for (std::size_t d : hood)
            if (d != b) toggle_edge(b, d);
    }
    return static_cast<std::uint8_t>(s ^ r);
}

std::vector<LiteralOutcome> LiteralEngine::peek_measure_set(const std::vector<std::size_t>& qubits,
                                                            korvane::RandomSource& rng) const {
    LiteralEngine copy = *this;
    std::vector<LiteralOutcome> out;
    for (std::size_t q : qubits) {
        copy.check(q);
        std::uint8_t axis = tables().certain_axis[copy.vop_[q]];
        if (copy.degree(q) != 0) {
            const std::uint64_t first = 3ull * rng.next_u32();
            std::uint64_t high = first >> 32;
            const std::uint64_t low = first & 0xFFFFFFFFu;
            if (low > 0xFFFFFFFDu && low + ((3ull * rng.next_u32()) >> 32) >= (std::uint64_t{1} << 32)) ++high;
            if (high >= 3)
                throw LiteralFailure("internal error: entered unreachable code: rng generates in the range 0..3");
            axis = static_cast<std::uint8_t>(high);
        }
        out.push_back({q, copy.measure(q, axis, rng), axis});
    }
    return out;
}

std::vector<std::size_t> LiteralEngine::entangled_group(std::size_t q) const {
    std::deque<std::size_t> queue{q};
    std::set<std::size_t> visited{q};
    std::vector<std::size_t> order{q};
    while (!queue.empty()) {
        const std::size_t v = queue.front();
        queue.pop_front();
        check(v);
        for (std::size_t u : neighbours(v))
            if (visited.insert(u).second) {
                queue.push_back(u);
                order.push_back(u);
            }
    }
    return order;
}

}  // namespace korvane_test
