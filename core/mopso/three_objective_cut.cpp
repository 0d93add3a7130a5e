#include "core/mopso/three_objective_cut.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/mopso/hypervolume.hpp"
#include "core/mopso/indexed_heap.hpp"
#include "core/mopso/owner_area.hpp"
#include "core/mopso/value_order.hpp"

namespace corvalinth {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Below this rank a member finds its neighbours on arrival faster by one pass over the earlier
// members than by walking the orders in x and y.
constexpr std::size_t kShortPast = 32;
// Room for the members a member rests on, reserved at once: most list fewer.
constexpr std::size_t kListedAtOnce = 16;
constexpr std::uint8_t kReadsX = 1;
constexpr std::uint8_t kReadsY = 2;
constexpr std::uint8_t kReadsZ = 4;
// The rounding slack of a waiting member's bound, in units of (n + 8) epsilon V (see
// rounding_slack): twelve times what the rounding of two computations can reach.
constexpr double kSlackPerMember = 64.0;

// An inner staircase that loses steps only at its ends (what owner_area.hpp's cuts erase), read
// in place: a run of steps that the cut keeps in one pool.
struct StepRun {
  Step* first;
  Step* last;
  Step* begin() const { return first; }
  Step* end() const { return last; }
  void erase(Step* from, Step* to) {
    if (from == first) {
      first = to;
    } else {
      last = from;
    }
  }
};
Step* first_step_from(StepRun& steps, double x) {
  return std::lower_bound(steps.first, steps.last, Step{x, 0.0}, StepByX{});
}

// Members are held by their place in the sweep's order (rank), so that the passes over earlier
// and later arrivals read contiguous values.
class ThreeObjectiveCut {
 public:
  ThreeObjectiveCut(const std::vector<ArchiveMember>& members,
                    std::vector<std::vector<std::size_t>>& lists)
      : members_(members),
        n_(members.size()),
        rank_(n_),
        member_(n_),
        x_(n_),
        y_(n_),
        z_(n_),
        cut_(n_, 0),
        share_(n_, 0.0),
        order_(n_, 0),
        floor_(n_, 0.0),
        heap_(ChosenFirst{this}),
        depends_on_(lists),
        arrival_(n_),
        pending_(n_),
        reads_(n_, 0),
        candidates_(n_),
        finite_(all_finite(members)) {
    if (!finite_) return;    // values that are not all numbers have no strict order to sort by
    depends_on_.resize(n_);  // each list is emptied when its member arrives
    // Each order comes from the values of one objective (ascending_order, equal values in index
    // order), its runs of equal values then sorted by the rest of the key: rare, as values seldom
    // repeat.
    std::vector<double> values(n_);
    std::vector<OrderedValue> order;
    std::vector<OrderedValue> room;
    const auto sort_ties = [&](auto comes_first) {
      for (std::size_t first = 0; first < n_;) {
        std::size_t last = first + 1;
        while (last < n_ && order[last].key == order[first].key) ++last;
        if (last - first > 1) {
          std::sort(order.begin() + static_cast<std::ptrdiff_t>(first),
                    order.begin() + static_cast<std::ptrdiff_t>(last), comes_first);
        }
        first = last;
      }
    };
    // The ranks: by (z, x, y), strict since no two members of an archive are equal.
    for (std::size_t j = 0; j < n_; ++j) values[j] = members_[j].objectives[2];
    ascending_order(values, order, room);
    sort_ties([&](const OrderedValue& a, const OrderedValue& b) {
      const std::vector<double>& p = members_[a.index].objectives;
      const std::vector<double>& q = members_[b.index].objectives;
      return p[0] != q[0] ? p[0] < q[0] : p[1] < q[1];
    });
    for (std::size_t k = 0; k < n_; ++k) {
      const std::size_t member = order[k].index;
      const std::vector<double>& p = members_[member].objectives;
      member_[k] = member;
      rank_[member] = k;
      x_[k] = p[0];
      y_[k] = p[1];
      z_[k] = p[2];
    }
    // By (first, second, rank), so that the orders do not depend on the sort.
    const auto order_by = [&](const std::vector<double>& first, const std::vector<double>& second,
                              std::vector<std::size_t>& ranks, std::vector<double>& sorted) {
      ascending_order(first, order, room);
      sort_ties([&](const OrderedValue& a, const OrderedValue& b) {
        const double p = second[a.index];
        const double q = second[b.index];
        return p != q ? p < q : a.index < b.index;
      });
      ranks.resize(n_);
      sorted.resize(n_);
      for (std::size_t p = 0; p < n_; ++p) {
        ranks[p] = order[p].index;
        sorted[p] = first[order[p].index];
      }
    };
    order_by(x_, y_, by_x_, sorted_x_);
    order_by(y_, x_, by_y_, sorted_y_);
    for (std::size_t c = 0; c < 3; ++c) last_left_[c] = n_ - 1;
  }

  // The marks by member index.
  std::vector<bool> run(std::size_t capacity) {
    std::vector<bool> marked(n_, false);
    if (!finite_ || n_ <= capacity || !refresh_reference()) return marked;
    evaluate_all();
    heap_.hold_all(n_);
    for (std::size_t remaining = n_; remaining > capacity; --remaining) {
      const std::size_t victim = rank_[least_share()];
      heap_.remove(victim);
      const bool extreme = holds_an_extreme(victim);
      cut_[victim] = 1;
      x_[victim] = kInfinity;
      y_[victim] = kInfinity;
      marked[member_[victim]] = true;
      std::uint8_t moved = 0;  // the reference's coordinates that the cut moved
      if (extreme) {
        const std::vector<double> old_reference = reference_;
        if (!refresh_reference()) break;
        moved = moved_coordinates(old_reference);
      }
      // The relation is symmetric: the members that rested on the victim are the ones it rested
      // on (a neighbour when one arrived is narrowed by that arrival, a removed point is an inner
      // step of the one that removed it). The victim's list is current, since only members whose
      // contribution is up to date are cut. A member that read a moved coordinate arrives again,
      // since its arrival keeps the reference's old value; so does every member left waiting,
      // whose bound held for the old reference only. The others' bounds are taken anew.
      for (const std::size_t k : depends_on_[victim]) {
        if (!cut_[k] && !(reads_[k] & moved)) defer(k, victim);
      }
      if (moved != 0) {
        for (std::size_t k = 0; k < n_; ++k) {
          if (cut_[k]) continue;
          if (pending_[k].waiting || (reads_[k] & moved)) {
            pending_[k] = Pending{};
            evaluate(k);
          } else {
            record(k, share_[k]);
          }
        }
      }
    }
    return marked;
  }

 private:
  static bool all_finite(const std::vector<ArchiveMember>& members) {
    for (const ArchiveMember& member : members) {
      for (const double v : member.objectives) {
        if (!std::isfinite(v)) return false;
      }
    }
    return true;
  }

  // Bit c set when coordinate c of the reference differs from `old` in any bit.
  std::uint8_t moved_coordinates(const std::vector<double>& old) const {
    std::uint8_t moved = 0;
    for (std::size_t c = 0; c < 3; ++c) {
      if (std::bit_cast<std::uint64_t>(reference_[c]) != std::bit_cast<std::uint64_t>(old[c])) {
        moved = static_cast<std::uint8_t>(moved | (1u << c));
      }
    }
    return moved;
  }

  // The members left wait in a heap (by rank) ordered as the one-at-a-time cut chooses: a NaN
  // before any number, then the least, ties to the lowest member index. Each value is also held
  // as an integer in the same order (choice_order), which the heap compares.
  struct ChosenFirst {
    const ThreeObjectiveCut* cut;
    bool operator()(std::size_t a, std::size_t b) const {
      const std::uint64_t order_a = cut->order_[a];
      const std::uint64_t order_b = cut->order_[b];
      return order_a < order_b || (order_a == order_b && cut->member_[a] < cut->member_[b]);
    }
  };
  // NaN first (0), then the numbers ascending, -0.0 with +0.0: a number's bits with the sign
  // flipped, all of them for a negative number.
  static std::uint64_t choice_order(double value) {
    if (std::isnan(value)) return 0;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value + 0.0);  // -0.0 + 0.0 is +0.0
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    return (bits & kSign) != 0 ? ~bits : bits | kSign;
  }
  // Sets the value member i waits under.
  void wait_under(std::size_t i, double value) {
    share_[i] = value;
    order_[i] = choice_order(value);
    if (heap_.holds(i)) heap_.update(i);
  }
  void record(std::size_t i, double share) {
    wait_under(i, share);
    floor_[i] = share - rounding_slack(i);
  }

  // A cut can only add to the exact contributions of the others while the reference stays, so a
  // member that rested on the victim need not be recomputed at once: it waits in the heap under a
  // lower bound of its new computed value, its old one less the rounding of both, and is
  // recomputed only when that bound comes up. A member that comes up with its value up to date
  // is then cut exactly as recomputing every changed contribution at once would choose, ties
  // included: every bound behind it, member index for member index, is at or above it.
  //
  // The bound on the rounding: a contribution is a sum, over the levels of the sweep, of open
  // areas times heights, each open area the member's rectangle less strips that are disjoint
  // parts of it, found in at most n steps and events; so its computed value lies within
  // (5 n + 15) u V of the exact one, with u half the machine epsilon and V the volume of the box
  // between the member and the reference. The slack is far beyond twice that. A value or a slack
  // that is not finite (overflow) leaves no bound: the member is recomputed at once.
  double rounding_slack(std::size_t i) const {
    const double box = (reference_[0] - x_[i]) * (reference_[1] - y_[i]) * (reference_[2] - z_[i]);
    return kSlackPerMember * static_cast<double>(n_ + 8) * std::numeric_limits<double>::epsilon() *
           box;
  }
  // What has changed for a member since it was last evaluated, while it waits.
  struct Pending {
    bool waiting = false;
    bool arrives_again = false;  // an earlier member was cut: its arrival is out of date
    bool top_moved = false;      // its top neighbour was cut
  };
  void defer(std::size_t k, std::size_t victim) {
    Pending& pending = pending_[k];
    pending.arrives_again |= victim < k;
    pending.top_moved |= victim == arrival_[k].top_by;
    if (pending.waiting) return;
    if (!std::isfinite(floor_[k])) {
      refresh(k);
      return;
    }
    pending.waiting = true;
    wait_under(k, floor_[k]);
  }
  // Recomputes a member that rested on members cut since it was last evaluated.
  void refresh(std::size_t k) {
    const Pending pending = pending_[k];
    pending_[k] = Pending{};
    evaluate(k, !pending.arrives_again, !pending.top_moved);
  }
  // The member to cut next.
  std::size_t least_share() {
    for (;;) {
      const std::size_t k = heap_.top();
      if (!pending_[k].waiting) return member_[k];
      refresh(k);
    }
  }

  // True when member k equals the largest or the smallest value left in some objective, the only
  // case in which removing it can move the default reference.
  bool holds_an_extreme(std::size_t k) const {
    const double v[3] = {x_[k], y_[k], z_[k]};
    for (std::size_t c = 0; c < 3; ++c) {
      if (v[c] == highest_[c] || v[c] == lowest_[c]) return true;
    }
    return false;
  }

  // The default reference of the members left, from their extremes (which do not depend on the
  // order the values are read in, all being finite); false unless it lies strictly beyond every
  // one of them in every objective, the case in which the sweep keeps them all. The extremes are
  // the first and the last member left in each objective's order (the ranks' own order for z).
  bool refresh_reference() {
    const std::vector<double>* values[3] = {&x_, &y_, &z_};
    const std::vector<std::size_t>* orders[3] = {&by_x_, &by_y_, nullptr};
    const auto ranked = [&](std::size_t c, std::size_t place) {
      return orders[c] != nullptr ? (*orders[c])[place] : place;
    };
    reference_.resize(3);
    for (std::size_t c = 0; c < 3; ++c) {
      while (cut_[ranked(c, first_left_[c])]) ++first_left_[c];
      while (cut_[ranked(c, last_left_[c])]) --last_left_[c];
      const std::vector<double>& v = *values[c];
      const double highest = v[ranked(c, last_left_[c])];
      const double lowest = v[ranked(c, first_left_[c])];
      highest_[c] = highest;
      lowest_[c] = lowest;
      reference_[c] = default_reference_coordinate(lowest, highest);
      if (!std::isfinite(reference_[c]) || !(highest < reference_[c])) return false;
    }
    return true;
  }

  // Who gives i its right end and its top when it arrives (n_ for the reference), and how many
  // candidates for its inner staircase were gathered on the way. Both ways of finding them also
  // set right and top, which start at the reference.
  struct Arrival {
    std::size_t right_by;
    std::size_t top_by;
    std::size_t found;
  };

  // One pass over the earlier members. Branch-free where the outcome is a coin toss: a cut member
  // lies at +inf, where it neither neighbours nor falls inside any rectangle. Gathers the members
  // at or above and right of i as candidates.
  Arrival arrival_by_rank(std::size_t i, double& right, double& top) {
    const double xi = x_[i];
    const double yi = y_[i];
    std::size_t right_by = n_;
    std::size_t top_by = n_;
    double least_x = kInfinity;  // of the members below i
    double least_x_y = kInfinity;
    double least_y = kInfinity;  // of the members left of i
    double least_y_x = kInfinity;
    std::size_t found = 0;
    for (std::size_t w = 0; w < i; ++w) {
      const double wx = x_[w];
      const double wy = y_[w];
      const bool below = wy < yi;
      const bool left = wx < xi;
      const bool right_candidate = below & ((wx < least_x) | ((wx == least_x) & (wy < least_x_y)));
      least_x = right_candidate ? wx : least_x;
      least_x_y = right_candidate ? wy : least_x_y;
      right_by = right_candidate ? w : right_by;
      const bool top_candidate =
          !below & left & ((wy < least_y) | ((wy == least_y) & (wx < least_y_x)));
      least_y = top_candidate ? wy : least_y;
      least_y_x = top_candidate ? wx : least_y_x;
      top_by = top_candidate ? w : top_by;
      candidates_[found] = w;
      found += static_cast<std::size_t>(!below & !left);
    }
    if (right_by != n_) right = x_[right_by];
    if (top_by != n_) top = y_[top_by];
    return Arrival{right_by, top_by, found};
  }

  // The candidates inside the rectangle, by ascending (x, y); returns their count.
  std::size_t candidates_by_rank(std::size_t found, double right, double top) {
    const auto first = candidates_.begin();
    const auto inside =
        std::remove_if(first, first + static_cast<std::ptrdiff_t>(found),
                       [&](std::size_t w) { return !(x_[w] < right && y_[w] < top); });
    std::sort(first, inside, [&](std::size_t a, std::size_t b) {
      return x_[a] != x_[b] ? x_[a] < x_[b] : y_[a] < y_[b];
    });
    return static_cast<std::size_t>(inside - first);
  }

  // The same from the members ordered by (x, y) and by (y, x): every earlier member left of i
  // lies above it (or it would dominate i), so the top neighbour is the first earlier member left
  // of i from y_i on; likewise the right neighbour is the first earlier member below i from x_i
  // on, and the earlier members passed on the way are the candidates (none of them lies at or
  // beyond the right neighbour's x). Short walks for a late arrival, which has many earlier
  // members near it. The tests are branch-free but for the one that ends a walk.
  // `known_top`, when it is not n_ + 1, is the top neighbour already known (n_ for the reference).
  Arrival arrival_by_position(std::size_t i, double& right, double& top, std::size_t known_top) {
    const double xi = x_[i];
    const double yi = y_[i];
    Arrival at{n_, n_, 0};
    if (known_top != kUnknown()) {
      at.top_by = known_top;
      if (known_top != n_) top = y_[known_top];
    }
    for (std::size_t p = known_top != kUnknown() ? n_ : first_at_or_after(sorted_y_, yi); p < n_;
         ++p) {
      const std::size_t w = by_y_[p];
      if ((w < i) & (x_[w] < xi)) {
        at.top_by = w;
        top = y_[w];
        break;
      }
    }
    for (std::size_t p = first_at_or_after(sorted_x_, xi); p < n_; ++p) {
      const std::size_t w = by_x_[p];
      const bool earlier = w < i;
      const double wy = y_[w];
      if (earlier & (wy < yi)) {
        at.right_by = w;
        right = x_[w];
        break;
      }
      candidates_[at.found] = w;
      at.found += static_cast<std::size_t>(earlier & (wy < top));
    }
    return at;
  }

  static std::size_t first_at_or_after(const std::vector<double>& sorted, double value) {
    return static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), value) -
                                    sorted.begin());
  }

  // What member i finds when it arrives: its right neighbour is the earlier member of least x
  // below it (ties to the lower one), its top neighbour the earlier member of least y left of it
  // (ties to the one further left); the others at or above and right of i, inside that rectangle,
  // form the slice's staircase there, which i's arrival makes its inner staircase. Kept, with
  // the members it rests on at the head of depends_on_[i], until an earlier member is cut.
  std::size_t kUnknown() const { return n_ + 1; }

  // `top_kept` when i's top neighbour is still the one it found when it last arrived.
  void arrive(std::size_t i, bool top_kept) {
    std::vector<std::size_t>& on = depends_on_[i];
    on.clear();
    on.reserve(kListedAtOnce);
    ArrivalState& state = arrival_[i];
    state.right = reference_[0];
    state.top = reference_[1];
    const bool short_past = i < kShortPast;
    const Arrival at = short_past ? arrival_by_rank(i, state.right, state.top)
                                  : arrival_by_position(i, state.right, state.top,
                                                        top_kept ? state.top_by : kUnknown());
    state.top_by = at.top_by;
    if (at.right_by != n_) on.push_back(at.right_by);
    if (at.top_by != n_) on.push_back(at.top_by);
    state.reads = static_cast<std::uint8_t>((at.right_by == n_ ? kReadsX : 0) |
                                            (at.top_by == n_ ? kReadsY : 0));
    const std::size_t found =
        short_past ? candidates_by_rank(at.found, state.right, state.top) : at.found;
    state.inner_from = inner_pool_.size();
    double lowest = state.top;
    for (std::size_t c = 0; c < found; ++c) {
      const std::size_t w = candidates_[c];
      if (!(y_[w] < lowest)) continue;  // a candidate left of it and no higher covers it
      lowest = y_[w];
      inner_pool_.push_back(Step{x_[w], y_[w]});
      on.push_back(w);
    }
    state.inner_to = inner_pool_.size();
    state.resting = on.size();
  }

  // What evaluate(i) finds for every i, before any cut, in one sweep over the ranks. The slice's
  // staircase (ranks by ascending x, so by descending y) holds exactly the arrivals that evaluate
  // finds: an earlier member off the staircase is covered in (x, y) by one on it that lies nearer
  // (no two members share both x and y, or one would dominate the other), so the right
  // neighbour, the top neighbour and the inner staircase of an arrival are its staircase
  // neighbours and the steps between them. And a later arrival q changes exactly the members
  // evaluate's pass sees it change: it removes the steps it covers, narrows the right side of the
  // step before them and the top of the step after. Each member keeps its running sums from its
  // arrival to its removal or the end, with the arithmetic of evaluate in the same order.
  void evaluate_all() {
    staircase_.clear();
    running_.resize(n_);
    const auto settle = [&](std::size_t w, double level) {
      Running& run = running_[w];
      run.sum = run.sum + run.open * (level - run.since);
      run.since = level;
    };
    for (std::size_t q = 0; q < n_; ++q) {
      const double xq = x_[q];
      const double yq = y_[q];
      const std::size_t a = static_cast<std::size_t>(
          std::lower_bound(staircase_.begin(), staircase_.end(), xq,
                           [&](std::size_t w, double x) { return x_[w] < x; }) -
          staircase_.begin());
      std::size_t b = a;
      while (b < staircase_.size() && y_[staircase_[b]] >= yq) ++b;
      const std::size_t right_by = b < staircase_.size() ? staircase_[b] : n_;
      const std::size_t top_by = a > 0 ? staircase_[a - 1] : n_;

      std::vector<std::size_t>& on = depends_on_[q];
      on.clear();
      on.reserve(kListedAtOnce);
      ArrivalState& state = arrival_[q];
      state.right = right_by != n_ ? x_[right_by] : reference_[0];
      state.top = top_by != n_ ? y_[top_by] : reference_[1];
      if (right_by != n_) on.push_back(right_by);
      if (top_by != n_) on.push_back(top_by);
      state.top_by = top_by;
      state.reads =
          static_cast<std::uint8_t>((right_by == n_ ? kReadsX : 0) | (top_by == n_ ? kReadsY : 0));
      state.inner_from = inner_pool_.size();
      for (std::size_t j = a; j < b; ++j) {
        const std::size_t w = staircase_[j];
        inner_pool_.push_back(Step{x_[w], y_[w]});
        on.push_back(w);
      }
      state.inner_to = inner_pool_.size();
      state.resting = on.size();

      for (std::size_t j = a; j < b; ++j) {
        const std::size_t w = staircase_[j];
        settle(w, z_[q]);
        depends_on_[w].push_back(q);
        reads_[w] = arrival_[w].reads;
        record(w, running_[w].sum);
      }
      if (top_by != n_) {
        Running& run = running_[top_by];
        settle(top_by, z_[q]);
        depends_on_[top_by].push_back(q);
        StepRun inner = steps_of(run);
        run.open -= cut_right_side(inner, y_[top_by], run.top, xq, run.right);
        keep_steps(run, inner);
        run.right = xq;
      }
      if (right_by != n_) {
        Running& run = running_[right_by];
        settle(right_by, z_[q]);
        depends_on_[right_by].push_back(q);
        StepRun inner = steps_of(run);
        run.open -= cut_top_side(inner, x_[right_by], run.right, yq, run.top);
        keep_steps(run, inner);
        run.top = yq;
      }

      Running& run = running_[q];
      run.right = state.right;
      run.top = state.top;
      run.inner_from = state.inner_from;
      run.inner_to = state.inner_to;
      run.open = open_area(steps_of(run), xq, yq, run.right, run.top);
      run.since = z_[q];
      run.sum = 0.0;
      const auto at = staircase_.begin() + static_cast<std::ptrdiff_t>(a);
      staircase_.insert(staircase_.erase(at, staircase_.begin() + static_cast<std::ptrdiff_t>(b)),
                        q);
    }
    for (const std::size_t w : staircase_) {
      settle(w, reference_[2]);
      reads_[w] = static_cast<std::uint8_t>(arrival_[w].reads | kReadsZ);
      record(w, running_[w].sum);
    }
  }

  // A member's running sums in evaluate_all, from its arrival on.
  struct Running {
    double open;
    double since;
    double sum;
    double right;
    double top;
    std::size_t inner_from;  // what is left of its inner staircase in inner_pool_
    std::size_t inner_to;
  };
  StepRun steps_of(const Running& run) {
    return StepRun{inner_pool_.data() + run.inner_from, inner_pool_.data() + run.inner_to};
  }
  void keep_steps(Running& run, const StepRun& inner) const {
    run.inner_from = static_cast<std::size_t>(inner.first - inner_pool_.data());
    run.inner_to = static_cast<std::size_t>(inner.last - inner_pool_.data());
  }

  // The contribution of the member of rank i among the members left, as the sweep forms it, and
  // the members it rests on; `arrived` when nothing earlier than i was cut since it last arrived.
  // `top_kept` as for arrive.
  void evaluate(std::size_t i, bool arrived = false, bool top_kept = false) {
    if (arrived) {
      depends_on_[i].resize(arrival_[i].resting);
    } else {
      arrive(i, top_kept);
    }
    std::vector<std::size_t>& on = depends_on_[i];
    const ArrivalState& state = arrival_[i];
    const double xi = x_[i];
    const double yi = y_[i];
    double right = state.right;
    double top = state.top;
    inner_.assign(inner_pool_.begin() + static_cast<std::ptrdiff_t>(state.inner_from),
                  inner_pool_.begin() + static_cast<std::ptrdiff_t>(state.inner_to));
    double open = open_area(inner_, xi, yi, right, top);
    double since = z_[i];
    double sum = 0.0;
    const auto settle = [&](double level) {
      sum = sum + open * (level - since);
      since = level;
    };
    // Each later arrival either removes i from the staircase, becomes its right or its top
    // neighbour, or lands elsewhere and leaves it alone.
    for (std::size_t q = i + 1; q < n_; ++q) {
      const double qx = x_[q];
      const double qy = y_[q];
      const bool to_the_right = xi < qx;
      const bool removes = !to_the_right & (yi >= qy);
      const bool narrows_right = to_the_right & !(right < qx);
      const bool narrows_top = !to_the_right & (yi < qy) & !(top < qy);
      if (!(removes | narrows_right | narrows_top)) continue;
      settle(z_[q]);
      on.push_back(q);
      if (removes) {
        reads_[i] = state.reads;
        record(i, sum);
        return;
      }
      if (narrows_right) {
        open -= cut_right_side(inner_, yi, top, qx, right);
        right = qx;
      } else {
        open -= cut_top_side(inner_, xi, right, qy, top);
        top = qy;
      }
    }
    settle(reference_[2]);
    reads_[i] = static_cast<std::uint8_t>(state.reads | kReadsZ);
    record(i, sum);
  }

  const std::vector<ArchiveMember>& members_;
  const std::size_t n_;
  std::vector<std::size_t> rank_;    // by member
  std::vector<std::size_t> member_;  // by rank; the rest is by rank too
  std::vector<double> x_;
  std::vector<double> y_;
  std::vector<double> z_;
  std::vector<std::size_t> by_x_;  // ranks by ascending (x, y) of the values before any cut
  std::vector<double> sorted_x_;   // those x values in that order
  std::vector<std::size_t> by_y_;  // ranks by ascending (y, x)
  std::vector<double> sorted_y_;
  std::vector<char> cut_;             // not vector<bool>: read in the hot loops
  std::vector<double> share_;         // the value each member waits under, by rank
  std::vector<std::uint64_t> order_;  // that value in choice_order
  std::vector<double> floor_;         // the lower bound of each member's next value, by rank
  IndexedHeap<ChosenFirst> heap_;
  std::vector<std::vector<std::size_t>>& depends_on_;  // the caller's, kept with their room
  struct ArrivalState {
    double right;
    double top;
    std::size_t inner_from;  // the inner staircase in inner_pool_
    std::size_t inner_to;
    std::size_t resting;  // how many members at the head of depends_on_ the arrival rests on
    std::uint8_t reads;   // kReadsX and kReadsY when its right end and its top are the reference's
    std::size_t top_by;   // the member that gives its top, n_ for the reference
  };
  std::vector<ArrivalState> arrival_;
  std::vector<Pending> pending_;  // by rank
  // The reference's coordinates that each member's contribution reads (its right end, its top,
  // or the end of the sweep, which it reaches unless a later member removes it): bits 1, 2, 4.
  std::vector<std::uint8_t> reads_;
  std::vector<Step> inner_pool_;  // every inner staircase found, appended
  std::vector<double> reference_;
  double highest_[3] = {};
  std::size_t first_left_[3] = {};  // the places of the extremes in each objective's order
  std::size_t last_left_[3] = {};
  double lowest_[3] = {};
  std::vector<std::size_t> candidates_;  // reused
  std::vector<std::size_t> staircase_;   // evaluate_all's, by ascending x
  std::vector<Running> running_;         // evaluate_all's, by rank
  const bool finite_;                    // every value is a finite number: the cut applies
  StepVector inner_;                     // reused
};

}  // namespace

std::vector<bool> mark_three_objective_cut(const std::vector<ArchiveMember>& members,
                                           std::size_t capacity,
                                           std::vector<std::vector<std::size_t>>& lists) {
  return ThreeObjectiveCut(members, lists).run(capacity);
}

}  // namespace corvalinth
