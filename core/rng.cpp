#include "core/rng.hpp"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "core/failure.hpp"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <stdlib.h>
#elif defined(_WIN32)
#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>
#endif

namespace corvalinth {
namespace {

constexpr std::uint32_t kSigma[4] = {0x61707865u, 0x3320646eu, 0x79622d32u, 0x6b206574u};
constexpr int kDoubleRounds = 4;  // ChaCha8

std::array<std::uint32_t, 8> key_to_words(const std::array<std::uint8_t, 32>& key) {
  std::array<std::uint32_t, 8> words{};
  for (std::size_t k = 0; k < 8; ++k) {
    words[k] = static_cast<std::uint32_t>(key[4 * k]) |
               (static_cast<std::uint32_t>(key[4 * k + 1]) << 8) |
               (static_cast<std::uint32_t>(key[4 * k + 2]) << 16) |
               (static_cast<std::uint32_t>(key[4 * k + 3]) << 24);
  }
  return words;
}

// Four blocks are computed side by side: every state word is a 4-lane vector, lane b holding
// block b. Each operation then maps to one SIMD instruction on every x86-64 and ARM64 target.
#if defined(__GNUC__) || defined(__clang__)
using Lanes = std::uint32_t __attribute__((vector_size(16)));
inline Lanes rotl(Lanes x, int bits) { return (x << bits) | (x >> (32 - bits)); }
inline Lanes splat(std::uint32_t v) { return Lanes{v, v, v, v}; }
#else
struct Lanes {
  std::uint32_t v[4];
  std::uint32_t& operator[](int i) { return v[i]; }
  std::uint32_t operator[](int i) const { return v[i]; }
  friend Lanes operator+(Lanes a, Lanes b) { for (int i = 0; i < 4; ++i) a.v[i] += b.v[i]; return a; }
  friend Lanes operator^(Lanes a, Lanes b) { for (int i = 0; i < 4; ++i) a.v[i] ^= b.v[i]; return a; }
  Lanes& operator+=(Lanes b) { return *this = *this + b; }
  Lanes& operator^=(Lanes b) { return *this = *this ^ b; }
};
inline Lanes rotl(Lanes x, int bits) {
  for (int i = 0; i < 4; ++i) x.v[i] = std::rotl(x.v[i], bits);
  return x;
}
inline Lanes splat(std::uint32_t v) { return Lanes{{v, v, v, v}}; }
#endif

#if defined(__GNUC__) || defined(__clang__)
// out[16 * b + w] = x[w][b]: four 4 x 4 transposes done with lane shuffles.
inline void store_transposed(const Lanes* x, std::uint32_t* out) {
  for (int group = 0; group < 4; ++group) {
    const Lanes a = x[4 * group], b = x[4 * group + 1], c = x[4 * group + 2],
                d = x[4 * group + 3];
    const Lanes ab_lo = __builtin_shuffle(a, b, Lanes{0, 4, 1, 5});
    const Lanes ab_hi = __builtin_shuffle(a, b, Lanes{2, 6, 3, 7});
    const Lanes cd_lo = __builtin_shuffle(c, d, Lanes{0, 4, 1, 5});
    const Lanes cd_hi = __builtin_shuffle(c, d, Lanes{2, 6, 3, 7});
    const Lanes rows[4] = {
        __builtin_shuffle(ab_lo, cd_lo, Lanes{0, 1, 4, 5}),
        __builtin_shuffle(ab_lo, cd_lo, Lanes{2, 3, 6, 7}),
        __builtin_shuffle(ab_hi, cd_hi, Lanes{0, 1, 4, 5}),
        __builtin_shuffle(ab_hi, cd_hi, Lanes{2, 3, 6, 7}),
    };
    for (int block = 0; block < 4; ++block) {
      std::memcpy(out + 16 * block + 4 * group, &rows[block], sizeof(Lanes));
    }
  }
}
#else
inline void store_transposed(const Lanes* x, std::uint32_t* out) {
  for (int b = 0; b < 4; ++b) {
    for (int w = 0; w < 16; ++w) out[16 * b + w] = x[w][b];
  }
}
#endif

inline void quarter_round(Lanes& a, Lanes& b, Lanes& c, Lanes& d) {
  a += b; d ^= a; d = rotl(d, 16);
  c += d; b ^= c; b = rotl(b, 12);
  a += b; d ^= a; d = rotl(d, 8);
  c += d; b ^= c; b = rotl(b, 7);
}

// Writes the blocks with counters counter .. counter+3 into out, block after block.
void four_blocks(const std::array<std::uint32_t, 8>& key, std::uint64_t counter,
                 std::uint32_t* out) {
  Lanes input[16];
  for (int w = 0; w < 4; ++w) input[w] = splat(kSigma[w]);
  for (int w = 0; w < 8; ++w) input[4 + w] = splat(key[w]);
  for (int b = 0; b < 4; ++b) {
    const std::uint64_t c = counter + static_cast<std::uint64_t>(b);
    input[12][b] = static_cast<std::uint32_t>(c);
    input[13][b] = static_cast<std::uint32_t>(c >> 32);
  }
  input[14] = splat(0);
  input[15] = splat(0);

  Lanes x[16];
  for (int w = 0; w < 16; ++w) x[w] = input[w];
  for (int round = 0; round < kDoubleRounds; ++round) {
    quarter_round(x[0], x[4], x[8], x[12]);
    quarter_round(x[1], x[5], x[9], x[13]);
    quarter_round(x[2], x[6], x[10], x[14]);
    quarter_round(x[3], x[7], x[11], x[15]);
    quarter_round(x[0], x[5], x[10], x[15]);
    quarter_round(x[1], x[6], x[11], x[12]);
    quarter_round(x[2], x[7], x[8], x[13]);
    quarter_round(x[3], x[4], x[9], x[14]);
  }
  for (int w = 0; w < 16; ++w) x[w] += input[w];
  store_transposed(x, out);
}

[[noreturn]] void entropy_failure(const std::string& description) {
  fail("from_entropy failed: " + description);
}

void os_random_bytes(std::uint8_t* out, std::size_t length) {
#if defined(__linux__)
  std::size_t filled = 0;
  while (filled < length) {
    const ssize_t got = getrandom(out + filled, length - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == ENOSYS) break;  // old kernel: fall back to the device
    entropy_failure("OS Error: " + std::to_string(errno));
  }
  if (filled == length) return;
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) entropy_failure("OS Error: " + std::to_string(errno));
  while (filled < length) {
    const ssize_t got = ::read(fd, out + filled, length - filled);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    const int error = got < 0 ? errno : EIO;
    ::close(fd);
    entropy_failure("OS Error: " + std::to_string(error));
  }
  ::close(fd);
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
  arc4random_buf(out, length);
#elif defined(_WIN32)
  const NTSTATUS status = BCryptGenRandom(nullptr, out, static_cast<ULONG>(length),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (BCRYPT_SUCCESS(status)) return;
  using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  if (advapi != nullptr) {
    auto rtl_gen_random =
        reinterpret_cast<RtlGenRandomFn>(GetProcAddress(advapi, "SystemFunction036"));
    const bool ok = rtl_gen_random != nullptr && rtl_gen_random(out, static_cast<ULONG>(length));
    FreeLibrary(advapi);
    if (ok) return;
  }
  entropy_failure("OS Error: " + std::to_string(GetLastError()));
#else
  (void)out;
  (void)length;
  entropy_failure("no secure random source on this platform");
#endif
}

}  // namespace

SwarmRng::SwarmRng(const std::array<std::uint8_t, 32>& key) : key_words_(key_to_words(key)) {}

SwarmRng SwarmRng::seed_from_u64(std::uint64_t seed) {
  std::array<std::uint8_t, 32> key{};
  std::uint64_t s = seed;
  for (std::size_t k = 0; k < 8; ++k) {
    s = s * 6364136223846793005ull + 11634580027462260723ull;
    const auto x = static_cast<std::uint32_t>(((s >> 18) ^ s) >> 27);
    const auto r = static_cast<int>(s >> 59);
    const std::uint32_t word = std::rotr(x, r);
    for (std::size_t byte = 0; byte < 4; ++byte) {
      key[4 * k + byte] = static_cast<std::uint8_t>(word >> (8 * byte));
    }
  }
  return SwarmRng(key);
}

SwarmRng SwarmRng::from_entropy() {
  std::array<std::uint8_t, 32> key{};
  os_random_bytes(key.data(), key.size());
  return SwarmRng(key);
}

std::array<std::uint32_t, 16> SwarmRng::block(const std::array<std::uint8_t, 32>& key,
                                              std::uint64_t counter) {
  std::uint32_t four[64];
  four_blocks(key_to_words(key), counter, four);
  std::array<std::uint32_t, 16> first{};
  std::memcpy(first.data(), four, sizeof first);
  return first;
}

SwarmRng SwarmRng::from_state(const State& state) {
  SwarmRng rng(std::array<std::uint8_t, 32>{});
  rng.key_words_ = state.key_words;
  rng.counter_ = state.counter;
  rng.index_ = state.index;
  rng.buffer_ = state.buffer;
  return rng;
}

void SwarmRng::refill() {
  four_blocks(key_words_, counter_, buffer_.data());
  counter_ += 4;
  index_ = 0;
}

std::uint64_t SwarmRng::next_u64_across_refill() {
  if (index_ == kBufferWords - 1) {
    const std::uint64_t lo = buffer_[kBufferWords - 1];
    refill();
    const std::uint64_t hi = buffer_[0];
    index_ = 1;
    return (hi << 32) | lo;
  }
  refill();
  const std::uint64_t lo = buffer_[0];
  const std::uint64_t hi = buffer_[1];
  index_ = 2;
  return (hi << 32) | lo;
}

std::uint64_t SwarmRng::below(std::uint64_t n) {
  if (n == 0) fail("below needs n >= 1");
  const std::uint64_t zone = (n << std::countl_zero(n)) - 1;
  for (;;) {
    const std::uint64_t v = next_u64();
    const unsigned __int128 product = static_cast<unsigned __int128>(v) * n;
    if (static_cast<std::uint64_t>(product) <= zone) {
      return static_cast<std::uint64_t>(product >> 64);
    }
  }
}

double SwarmRng::uniform_closed(double low, double high) {
  // The largest value of the unit draw below: 1 - 2^-52.
  constexpr double kMaxUnit = 1.0 - 0x1p-52;
  if (!(low <= high)) fail("cannot sample empty range");
  double scale = (high - low) / kMaxUnit;
  if (!std::isfinite(scale)) fail("Uniform::new_inclusive: range overflow");
  while (scale * kMaxUnit + low > high) {
    scale = std::bit_cast<double>(std::bit_cast<std::uint64_t>(scale) - 1);
  }
  const std::uint64_t r = next_u64();
  const double u = std::bit_cast<double>((r >> 12) | 0x3FF0000000000000ull) - 1.0;
  return low + u * scale;
}

}  // namespace corvalinth
