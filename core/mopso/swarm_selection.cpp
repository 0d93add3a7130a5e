#include "core/mopso/swarm_selection.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <utility>

#include "core/numeric.hpp"

namespace corvalinth {

namespace {

bool constrained_dominates(ObjectiveView a, double a_violation, ObjectiveView b,
                           double b_violation) {
  if (is_better(a_violation, b_violation)) return true;
  if (is_better(b_violation, a_violation)) return false;
  return dominates(a, b);
}

// +1 when a dominates b under constrained domination, -1 when b dominates a, 0 otherwise: both
// directions of dominates() in one pass over the components (a pair with a NaN counts as
// neither).
int compare(ObjectiveView a, double a_violation, ObjectiveView b, double b_violation) {
  if (is_better(a_violation, b_violation)) return 1;
  if (is_better(b_violation, a_violation)) return -1;
  const std::size_t m = a.size() < b.size() ? a.size() : b.size();
  bool a_better = false;
  bool b_better = false;
  for (std::size_t k = 0; k < m; ++k) {
    if (a[k] < b[k]) {
      a_better = true;
    } else if (b[k] < a[k]) {
      b_better = true;
    }
    if (a_better && b_better) return 0;
  }
  return a_better ? 1 : (b_better ? -1 : 0);
}

bool three_objectives_without_nan(std::span<const ObjectiveView> vectors) {
  for (const ObjectiveView v : vectors) {
    if (v.size() != 3 || std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2])) return false;
  }
  return true;
}

bool two_objectives_without_nan(std::span<const ObjectiveView> vectors) {
  for (const ObjectiveView v : vectors) {
    if (v.size() != 2 || std::isnan(v[0]) || std::isnan(v[1])) return false;
  }
  return true;
}

// Larger distances first, NaN after every number.
bool more_spread(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a > b;
}

}  // namespace

// Every pair compared once: how many dominate each candidate and whom each one dominates, then
// the fronts peeled off in turn. Any number of objectives, NaN components included.
std::size_t NondominatedSelection::fronts_by_pairs(std::span<const ObjectiveView> vectors,
                                                   std::span<const double> violations) {
  const std::size_t n = vectors.size();
  std::vector<std::size_t> dominated_by(n, 0);
  std::vector<std::vector<std::size_t>> dominated(n);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a + 1; b < n; ++b) {
      const int order = compare(vectors[a], violations[a], vectors[b], violations[b]);
      if (order > 0) {
        dominated[a].push_back(b);
        ++dominated_by[b];
      } else if (order < 0) {
        dominated[b].push_back(a);
        ++dominated_by[a];
      }
    }
  }
  std::vector<std::size_t> front;
  for (std::size_t c = 0; c < n; ++c) {
    if (dominated_by[c] == 0) front.push_back(c);
  }
  std::size_t fronts = 0;
  std::size_t placed = 0;
  while (!front.empty()) {
    placed += front.size();
    std::vector<std::size_t> next;
    for (const std::size_t c : front) {
      front_of_[c] = fronts;
      for (const std::size_t d : dominated[c]) {
        if (--dominated_by[d] == 0) next.push_back(d);
      }
    }
    ++fronts;
    front = std::move(next);
  }
  if (placed < n) {
    // Only NaN components make domination cyclic: candidates on such a cycle, and those they
    // dominate, are on no front, so they form one last front together.
    for (std::size_t c = 0; c < n; ++c) {
      if (dominated_by[c] != 0) front_of_[c] = fronts;
    }
    ++fronts;
  }
  return fronts;
}

namespace {

// An unsigned key in the order of a number that is not NaN (-0.0 just below 0.0): the bits of a
// positive number with the sign bit set, of a negative one all flipped.
std::uint64_t ordered_bits(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

}  // namespace

// The candidates in the order of violation (NaN last), then the first `objectives` (2 or 3)
// components (none NaN), then index: a candidate can only be dominated by those before it.
// When every candidate has one violation, the common case, they are sorted by the first
// component's ordered bits a byte at a time (a comparison sort mispredicts about every other
// comparison of such values); then only runs of equal first components (-0.0 and 0.0 among
// them) are sorted by comparisons. The order is total (index decides last), so both ways give
// the same one.
void NondominatedSelection::sort_candidates(std::span<const ObjectiveView> vectors,
                                            std::span<const double> violations,
                                            std::size_t objectives) {
  const std::size_t n = vectors.size();
  keys_.resize(n);
  bool one_violation = true;
  for (std::size_t c = 0; c < n; ++c) {
    const ObjectiveView v = vectors[c];
    keys_[c] = SortKey{{v[0], v[1], objectives > 2 ? v[2] : 0.0}, violations[c], c};
    one_violation = one_violation && violations[c] == violations[0];
  }
  const auto before = [objectives](const SortKey& a, const SortKey& b) {
    // Equal violations, the common case, are told from unequal ones by one comparison.
    if (a.violation != b.violation) {
      if (is_better(a.violation, b.violation)) return true;
      if (is_better(b.violation, a.violation)) return false;
    }
    for (std::size_t k = 0; k < objectives; ++k) {
      if (a.objective[k] != b.objective[k]) return a.objective[k] < b.objective[k];
    }
    return a.index < b.index;
  };
  if (!one_violation || n < 2 || n > UINT32_MAX) {  // the counts below are 32-bit
    std::sort(keys_.begin(), keys_.end(), before);
    return;
  }
  ranked_.resize(n);
  ranked_spare_.resize(n);
  std::array<std::array<std::uint32_t, 256>, 8> counts{};
  for (std::size_t c = 0; c < n; ++c) {
    const std::uint64_t bits = ordered_bits(keys_[c].objective[0]);
    ranked_[c] = Ranked{bits, c};
    for (std::size_t byte = 0; byte < 8; ++byte) ++counts[byte][(bits >> (8 * byte)) & 0xFF];
  }
  for (std::size_t byte = 0; byte < 8; ++byte) {
    std::array<std::uint32_t, 256>& count = counts[byte];
    const std::size_t shift = 8 * byte;
    if (count[(ranked_[0].bits >> shift) & 0xFF] == n) continue;  // one value of this byte
    std::uint32_t start = 0;
    for (std::uint32_t& bucket : count) start += std::exchange(bucket, start);
    for (const Ranked& r : ranked_) ranked_spare_[count[(r.bits >> shift) & 0xFF]++] = r;
    ranked_.swap(ranked_spare_);
  }
  sorted_keys_.resize(n);
  for (std::size_t p = 0; p < n; ++p) sorted_keys_[p] = keys_[ranked_[p].position];
  keys_.swap(sorted_keys_);
  for (std::size_t p = 0; p < n;) {
    std::size_t end = p + 1;
    while (end < n && keys_[end].objective[0] == keys_[p].objective[0]) ++end;
    if (end - p > 1) {
      std::sort(keys_.begin() + static_cast<std::ptrdiff_t>(p),
                keys_.begin() + static_cast<std::ptrdiff_t>(end), before);
    }
    p = end;
  }
}

// The same fronts for two objectives without NaN, in O(n log n + n x fronts): in the order of
// violation (NaN last), first objective, second objective and index, a candidate can only be
// dominated by those before it, and it belongs to the first front whose latest member does not
// dominate it (that member has the front's smallest second objective).
std::size_t NondominatedSelection::fronts_of_two(std::span<const ObjectiveView> vectors,
                                                 std::span<const double> violations) {
  sort_candidates(vectors, violations, 2);
  front_last_.clear();
  for (const SortKey& key : keys_) {
    const std::size_t c = key.index;
    std::size_t k = 0;
    while (k < front_last_.size() &&
           constrained_dominates(vectors[front_last_[k]], violations[front_last_[k]], vectors[c],
                                 violations[c])) {
      ++k;
    }
    if (k == front_last_.size()) front_last_.emplace_back();
    front_last_[k] = c;
    front_of_[c] = k;
  }
  return front_last_.size();
}

namespace {

// How many steps of a staircase (pairs of strictly ascending second and strictly descending third
// value) have a second value at most `second`: std::upper_bound's answer, found by halving
// without a branch on the values, which come in no predictable order.
template <typename Staircase>
std::size_t steps_up_to(const Staircase& steps, double second) {
  if (steps.empty()) return 0;
  const auto* base = steps.data();
  for (std::size_t length = steps.size(); length > 1;) {
    const std::size_t half = length / 2;
    base += half * static_cast<std::size_t>(base[half - 1].second <= second);
    length -= half;
  }
  return static_cast<std::size_t>(base - steps.data()) + (base->second <= second ? 1 : 0);
}

// Whether the staircase covers a pair, given its steps_up_to(second): the last step whose second
// value is at most `second` has the least third of those.
template <typename Staircase>
bool covers(const Staircase& steps, std::size_t up_to, double third) {
  return up_to > 0 && steps[up_to - 1].third <= third;
}

// Adds a pair that `steps` does not cover, given its steps_up_to(second), dropping the steps it
// covers: from the one of an equal second value, if any (there is at most one), those whose third
// value is at least `third`.
template <typename Staircase>
void add_step(Staircase& steps, std::size_t up_to, double second, double third) {
  const auto at = [&](std::size_t k) { return steps.begin() + static_cast<std::ptrdiff_t>(k); };
  const std::size_t from = up_to > 0 && steps[up_to - 1].second == second ? up_to - 1 : up_to;
  std::size_t to = from;
  while (to != steps.size() && steps[to].third >= third) ++to;
  if (to == from) {
    steps.insert(at(from), {second, third});
    return;
  }
  // The new step takes the first dropped one's place: one move of the steps after them at most.
  steps[from] = {second, third};
  steps.erase(at(from + 1), at(to));
}

}  // namespace

// The same fronts for three objectives without NaN in the objectives, in O(n log n x log fronts).
// In the order of violation (NaN last), the three objectives and index, a candidate can only be
// dominated by those before it. Each violation level's fronts follow all fronts of the levels
// before it (every candidate of a smaller violation dominates the candidate). Within a level, an
// earlier candidate weakly dominates a later one exactly when it lies at or below it in the last
// two objectives, and strictly unless the two vectors are equal; an equal vector is the one just
// before in the order and shares its front. So each front keeps the staircase of its members'
// (second, third) values that no other member's pair covers, and a candidate belongs to the first
// front of its level whose staircase does not cover its pair. Fronts are searched by halves: a
// candidate covered by a front is covered by every earlier front of its level, since whatever
// dominates a member of front k + 1 is dominated by a member of front k.
//
// Late in a run nearly every candidate is on the first front, which then fills the swarm alone:
// so the first front is found first, with one staircase, the other candidates lumped into the
// front after it, and the other fronts are found only when the first does not fill `keep`.
std::size_t NondominatedSelection::fronts_of_three(std::span<const ObjectiveView> vectors,
                                                   std::span<const double> violations,
                                                   std::size_t keep) {
  sort_candidates(vectors, violations, 3);
  const std::size_t fronts = fronts_of_sorted_three(1);
  if (static_cast<std::size_t>(std::count(front_of_.begin(), front_of_.end(), 0)) >= keep) {
    return fronts;
  }
  return fronts_of_sorted_three(vectors.size());
}

std::size_t NondominatedSelection::fronts_of_sorted_three(std::size_t most) {
  const auto same_level = [](const SortKey& a, const SortKey& b) {
    return !is_better(a.violation, b.violation) && !is_better(b.violation, a.violation);
  };
  const auto same_vector = [](const SortKey& a, const SortKey& b) {
    return a.objective[0] == b.objective[0] && a.objective[1] == b.objective[1] &&
           a.objective[2] == b.objective[2];
  };
  bool beyond = false;  // a candidate lies beyond the `most` fronts
  std::size_t fronts = 0;
  std::size_t level_start = 0;  // the first front of the current violation level
  std::size_t previous_front = 0;
  for (std::size_t p = 0; p < keys_.size(); ++p) {
    const SortKey& key = keys_[p];
    const std::size_t c = key.index;
    const double* v = key.objective;
    if (p > 0 && !same_level(keys_[p - 1], key)) {
      level_start = fronts;
    } else if (p > 0 && same_vector(keys_[p - 1], key)) {
      front_of_[c] = previous_front;
      continue;
    }
    std::size_t low = level_start;
    std::size_t high = fronts;
    std::size_t up_to_high = 0;  // steps_up_to in front `high`'s staircase (0 in a new one)
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      const std::size_t up_to = steps_up_to(staircases_[middle], v[1]);
      if (covers(staircases_[middle], up_to, v[2])) {
        low = middle + 1;
      } else {
        high = middle;
        up_to_high = up_to;
      }
    }
    front_of_[c] = low;
    previous_front = low;
    if (low == most) {
      beyond = true;
      continue;
    }
    if (low == fronts) {
      // A new front: its staircase keeps the capacity an earlier call gave it.
      if (staircases_.size() == fronts) staircases_.emplace_back();
      staircases_[fronts].clear();
      ++fronts;
      up_to_high = 0;
    }
    add_step(staircases_[low], up_to_high, v[1], v[2]);
  }
  return beyond ? fronts + 1 : fronts;
}

void NondominatedSelection::cut_front(std::span<const ObjectiveView> vectors, std::size_t front,
                                      std::size_t room) {
  cut_members_.clear();
  cut_views_.clear();
  for (std::size_t c = 0; c < vectors.size(); ++c) {
    if (front_of_[c] != front) continue;
    cut_members_.push_back(c);
    cut_views_.push_back(vectors[c]);
  }
  const std::vector<double> distance =
      crowding_distances(std::span<const ObjectiveView>(cut_views_));
  // Larger distances first, a NaN distance after every number, equal ones in the front's
  // (ascending) order: a strict total order, so the first `room` of it are one set whatever
  // partial ordering finds them.
  cut_rank_.resize(cut_members_.size());
  std::iota(cut_rank_.begin(), cut_rank_.end(), std::size_t{0});
  const auto first = cut_rank_.begin();
  std::nth_element(first, first + static_cast<std::ptrdiff_t>(room), cut_rank_.end(),
                   [&](std::size_t a, std::size_t b) {
                     if (more_spread(distance[a], distance[b])) return true;
                     return !more_spread(distance[b], distance[a]) && a < b;
                   });
  for (auto j = first + static_cast<std::ptrdiff_t>(room); j != cut_rank_.end(); ++j) {
    front_of_[cut_members_[*j]] = front + 1;
  }
}

std::span<const std::size_t> NondominatedSelection::select(std::span<const ObjectiveView> vectors,
                                                           std::span<const double> violations,
                                                           std::size_t keep) {
  const std::size_t n = vectors.size();
  keep = std::min(keep, n);
  front_of_.resize(n);
  const std::size_t fronts =
      two_objectives_without_nan(vectors)     ? fronts_of_two(vectors, violations)
      : three_objectives_without_nan(vectors) ? fronts_of_three(vectors, violations, keep)
                                              : fronts_by_pairs(vectors, violations);
  front_sizes_.assign(fronts, 0);
  for (const std::size_t f : front_of_) ++front_sizes_[f];
  // Whole fronts while they fit; then the first that does not is cut by crowding, unless no room
  // is left for it. Survivors are the candidates on fronts before `limit`.
  std::size_t limit = fronts;
  std::size_t taken = 0;
  for (std::size_t f = 0; f < fronts; ++f) {
    const std::size_t room = keep - taken;
    if (front_sizes_[f] <= room) {
      taken += front_sizes_[f];
      continue;
    }
    if (room > 0) cut_front(vectors, f, room);
    limit = room > 0 ? f + 1 : f;
    break;
  }
  survivors_.clear();
  for (std::size_t c = 0; c < n; ++c) {
    if (front_of_[c] < limit) survivors_.push_back(c);
  }
  return survivors_;
}

std::vector<std::size_t> select_nondominated(std::span<const ObjectiveView> vectors,
                                             std::span<const double> violations, std::size_t keep) {
  NondominatedSelection selection;
  const std::span<const std::size_t> survivors = selection.select(vectors, violations, keep);
  return {survivors.begin(), survivors.end()};
}

}  // namespace corvalinth
