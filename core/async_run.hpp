// The asynchronous single-objective run: several particles out for evaluation at once, their
// values told back in any order, each particle moving as soon as its own value is back.
//
// The rule, in terms of SwarmRun's steps. Tickets number the asks from 0.
//  - Creation: ask k creates particle k with the draws of the synchronous creation and hands it
//    out; a tell sets that particle's personal best. The tell that completes the creation picks
//    the global best by the minimum rule and ends the pass (SwarmRun::end_pass: history snapshot,
//    or the end of a run of max_iter = 0); every particle then moves, in index order, and waits
//    to be asked in that order.
//  - Afterwards ask hands out the particle that has waited longest and draws nothing. A tell
//    counts the evaluation and updates the particle's and the global best at once; when it is the
//    n-th tell since the pass began it ends the iteration (convergence, stop tests in their
//    order, history snapshot). If the run goes on, the particle then moves at once (its draws
//    come now, and it reads the bests as they are now) and waits last.
// So the run is a function of the sequence of asks and tells and of the values told: the same
// sequence gives the same run bit for bit. The sequence is kept (events()) so a run can be
// replayed. A particle does not move while it is out, so the point a ticket names is the particle's
// position whenever its value comes back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "core/pso.hpp"

namespace corvalinth {

// One step of an asynchronous run's driver: an ask that handed out `ticket`, or a tell of
// `value` for `ticket`.
struct AsyncEvent {
  std::uint64_t ticket = 0;
  bool tell = false;
  double value = 0.0;
};

template <SearchSpace Space>
class AsyncSwarmRun {
 public:
  using Element = typename Space::Element;

  AsyncSwarmRun(const SwarmConfig& config, const Space& space, const VelocityRule& rule,
                Topology& topology)
      : run_(config, space, rule, topology) {
    // The local phase hands out points that depend on the values of the ones before.
    if (config.local_search != LocalSearch::None) fail("the asynchronous run has no local phase");
  }

  const SwarmRun<Space>& run() const { return run_; }
  SwarmRun<Space>& run() { return run_; }

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
    events_.push_back({ticket, false, 0.0});
    return {ticket, run_.point(i)};
  }

  // The tickets out, in ask order, and the point each names (valid until the next call on the
  // run): what a driver resuming a saved run sends out again.
  std::size_t out_count() const { return out_.size(); }
  std::uint64_t out_ticket(std::size_t k) const { return out_[k].ticket; }
  std::span<const Element> out_point(std::size_t k) { return run_.point(out_[k].particle); }

  // True when `ticket` was handed out and not yet told.
  bool is_out(std::uint64_t ticket) const { return find(ticket) != out_.end(); }

  // The value of the point handed out under `ticket`, which is_out(). Not while finished.
  void tell(std::uint64_t ticket, double value) {
    const auto found = find(ticket);
    const std::size_t i = found->particle;
    out_.erase(found);
    events_.push_back({ticket, true, value});
    run_.record_value(i, value);
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

  // Every ask and tell so far, in order.
  const std::vector<AsyncEvent>& events() const { return events_; }

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
    out.u64(events_.size());
    for (const AsyncEvent& e : events_) {
      out.u64(e.ticket);
      out.flag(e.tell);
      out.f64(e.value);
    }
  }

  // Replaces the state of this run, freshly built with the saved one's settings; throws
  // RunStateError when the state does not fit or describes no asynchronous run.
  void restore(StateReader& in) {
    run_.restore_fields(in);
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
    events_.clear();
    const std::uint64_t event_count = in.u64();
    for (std::uint64_t k = 0; k < event_count; ++k) {
      AsyncEvent e;
      e.ticket = in.u64();
      e.tell = in.flag();
      e.value = in.f64();
      events_.push_back(e);
    }
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

  SwarmRun<Space> run_;
  std::uint64_t next_ticket_ = 0;
  std::size_t created_ = 0;  // particles created so far (creation pass)
  std::size_t told_ = 0;     // tells since the pass began
  std::vector<Out> out_;     // in ask order
  std::deque<std::size_t> waiting_;
  std::vector<AsyncEvent> events_;
};

}  // namespace corvalinth
