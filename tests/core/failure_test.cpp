#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/duration.hpp"
#include "core/failure.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

TEST(FormatNumber, ShortestRoundTripWithoutExponent) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {4.0, "4"},
      {3.9, "3.9"},
      {-0.1, "-0.1"},
      {0.0, "0"},
      {-0.0, "-0"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e21, "1000000000000000000000"},
      {1e-7, "0.0000001"},
      {5.12, "5.12"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_number(c.value), c.text);
  // The largest double still prints in full.
  EXPECT_EQ(format_number(std::numeric_limits<double>::max()).size(), 309u);
}

TEST(RequireEq, BuildsTheAssertionMessage) {
  EXPECT_NO_THROW(require_eq(std::size_t{3}, std::size_t{3}, "same"));
  EXPECT_EQ(failure_of([] {
              require_eq(std::size_t{2}, std::size_t{3},
                         "bounds and types must have the same length");
            }),
            "assertion `left == right` failed: bounds and types must have the same length\n"
            "  left: 2\n right: 3");
}

TEST(DurationFromSeconds, ConvertsAndRefuses) {
  EXPECT_EQ(duration_from_seconds(1.5), (Duration{1, 500'000'000}));
  EXPECT_EQ(duration_from_seconds(0.0), (Duration{0, 0}));
  EXPECT_EQ(duration_from_seconds(-0.0), (Duration{0, 0}));
  EXPECT_EQ(duration_from_seconds(18446744073709549568.0).seconds, 18446744073709549568ull);
  const struct {
    double seconds;
    const char* message;
  } failures[] = {
      {-1.0, "cannot convert float seconds to Duration: value is negative"},
      {-1e-300, "cannot convert float seconds to Duration: value is negative"},
      {std::nan(""), "cannot convert float seconds to Duration: value is either too big or NaN"},
      {18446744073709551616.0,
       "cannot convert float seconds to Duration: value is either too big or NaN"},
      {std::numeric_limits<double>::infinity(),
       "cannot convert float seconds to Duration: value is either too big or NaN"},
  };
  for (const auto& f : failures) {
    EXPECT_EQ(failure_of([&] { duration_from_seconds(f.seconds); }), f.message) << f.seconds;
  }
}

TEST(Duration, ComparesSecondsFirst) {
  EXPECT_TRUE((Duration{2, 0}) >= (Duration{1, 999'999'999}));
  EXPECT_FALSE((Duration{1, 999'999'999}) >= (Duration{2, 0}));
  EXPECT_TRUE((Duration{1, 5}) >= (Duration{1, 5}));
}

}  // namespace
}  // namespace corvalinth
