#include "core/run_state.hpp"

#include <bit>
#include <cstring>

#include "core/failure.hpp"

namespace corvalinth {
namespace {

// "CVLTHRUN" read as a little-endian word: marks the buffer as a run state at all.
constexpr std::uint64_t kMagic = 0x4E555248544C5643ULL;
constexpr std::size_t kWordBytes = 8;

}  // namespace

void store_f64_words(std::span<const double> values, std::uint8_t* out) {
  if constexpr (std::endian::native == std::endian::little) {
    if (!values.empty()) std::memcpy(out, values.data(), kWordBytes * values.size());
  } else {
    for (const double value : values) {
      const auto bits = std::bit_cast<std::uint64_t>(value);
      for (std::size_t k = 0; k < kWordBytes; ++k) {
        *out++ = static_cast<std::uint8_t>(bits >> (8 * k));
      }
    }
  }
}

void load_f64_words(const std::uint8_t* in, std::span<double> out) {
  if constexpr (std::endian::native == std::endian::little) {
    if (!out.empty()) std::memcpy(out.data(), in, kWordBytes * out.size());
  } else {
    for (double& value : out) {
      std::uint64_t bits = 0;
      for (std::size_t k = 0; k < kWordBytes; ++k) {
        bits |= static_cast<std::uint64_t>(*in++) << (8 * k);
      }
      value = std::bit_cast<double>(bits);
    }
  }
}

void state_mismatch(const std::string& what) {
  throw RunStateError("saved run state does not match this run: " + what);
}

StateWriter::StateWriter() {
  u64(kMagic);
  u64(kRunStateVersion);
}

void StateWriter::u64(std::uint64_t value) {
  for (std::size_t k = 0; k < kWordBytes; ++k) {
    bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
  }
}

void StateWriter::f64(double value) { u64(std::bit_cast<std::uint64_t>(value)); }

void StateWriter::f64s(std::span<const double> values) {
  u64(values.size());
  const std::size_t start = bytes_.size();
  bytes_.resize(start + kWordBytes * values.size());
  store_f64_words(values, bytes_.data() + start);
}

void StateWriter::generator(const SwarmRng& rng) {
  const SwarmRng::State state = rng.state();
  for (const std::uint32_t word : state.key_words) u64(word);
  u64(state.counter);
  u64(state.index);
  for (const std::uint32_t word : state.buffer) u64(word);
}

StateReader::StateReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {
  if (bytes_.size() < 2 * kWordBytes || u64() != kMagic) {
    throw RunStateError("not a saved run state");
  }
  const std::uint64_t version = u64();
  if (version != kRunStateVersion) {
    throw RunStateError("saved run state has format version " + format_number(version) +
                        "; this version of corvalinth reads version " +
                        format_number(kRunStateVersion) + " only");
  }
}

std::uint64_t StateReader::u64() {
  if (bytes_.size() - offset_ < kWordBytes) throw RunStateError("saved run state is truncated");
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < kWordBytes; ++k) {
    value |= static_cast<std::uint64_t>(bytes_[offset_ + k]) << (8 * k);
  }
  offset_ += kWordBytes;
  return value;
}

double StateReader::f64() { return std::bit_cast<double>(u64()); }

bool StateReader::flag() { return index_below(2, "flag") == 1; }

std::uint64_t StateReader::index_below(std::uint64_t limit, const char* what) {
  const std::uint64_t value = u64();
  if (value >= limit) state_mismatch(std::string(what) + " out of range");
  return value;
}

std::vector<double> StateReader::f64s(std::uint64_t count, const char* what) {
  if (u64() != count) state_mismatch(std::string("length of ") + what);
  return f64s_after_length(count);
}

std::vector<double> StateReader::f64s_up_to(std::uint64_t limit, const char* what) {
  const std::uint64_t count = u64();
  if (count > limit) state_mismatch(std::string("length of ") + what);
  return f64s_after_length(count);
}

std::vector<double> StateReader::f64s_after_length(std::uint64_t count) {
  // A damaged count must cost nothing: nothing is allocated that the bytes left cannot fill.
  if (count > (bytes_.size() - offset_) / kWordBytes) {
    throw RunStateError("saved run state is truncated");
  }
  std::vector<double> values(static_cast<std::size_t>(count));
  load_f64_words(bytes_.data() + offset_, values);
  offset_ += kWordBytes * values.size();
  return values;
}

void StateReader::f64s_into(std::span<double> out, const char* what) {
  if (u64() != out.size()) state_mismatch(std::string("length of ") + what);
  if ((bytes_.size() - offset_) / kWordBytes < out.size()) {
    throw RunStateError("saved run state is truncated");
  }
  load_f64_words(bytes_.data() + offset_, out);
  offset_ += kWordBytes * out.size();
}

SwarmRng StateReader::generator() {
  SwarmRng::State state;
  for (std::uint32_t& word : state.key_words) {
    word = static_cast<std::uint32_t>(index_below(std::uint64_t{1} << 32, "generator key"));
  }
  state.counter = u64();
  state.index = static_cast<std::uint32_t>(
      index_below(SwarmRng::kBufferWords + 1, "generator buffer position"));
  for (std::uint32_t& word : state.buffer) {
    word = static_cast<std::uint32_t>(index_below(std::uint64_t{1} << 32, "generator buffer"));
  }
  return SwarmRng::from_state(state);
}

void StateReader::expect_end() const {
  if (offset_ != bytes_.size()) throw RunStateError("saved run state has trailing data");
}

}  // namespace corvalinth
