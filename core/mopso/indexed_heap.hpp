// A binary heap of the indices 0..n-1, each one at most once, ordered by a caller's "comes first"
// relation (a strict order) whose keys change one index at a time: after an index's key changes,
// update puts it back in place in O(log n). Any index can be taken out.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace corvalinth {

template <typename ComesFirst>
class IndexedHeap {
 public:
  explicit IndexedHeap(ComesFirst comes_first) : comes_first_(std::move(comes_first)) {}

  // Holds every index of 0..count-1, ordered in O(count).
  void hold_all(std::size_t count) {
    heap_.resize(count);
    place_.resize(count);
    for (std::size_t k = 0; k < count; ++k) heap_[k] = place_[k] = k;
    for (std::size_t p = count / 2; p-- > 0;) sift_down(p);
  }
  bool empty() const { return heap_.empty(); }
  std::size_t top() const { return heap_.front(); }
  bool holds(std::size_t index) const { return index < place_.size() && place_[index] != kAbsent; }
  void update(std::size_t index) { sift_down(sift_up(place_[index])); }
  void remove(std::size_t index) {
    const std::size_t place = place_[index];
    const std::size_t last = heap_.back();
    heap_.pop_back();
    place_[index] = kAbsent;
    if (last == index) return;
    heap_[place] = last;
    place_[last] = place;
    update(last);
  }

 private:
  static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

  std::size_t sift_up(std::size_t place) {
    const std::size_t index = heap_[place];
    while (place > 0) {
      const std::size_t parent = (place - 1) / 2;
      if (!comes_first_(index, heap_[parent])) break;
      put(place, heap_[parent]);
      place = parent;
    }
    put(place, index);
    return place;
  }
  void sift_down(std::size_t place) {
    const std::size_t index = heap_[place];
    const std::size_t count = heap_.size();
    for (;;) {
      std::size_t child = 2 * place + 1;
      if (child >= count) break;
      if (child + 1 < count && comes_first_(heap_[child + 1], heap_[child])) ++child;
      if (!comes_first_(heap_[child], index)) break;
      put(place, heap_[child]);
      place = child;
    }
    put(place, index);
  }
  void put(std::size_t place, std::size_t index) {
    heap_[place] = index;
    place_[index] = place;
  }

  ComesFirst comes_first_;
  std::vector<std::size_t> heap_;   // indices, each before its children
  std::vector<std::size_t> place_;  // by index: its place in heap_, kAbsent once removed
};

}  // namespace corvalinth
