#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/rng.hpp"
#include "tests/core/test_support.hpp"

namespace corvalinth {
namespace {

constexpr std::array<std::uint8_t, 32> kZeroKey{};

std::vector<std::uint8_t> block_bytes(const std::array<std::uint32_t, 16>& words) {
  std::vector<std::uint8_t> bytes;
  for (const std::uint32_t w : words) {
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<std::uint8_t>(w >> (8 * b)));
  }
  return bytes;
}

std::vector<std::uint8_t> from_hex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Published 8-round keystream for the all-zero 256-bit key and all-zero nonce.
struct KeystreamVector {
  std::uint64_t counter;
  const char* hex;
};
const KeystreamVector kZeroKeyVectors[] = {
    {0, "3e00ef2f895f40d67f5bb8e81f09a5a12c840ec3ce9a7f3b181be188ef711a1e"
        "984ce172b9216f419f445367456d5619314a42a3da86b001387bfdb80e0cfe42"},
    {1, "d2aefa0deaa5c151bf0adb6c01f2a5adc0fd581259f9a2aadcf20f8fd566a26b"
        "5032ec38bbc5da98ee0c6f568b872a65a08abf251deb21bb4b56e5d8821e68aa"},
    // The last block of the 64-bit counter: both counter words are all ones.
    {std::numeric_limits<std::uint64_t>::max(),
     "df8a0bceca2fbb111f29978fa9a64407c68ced975ff55a24707265d0687e6aef"
     "b3597eac46e4b0a79b3a49c8b0f1775ac3edd7eb6a6d9bcb38f276517a79e014"},
};

TEST(ChaChaBlock, MatchesPublishedZeroKeyVectors) {
  for (const auto& vector : kZeroKeyVectors) {
    SCOPED_TRACE(vector.counter);
    EXPECT_EQ(block_bytes(SwarmRng::block(kZeroKey, vector.counter)), from_hex(vector.hex));
  }
}

TEST(SwarmRng, WordStreamIsTheKeystreamAcrossRefills) {
  SwarmRng rng(kZeroKey);
  for (std::uint64_t block = 0; block < 12; ++block) {
    const auto expected = SwarmRng::block(kZeroKey, block);
    for (std::size_t w = 0; w < 16; ++w) ASSERT_EQ(rng.next_u32(), expected[w]) << block;
  }
}

TEST(SwarmRng, SeedExpansionIsDeterministicAndSeedSensitive) {
  auto a = SwarmRng::seed_from_u64(0);
  auto b = SwarmRng::seed_from_u64(0);
  auto c = SwarmRng::seed_from_u64(1);
  bool differs = false;
  for (int i = 0; i < 200; ++i) {
    const auto va = a.next_u64();
    ASSERT_EQ(va, b.next_u64());
    differs = differs || va != c.next_u64();
  }
  EXPECT_TRUE(differs);
}

// Reads the same stream as 32-bit words only, to compare mixed draws against.
std::vector<std::uint32_t> words_of(std::uint64_t seed, std::size_t count) {
  auto rng = SwarmRng::seed_from_u64(seed);
  std::vector<std::uint32_t> words(count);
  for (auto& w : words) w = rng.next_u32();
  return words;
}

class SixtyFourBitDrawAfterWords : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SixtyFourBitDrawAfterWords, TakesTheNextTwoWordsLowFirst) {
  const std::size_t skipped = GetParam();
  const auto words = words_of(99, skipped + 8);
  auto rng = SwarmRng::seed_from_u64(99);
  for (std::size_t i = 0; i < skipped; ++i) rng.next_u32();
  const std::uint64_t expected =
      (static_cast<std::uint64_t>(words[skipped + 1]) << 32) | words[skipped];
  EXPECT_EQ(rng.next_u64(), expected);
  // The stream continues with the word after the pair, whatever the buffer boundary did.
  EXPECT_EQ(rng.next_u32(), words[skipped + 2]);
  const std::uint64_t next = (static_cast<std::uint64_t>(words[skipped + 4]) << 32) |
                             words[skipped + 3];
  EXPECT_EQ(rng.next_u64(), next);
}

// 63 is the case that straddles two refills; 64 starts on a fresh buffer.
INSTANTIATE_TEST_SUITE_P(BufferBoundaries, SixtyFourBitDrawAfterWords,
                         ::testing::Values(0, 1, 61, 62, 63, 64, 65, 126, 127, 128));

TEST(SwarmRng, UnitNeverReachesOne) {
  EXPECT_EQ(SwarmRng::unit_from_bits(~std::uint64_t{0}), 1.0 - 0x1p-53);
  EXPECT_LT(SwarmRng::unit_from_bits(~std::uint64_t{0}), 1.0);
  EXPECT_EQ(SwarmRng::unit_from_bits(0), 0.0);
  EXPECT_EQ(SwarmRng::unit_from_bits(std::uint64_t{1} << 63), 0.5);
  auto rng = SwarmRng::seed_from_u64(5);
  auto twin = SwarmRng::seed_from_u64(5);
  for (int i = 0; i < 1000; ++i) {
    const double u = rng.unit();
    ASSERT_EQ(u, SwarmRng::unit_from_bits(twin.next_u64()));
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

TEST(SwarmRng, BelowRejectsDrawsAboveTheZone) {
  // For n = 3 the zone is 3 * 2^62 - 1: a draw whose product's low half exceeds it is skipped.
  constexpr std::uint64_t n = 3;
  constexpr std::uint64_t zone = 3 * (std::uint64_t{1} << 62) - 1;
  auto rng = SwarmRng::seed_from_u64(2024);
  auto twin = SwarmRng::seed_from_u64(2024);
  int rejections = 0;
  for (int call = 0; call < 400; ++call) {
    std::uint64_t expected = 0;
    for (;;) {
      const unsigned __int128 product = static_cast<unsigned __int128>(twin.next_u64()) * n;
      if (static_cast<std::uint64_t>(product) <= zone) {
        expected = static_cast<std::uint64_t>(product >> 64);
        break;
      }
      ++rejections;
    }
    ASSERT_EQ(rng.below(n), expected);
  }
  EXPECT_GT(rejections, 50);  // about one draw in four lands above the zone
}

TEST(SwarmRng, BelowStaysInRangeAndOneConsumesADraw) {
  auto rng = SwarmRng::seed_from_u64(8);
  auto twin = SwarmRng::seed_from_u64(8);
  EXPECT_EQ(rng.below(1), 0u);
  twin.next_u64();
  EXPECT_EQ(rng.next_u64(), twin.next_u64());
  for (const std::uint64_t n : {2ull, 7ull, 30ull, 1000ull, (1ull << 63) + 1}) {
    for (int i = 0; i < 200; ++i) ASSERT_LT(rng.below(n), n);
  }
}

TEST(UniformClosed, StaysInsideAndConsumesOneDrawEvenForAPoint) {
  auto rng = SwarmRng::seed_from_u64(3);
  auto twin = SwarmRng::seed_from_u64(3);
  EXPECT_EQ(rng.uniform_closed(2.5, 2.5), 2.5);
  twin.next_u64();
  EXPECT_EQ(rng.next_u64(), twin.next_u64());
  const std::pair<double, double> ranges[] = {
      {0.0, 1.0}, {-5.12, 5.12}, {1e-300, 2e-300}, {-1e300, 1e300}, {1e16, 1e16 + 4}};
  for (const auto& [lo, hi] : ranges) {
    for (int i = 0; i < 500; ++i) {
      const double x = rng.uniform_closed(lo, hi);
      ASSERT_GE(x, lo);
      ASSERT_LE(x, hi);
    }
  }
}

TEST(UniformClosed, RefusesEmptyAndOverflowingRanges) {
  auto rng = SwarmRng::seed_from_u64(3);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double lo, hi;
    const char* message;
  } cases[] = {
      {1.0, 0.0, "cannot sample empty range"},
      {nan, 1.0, "cannot sample empty range"},
      {0.0, nan, "cannot sample empty range"},
      {0.0, inf, "Uniform::new_inclusive: range overflow"},
      {-inf, 0.0, "Uniform::new_inclusive: range overflow"},
      {-1.7e308, 1.7e308, "Uniform::new_inclusive: range overflow"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(failure_of([&] { rng.uniform_closed(c.lo, c.hi); }), c.message)
        << c.lo << " " << c.hi;
  }
}

TEST(SwarmRng, EntropySeededGeneratorsDiffer) {
  auto a = SwarmRng::from_entropy();
  auto b = SwarmRng::from_entropy();
  EXPECT_NE(a.next_u64(), b.next_u64());
}

}  // namespace
}  // namespace corvalinth
