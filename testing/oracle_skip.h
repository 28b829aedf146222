// Tests that compare against an outside tool (efax, libtiff tools, netpbm, dbfread, ...)
// skip when the tool is missing on a developer's machine. With PARVANE_REQUIRE_ORACLES=1
// (set in CI) a missing tool fails the test instead, so a check cannot vanish unnoticed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace parvane::testing {

inline bool oraclesRequired() {
    const char* v = std::getenv("PARVANE_REQUIRE_ORACLES");
    return v != nullptr && std::string_view(v) == "1";
}

} // namespace parvane::testing

// Like GTEST_SKIP() << why, but a failure where the oracles are required. Returns from
// the current function either way.
#define PARVANE_SKIP_WITHOUT_ORACLE(why)                                                           \
    do {                                                                                           \
        if (::parvane::testing::oraclesRequired())                                                 \
            GTEST_FAIL() << (why) << " (required: PARVANE_REQUIRE_ORACLES=1)";                     \
        else                                                                                       \
            GTEST_SKIP() << (why);                                                                 \
    } while (0)
