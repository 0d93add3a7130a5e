#include "core/mopso/objective_columns.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace corvalinth {
namespace {

// Two members side by side: one 128-bit vector of doubles, which every x86-64 and ARM64 target
// has. A comparison gives a mask, all ones in a lane where it holds.
using Pair = double __attribute__((vector_size(16)));
using PairMask = std::int64_t __attribute__((vector_size(16)));
constexpr std::size_t kPairsPerBlock = ObjectiveColumns::kBlock / 2;
static_assert(ObjectiveColumns::kBlock % 2 == 0);

Pair load_pair(const double* at) {
  Pair pair;
  std::memcpy(&pair, at, sizeof pair);
  return pair;
}

bool any_lane(PairMask mask) { return (mask[0] | mask[1]) != 0; }

// The rule of dominates and same_objectives, lane by lane: a member refuses when it is better
// somewhere and worse nowhere, or equal everywhere (NaN equals nothing); it is dominated when it
// is worse somewhere and better nowhere. M > 0 fixes the objective count, which unrolls it.
template <std::size_t M>
ObjectiveColumns::Verdict judge_by_the_rule(const double* values, std::size_t stride,
                                            std::size_t count, std::span<const double> candidate) {
  const std::size_t m = M > 0 ? M : candidate.size();
  PairMask dominated = {};
  for (std::size_t start = 0; start < count; start += ObjectiveColumns::kBlock) {
    PairMask refused = {};
    for (std::size_t h = 0; h < kPairsPerBlock; ++h) {
      PairMask better = {};
      PairMask worse = {};
      PairMask unequal = {};
      for (std::size_t k = 0; k < m; ++k) {
        const Pair member = load_pair(values + k * stride + start + 2 * h);
        const Pair value = {candidate[k], candidate[k]};
        better |= member < value;
        worse |= member > value;
        unequal |= member != value;
      }
      refused |= (better & ~worse) | ~unequal;
      dominated |= worse & ~better;
    }
    if (any_lane(refused)) return ObjectiveColumns::Verdict::Refused;
  }
  return any_lane(dominated) ? ObjectiveColumns::Verdict::DominatesSome
                             : ObjectiveColumns::Verdict::DominatesNone;
}

// The same verdict when neither the candidate nor any member holds a NaN, in one comparison per
// component: a member refuses exactly when it is nowhere larger (then it dominates or equals the
// candidate), and once none refuses, none equals the candidate, so a member that is nowhere
// smaller is dominated. A NaN padding lane passes neither test.
template <std::size_t M>
ObjectiveColumns::Verdict judge_without_nan(const double* values, std::size_t stride,
                                            std::size_t count, std::span<const double> candidate) {
  const std::size_t m = M > 0 ? M : candidate.size();
  PairMask dominated = {};
  for (std::size_t start = 0; start < count; start += ObjectiveColumns::kBlock) {
    PairMask refused = {};
    for (std::size_t h = 0; h < kPairsPerBlock; ++h) {
      PairMask nowhere_larger = ~PairMask{};
      PairMask nowhere_smaller = ~PairMask{};
      for (std::size_t k = 0; k < m; ++k) {
        const Pair member = load_pair(values + k * stride + start + 2 * h);
        const Pair value = {candidate[k], candidate[k]};
        nowhere_larger &= member <= value;
        nowhere_smaller &= member >= value;
      }
      refused |= nowhere_larger;
      dominated |= nowhere_smaller;
    }
    if (any_lane(refused)) return ObjectiveColumns::Verdict::Refused;
  }
  return any_lane(dominated) ? ObjectiveColumns::Verdict::DominatesSome
                             : ObjectiveColumns::Verdict::DominatesNone;
}

bool holds_nan(std::span<const double> values) {
  bool nan = false;
  for (const double x : values) nan |= std::isnan(x);
  return nan;
}

}  // namespace

void ObjectiveColumns::clear(std::size_t objective_count) {
  if (objective_count == objective_count_ && values_.size() == objective_count * stride_) {
    for (std::size_t k = 0; k < objective_count_; ++k) {
      std::fill_n(values_.begin() + static_cast<std::ptrdiff_t>(k * stride_), count_, kNaN);
    }
  } else {
    objective_count_ = objective_count;
    values_.assign(objective_count * stride_, kNaN);
  }
  count_ = 0;
  may_hold_nan_ = false;
}

void ObjectiveColumns::grow() {
  const std::size_t stride = stride_ == 0 ? 8 * kBlock : 2 * stride_;
  std::vector<double> values(objective_count_ * stride, kNaN);
  for (std::size_t k = 0; k < objective_count_; ++k) {
    std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(k * stride_), count_,
                values.begin() + static_cast<std::ptrdiff_t>(k * stride));
  }
  values_ = std::move(values);
  stride_ = stride;
}

void ObjectiveColumns::append(std::span<const double> objectives) {
  if (count_ == stride_) grow();
  for (std::size_t k = 0; k < objective_count_; ++k) values_[k * stride_ + count_] = objectives[k];
  may_hold_nan_ = may_hold_nan_ || holds_nan(objectives);
  ++count_;
}

void ObjectiveColumns::erase_dominated(std::span<const double> candidate,
                                       std::vector<bool>& dominated) {
  dominated.assign(count_, false);
  std::size_t kept = 0;
  for (std::size_t j = 0; j < count_; ++j) {
    bool better = false;
    bool worse = false;
    for (std::size_t k = 0; k < objective_count_; ++k) {
      const double value = values_[k * stride_ + j];
      better |= candidate[k] < value;
      worse |= candidate[k] > value;
    }
    if (better && !worse) {
      dominated[j] = true;
      continue;
    }
    if (kept != j) {
      for (std::size_t k = 0; k < objective_count_; ++k) {
        values_[k * stride_ + kept] = values_[k * stride_ + j];
      }
    }
    ++kept;
  }
  for (std::size_t k = 0; k < objective_count_; ++k) {
    std::fill_n(values_.begin() + static_cast<std::ptrdiff_t>(k * stride_ + kept), count_ - kept,
                kNaN);
  }
  count_ = kept;
}

ObjectiveColumns::Verdict ObjectiveColumns::judge(std::span<const double> candidate) const {
  const double* values = values_.data();
  if (may_hold_nan_ || holds_nan(candidate)) {
    return candidate.size() == 2   ? judge_by_the_rule<2>(values, stride_, count_, candidate)
           : candidate.size() == 3 ? judge_by_the_rule<3>(values, stride_, count_, candidate)
                                   : judge_by_the_rule<0>(values, stride_, count_, candidate);
  }
  return candidate.size() == 2   ? judge_without_nan<2>(values, stride_, count_, candidate)
         : candidate.size() == 3 ? judge_without_nan<3>(values, stride_, count_, candidate)
                                 : judge_without_nan<0>(values, stride_, count_, candidate);
}

}  // namespace corvalinth
