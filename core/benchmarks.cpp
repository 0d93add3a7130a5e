#include "core/benchmarks.hpp"

#include <array>
#include <cmath>

namespace corvalinth {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kE = 2.718281828459045;

// Every sum starts from -0.0, so an empty sum is -0.0 and a sum of zeros is +0.0.
constexpr double kEmptySum = -0.0;

double sum_of_squares(std::span<const double> x) {
  double sum = kEmptySum;
  for (const double xi : x) sum += xi * xi;
  return sum;
}

// x_1^2 + ... + x_{n-1}^2 (the tail of bent_cigar and discus).
double tail_sum_of_squares(std::span<const double> x) {
  double sum = kEmptySum;
  for (std::size_t i = 1; i < x.size(); ++i) sum += x[i] * x[i];
  return sum;
}

double square(double v) { return v * v; }

constexpr std::array<BenchmarkInfo, 12> kBenchmarks{{
    {"sphere", 5.12, 0.0, &sphere},
    {"rastrigin", 5.12, 0.0, &rastrigin},
    {"rosenbrock", 2.048, 0.0, &rosenbrock},
    {"ackley", 32.768, 0.0, &ackley},
    {"griewank", 600.0, 0.0, &griewank},
    {"schwefel", 500.0, 0.0, &schwefel},
    {"bent_cigar", 100.0, 0.0, &bent_cigar},
    {"discus", 100.0, 0.0, &discus},
    {"elliptic", 100.0, 0.0, &elliptic},
    {"zakharov", 10.0, 0.0, &zakharov},
    {"levy", 10.0, 0.0, &levy},
    {"expanded_schaffer", 100.0, 0.0, &expanded_schaffer},
}};

constexpr std::array<GreyBenchmarkInfo, 1> kGreyBenchmarks{{
    {"grey_sphere", 5.12, 5.12, 0.0, &grey_sphere},
}};

}  // namespace

std::span<const BenchmarkInfo> benchmark_table() { return kBenchmarks; }

const BenchmarkInfo* find_benchmark(std::string_view name) {
  for (const BenchmarkInfo& info : kBenchmarks) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

std::string benchmark_names() {
  std::string names;
  for (const BenchmarkInfo& info : kBenchmarks) {
    if (!names.empty()) names += ", ";
    names += info.name;
  }
  return names;
}

std::span<const GreyBenchmarkInfo> grey_benchmark_table() { return kGreyBenchmarks; }

const GreyBenchmarkInfo* find_grey_benchmark(std::string_view name) {
  for (const GreyBenchmarkInfo& info : kGreyBenchmarks) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

double sphere(std::span<const double> x) { return sum_of_squares(x); }

double rastrigin(std::span<const double> x) {
  double sum = kEmptySum;
  for (const double xi : x) sum += xi * xi - std::cos(kTwoPi * xi) * 10.0;
  return static_cast<double>(x.size()) * 10.0 + sum;
}

double rosenbrock(std::span<const double> x) {
  double sum = kEmptySum;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    sum += square(x[i + 1] - x[i] * x[i]) * 100.0 + square(1.0 - x[i]);
  }
  return sum;
}

double ackley(std::span<const double> x) {
  double squares = kEmptySum;
  double cosines = kEmptySum;
  for (const double xi : x) {
    squares += xi * xi;
    cosines += std::cos(kTwoPi * xi);
  }
  const double n = static_cast<double>(x.size());  // 0 makes both quotients NaN
  return (((-20.0) * std::exp(-0.2 * std::sqrt(squares / n))) - std::exp(cosines / n)) + 20.0 + kE;
}

double griewank(std::span<const double> x) {
  if (x.empty()) return 0.0;
  double squares = kEmptySum;
  double product = 1.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    squares += x[i] * x[i];
    product *= std::cos(x[i] / std::sqrt(static_cast<double>(i + 1)));
  }
  return squares / 4000.0 + 1.0 - product;
}

double schwefel(std::span<const double> x) {
  double sum = kEmptySum;
  for (const double xi : x) sum += std::sin(std::sqrt(std::fabs(xi))) * xi;
  return 418.9828872724338 * static_cast<double>(x.size()) - sum;
}

double bent_cigar(std::span<const double> x) {
  if (x.empty()) return 0.0;
  return x[0] * x[0] + 1000000.0 * tail_sum_of_squares(x);
}

double discus(std::span<const double> x) {
  if (x.empty()) return 0.0;
  return (1000000.0 * x[0]) * x[0] + tail_sum_of_squares(x);
}

double elliptic(std::span<const double> x) {
  const std::size_t n = x.size();
  if (n == 0) return 0.0;
  if (n == 1) return x[0] * x[0];
  const double last = static_cast<double>(n - 1);
  double sum = kEmptySum;
  for (std::size_t i = 0; i < n; ++i) {
    sum += std::pow(1000000.0, static_cast<double>(i) / last) * x[i] * x[i];
  }
  return sum;
}

double zakharov(std::span<const double> x) {
  double squares = kEmptySum;
  double weighted = kEmptySum;
  for (std::size_t i = 0; i < x.size(); ++i) {
    squares += x[i] * x[i];
    weighted += (static_cast<double>(i + 1) * 0.5) * x[i];
  }
  const double t = weighted * weighted;
  return t * t + (squares + t);
}

double levy(std::span<const double> x) {
  const std::size_t n = x.size();
  if (n == 0) return 0.0;
  std::vector<double> w(n);
  for (std::size_t i = 0; i < n; ++i) w[i] = (x[i] - 1.0) * 0.25 + 1.0;
  double middle = kEmptySum;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    middle += square(w[i] - 1.0) * (square(std::sin(kPi * w[i] + 1.0)) * 10.0 + 1.0);
  }
  const double last = w[n - 1];
  return (square(std::sin(kPi * w[0])) + middle) +
         square(last - 1.0) * (square(std::sin(kTwoPi * last)) + 1.0);
}

namespace {

double schaffer_term(double t) {
  const double denominator = 0.001 * t + 1.0;
  return (square(std::sin(std::sqrt(t))) - 0.5) / (denominator * denominator) + 0.5;
}

}  // namespace

double expanded_schaffer(std::span<const double> x) {
  const std::size_t n = x.size();
  if (n == 0) return 0.0;
  if (n == 1) return schaffer_term(x[0] * x[0] * 2.0);
  // The first pair starts the sum; the pair (x_{n-1}, x_0) closes it.
  double sum = schaffer_term(x[1] * x[1] + x[0] * x[0]);
  for (std::size_t i = 1; i < n; ++i) {
    const double a = x[i];
    const double b = x[(i + 1) % n];
    sum += schaffer_term(b * b + a * a);
  }
  return sum;
}

double grey_sphere(std::span<const GreyNumber> x) {
  double sum = kEmptySum;
  for (const GreyNumber& g : x) sum += g.center * g.center + g.spread;
  return sum;
}

}  // namespace corvalinth
