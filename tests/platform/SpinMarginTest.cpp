#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/PreciseSleep.h"

namespace {

constexpr std::int64_t kFloor = 150000, kCeiling = 1000000;

struct Case {
    const char* name;
    std::vector<std::int64_t> lateness;  // repeated until 2,000 wake-ups
    std::int64_t low, high;              // where the spin must settle
};

TEST(SpinMarginTest, SettlesWhereAFifthOfWakeUpsPassIt) {
    const Case cases[] = {
        {"prompt wake-ups keep the floor", {10000}, kFloor, kFloor},
        {"late wake-ups are covered", {400000}, 400000, 420000},
        {"never past the ceiling", {5000000}, kCeiling, kCeiling},
        {"one in ten later is left out",
         {200000, 200000, 200000, 200000, 200000, 200000, 200000, 200000, 200000, 600000},
         200000,
         240000},
        {"one in three later is covered", {200000, 200000, 600000}, 600000, 620000},
    };
    for (const Case& c : cases) {
        precise_sleep::SpinMargin spin{kFloor, kCeiling};
        for (int i = 0; i < 2000; ++i) {
            spin.wokeLate(c.lateness[static_cast<std::size_t>(i) % c.lateness.size()]);
        }
        EXPECT_GE(spin.nanoseconds(), c.low) << c.name;
        EXPECT_LE(spin.nanoseconds(), c.high) << c.name;
    }
}

TEST(SpinMarginTest, OneWakeUpFarTooLateMovesItOneStep) {
    precise_sleep::SpinMargin spin{kFloor, kCeiling};
    spin.wokeLate(50000000);
    EXPECT_GT(spin.nanoseconds(), kFloor);
    EXPECT_LE(spin.nanoseconds(), kFloor + 25000);
}

}  // namespace
