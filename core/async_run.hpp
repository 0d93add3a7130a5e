// The asynchronous run: several particles out for evaluation at once, their values told back in
// any order, each particle moving as soon as its own value is back. One mechanism over the steps
// of a single-objective SwarmRun (a value is a number) and of a multi-objective MopsoRun (a value
// is a row of objective values).
//
// The rule, in terms of the run's steps. Tickets number the asks from 0.
//  - Creation: ask k creates particle k with the draws of the synchronous creation and hands it
//    out; a tell sets that particle's personal best. The tell that completes the creation ends the
//    pass as the synchronous forms do (end_pass: the global best by the minimum rule, or the
//    archive built from the personal bests in particle order; history snapshot, or the end of a
//    run of max_iter = 0); every particle then moves, in index order, and waits to be asked in
//    that order.
//  - Afterwards ask hands out the particle that has waited longest and draws nothing. A tell
//    counts the evaluation and takes the value at once (the particle's and the global best; or
//    the particle's best, with its coin, and the archive); when it is the n-th tell since the pass
//    began it ends the iteration (stop tests in their order, history snapshot; a multi-objective
//    run then prunes its archive and fixes the next pass's leaders). If the run goes on, the
//    particle then moves at once (its draws come now, and it reads the bests, or the archive's
//    leaders of the current pass, as they are now) and waits last.
// So the run is a function of the sequence of asks and tells and of the values told: the same
// sequence gives the same run bit for bit. The sequence is kept (events()) so a run can be
// replayed. A particle does not move while it is out, so the point a ticket names is the particle's
// position whenever its value comes back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/mopso/mopso.hpp"
#include "core/pso.hpp"

namespace corvalinth {

// Every ask and tell of an asynchronous run, in order: an ask names the ticket it handed out, a
// tell its ticket and the values told (one for a single-objective run).
class AsyncEvents {
 public:
  std::size_t size() const { return tickets_.size(); }
  std::uint64_t ticket(std::size_t k) const { return tickets_[k]; }
  bool is_tell(std::size_t k) const { return tells_[k] != 0; }
  std::span<const double> values(std::size_t k) const {
    return {values_.data() + starts_[k], starts_[k + 1] - starts_[k]};
  }

  void ask(std::uint64_t ticket) { add(ticket, false, {}); }
  void tell(std::uint64_t ticket, std::span<const double> values) { add(ticket, true, values); }

  // Each event as its ticket, its flag and its values: a single value as one word (an ask's as
  // 0.0), so a single-objective run keeps its layout, otherwise a length and the values.
  void save(StateWriter& out, bool single) const {
    out.u64(size());
    for (std::size_t k = 0; k < size(); ++k) {
      out.u64(tickets_[k]);
      out.flag(is_tell(k));
      if (single) {
        out.f64(is_tell(k) ? values(k)[0] : 0.0);
      } else {
        out.f64s(values(k));
      }
    }
  }

  void restore(StateReader& in, bool single) {
    *this = AsyncEvents{};
    const std::uint64_t count = in.u64();
    for (std::uint64_t k = 0; k < count; ++k) {
      const std::uint64_t ticket = in.u64();
      const bool tell = in.flag();
      if (single) {
        const double value = in.f64();
        add(ticket, tell, tell ? std::span<const double>(&value, 1) : std::span<const double>{});
      } else {
        const std::vector<double> values = in.f64s_up_to(UINT64_MAX, "told values");
        if (!tell && !values.empty()) state_mismatch("values of an ask");
        add(ticket, tell, values);
      }
    }
  }

 private:
  void add(std::uint64_t ticket, bool tell, std::span<const double> values) {
    tickets_.push_back(ticket);
    tells_.push_back(tell ? 1 : 0);
    values_.insert(values_.end(), values.begin(), values.end());
    starts_.push_back(values_.size());
  }

  std::vector<std::uint64_t> tickets_;
  std::vector<std::uint8_t> tells_;
  std::vector<double> values_;
  std::vector<std::size_t> starts_{0};  // event k's values are [starts_[k], starts_[k + 1])
};

// The asynchronous driver over `Run` (SwarmRun or MopsoRun), told a `Value`: a double, or a row
// of objective values as a span. The run's steps it uses: size, created, finished, asked,
// place_particle, point, record_value, end_pass, save and restore_fields.
template <typename Run, typename Value>
class AsyncRun {
 public:
  using Element = typename Run::Element;
  static constexpr bool kSingleValue = std::is_same_v<Value, double>;

  template <typename Config, typename... Rest>
  explicit AsyncRun(const Config& config, Rest&&... rest)
      : run_(config, std::forward<Rest>(rest)...) {
    // The local phase hands out points that depend on the values of the ones before.
    if constexpr (requires { config.local_search; }) {
      if (config.local_search != LocalSearch::None) fail("the asynchronous run has no local phase");
    }
    // The population step replaces the swarm at the end of an iteration; here particles are out
    // and move one by one.
    if constexpr (requires { config.swarm_selection; }) {
      if (config.swarm_selection != SwarmSelection::None) {
        fail("the asynchronous run has no population step");
      }
    }
  }

  const Run& run() const { return run_; }
  Run& run() { return run_; }

  // True when ask() has a particle to hand out: the run goes on and a particle is neither out
  // nor, during the creation, waiting for the swarm's other first values.
  bool can_ask() const {
    if (run_.finished()) return false;
    return run_.created() ? !waiting_.empty() : created_ < run_.size();
  }

  // Hands out the next particle under `ticket`; `point` is valid until the next call on the run.
  // Only when can_ask().
  struct Asked {
    std::uint64_t ticket;
    std::span<const Element> point;
  };
  Asked ask() {
    std::size_t i;
    if (run_.created()) {
      i = waiting_.front();
      waiting_.pop_front();
    } else {
      i = created_++;
      run_.place_particle(i);
    }
    const std::uint64_t ticket = next_ticket_++;
    out_.push_back({ticket, i});
    events_.ask(ticket);
    return {ticket, run_.point(i)};
  }

  // The tickets out, in ask order, and the point each names (valid until the next call on the
  // run): what a driver resuming a saved run sends out again.
  std::size_t out_count() const { return out_.size(); }
  std::uint64_t out_ticket(std::size_t k) const { return out_[k].ticket; }
  std::span<const Element> out_point(std::size_t k) { return run_.point(out_[k].particle); }

  // True when `ticket` was handed out and not yet told.
  bool is_out(std::uint64_t ticket) const { return find(ticket) != out_.end(); }

  // The value of the point handed out under `ticket`, which is_out(). Not while finished. A value
  // the run refuses (a row of another length) changes nothing.
  void tell(std::uint64_t ticket, Value value) {
    const auto found = find(ticket);
    const std::size_t i = found->particle;
    run_.record_value(i, value);
    out_.erase(found);
    if constexpr (kSingleValue) {
      events_.tell(ticket, std::span<const double>(&value, 1));
    } else {
      events_.tell(ticket, value);
    }
    const bool creating = !run_.created();
    if (++told_ < run_.size()) {
      if (!creating) move_and_wait(i);
      return;
    }
    told_ = 0;
    if (run_.end_pass(nullptr)) return;
    if (creating) {
      for (std::size_t j = 0; j < run_.size(); ++j) move_and_wait(j);
    } else {
      move_and_wait(i);
    }
  }

  const AsyncEvents& events() const { return events_; }

  // The run's state followed by the asynchronous driver's own, in one state.
  void save(StateWriter& out) const {
    run_.save(out);
    out.u64(next_ticket_);
    out.u64(created_);
    out.u64(told_);
    out.u64(out_.size());
    for (const Out& o : out_) {
      out.u64(o.ticket);
      out.u64(o.particle);
    }
    out.u64(waiting_.size());
    for (const std::size_t i : waiting_) out.u64(i);
    events_.save(out, kSingleValue);
  }

  // Replaces the state of this run, freshly built with the saved one's settings; throws
  // RunStateError when the state does not fit or describes no asynchronous run.
  void restore(StateReader& in) {
    run_.restore_fields(in);
    if (run_.asked()) state_mismatch("pending ask");  // the synchronous forms' alone
    const std::size_t n = run_.size();
    next_ticket_ = in.u64();
    created_ = static_cast<std::size_t>(in.index_below(n + 1, "created particles"));
    told_ = static_cast<std::size_t>(in.index_below(n == 0 ? 1 : n, "particles told"));
    std::vector<bool> placed(n, false);
    const auto particle = [&](const char* what) {
      const auto i = static_cast<std::size_t>(in.index_below(n, what));
      if (placed[i]) state_mismatch(what);
      placed[i] = true;
      return i;
    };
    out_.clear();
    const std::uint64_t out_count = in.index_below(n + 1, "particles out");
    for (std::uint64_t k = 0; k < out_count; ++k) {
      const std::uint64_t ticket = in.u64();
      const bool increasing = out_.empty() || out_.back().ticket < ticket;
      if (!increasing || ticket >= next_ticket_) state_mismatch("ticket");
      out_.push_back({ticket, particle("particle out")});
    }
    waiting_.clear();
    const std::uint64_t waiting_count = in.index_below(n + 1, "waiting particles");
    for (std::uint64_t k = 0; k < waiting_count; ++k) waiting_.push_back(particle("waiting"));
    if (run_.created() && !run_.finished() && out_.size() + waiting_.size() != n) {
      state_mismatch("particles out and waiting");
    }
    if (!run_.created() && (!waiting_.empty() || told_ + out_.size() != created_)) {
      state_mismatch("particles of the creation");
    }
    events_.restore(in, kSingleValue);
    in.expect_end();
  }

 private:
  struct Out {
    std::uint64_t ticket;
    std::size_t particle;
  };

  std::vector<Out>::const_iterator find(std::uint64_t ticket) const {
    return std::find_if(out_.begin(), out_.end(), [&](const Out& o) { return o.ticket == ticket; });
  }

  void move_and_wait(std::size_t i) {
    run_.place_particle(i);
    waiting_.push_back(i);
  }

  Run run_;
  std::uint64_t next_ticket_ = 0;
  std::size_t created_ = 0;  // particles created so far (creation pass)
  std::size_t told_ = 0;     // tells since the pass began
  std::vector<Out> out_;     // in ask order
  std::deque<std::size_t> waiting_;
  AsyncEvents events_;
};

// The run whose steps `run` takes: itself, or the one an AsyncRun drives.
template <typename Run>
Run& steps_of(Run& run) {
  return run;
}
template <typename Run, typename Value>
Run& steps_of(AsyncRun<Run, Value>& run) {
  return run.run();
}
template <typename Run, typename Value>
const Run& steps_of(const AsyncRun<Run, Value>& run) {
  return run.run();
}

template <SearchSpace Space>
using AsyncSwarmRun = AsyncRun<SwarmRun<Space>, double>;

template <BoxedSearchSpace Space>
using AsyncMopsoRun = AsyncRun<detail::MopsoRun<Space>, std::span<const double>>;

}  // namespace corvalinth
