#include "core/spaces/bounds.hpp"

#include <cmath>

namespace corvalinth {
namespace {

// Mirror passes tried before a coordinate is folded. Each pass moves a coordinate about two
// widths closer, so anything within a few hundred widths of the range gets the exact repeated
// mirror; beyond that (or when rounding stalls the mirror) the coordinate is folded instead.
constexpr int kMirrorPasses = 256;

bool outside(double x, double lo, double hi) { return x < lo || x > hi; }

// Folds x into [lo, hi] as an endless mirror would, computed directly: x - lo modulo twice the
// width, mirrored back when it lands in the upper half. Coordinates that overflow go to the
// nearer bound.
double fold(double x, double lo, double hi) {
  const double width = hi - lo;
  const double period = width + width;
  double offset = std::fmod(x - lo, period);
  if (!std::isfinite(offset)) return x < lo ? lo : hi;
  if (offset < 0) offset += period;
  if (offset > width) offset = period - offset;
  double folded = lo + offset;
  if (folded < lo) folded = lo;
  if (folded > hi) folded = hi;
  return folded;
}

double reflect(double x, double lo, double hi, UpperMirror mirror) {
  for (int pass = 0; pass < kMirrorPasses; ++pass) {
    if (!outside(x, lo, hi)) return x;  // also ends at once for NaN
    if (x < lo) x = (lo - x) + lo;
    if (x > hi) x = mirror == UpperMirror::HiMinusExcess ? hi - (x - hi) : (hi - x) + hi;
  }
  return outside(x, lo, hi) ? fold(x, lo, hi) : x;
}

}  // namespace

void bring_back(double& x, double& velocity, double lo, double hi, BoundsHandling mode,
                SwarmRng& rng, UpperMirror mirror) {
  const double width = hi - lo;
  switch (mode) {
    case BoundsHandling::Clamp:
      if (x < lo) {
        x = lo;
      } else if (x > hi) {
        x = hi;
      }
      return;
    case BoundsHandling::Reflect:
      if (width <= 0) {
        x = lo;
        return;
      }
      x = reflect(x, lo, hi, mirror);
      velocity = -velocity;
      return;
    case BoundsHandling::Wrap: {
      if (width <= 0) {
        x = lo;
        return;
      }
      double r = std::fmod(x - lo, width);
      if (r < 0) r = width + r;
      x = r + lo;
      return;
    }
    case BoundsHandling::Reinit:
      x = width <= 0 ? lo : rng.uniform_closed(lo, hi);
      velocity = 0.0;
      return;
  }
}

}  // namespace corvalinth
