// The native benchmark functions and their metadata tables: twelve classic test functions for
// single-objective minimisation and one grey test function. They run entirely in native code; each
// is a pure function of its input, accumulates its sums one term at a time in ascending index
// order starting from -0.0, and allocates nothing (except "levy", which keeps one temporary).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/spaces/grey.hpp"

namespace corvalinth {

using BenchmarkFunction = double (*)(std::span<const double>);

struct BenchmarkInfo {
  std::string_view name;
  double bound;    // recommended symmetric bound: search each dimension in [-bound, bound]
  double optimum;  // the value at the optimum
  BenchmarkFunction function;
};

// The twelve benchmarks in their fixed order: sphere, rastrigin, rosenbrock, ackley, griewank,
// schwefel, bent_cigar, discus, elliptic, zakharov, levy, expanded_schaffer.
std::span<const BenchmarkInfo> benchmark_table();
// Exact, case-sensitive lookup; nullptr when no benchmark has that name.
const BenchmarkInfo* find_benchmark(std::string_view name);
// The names in table order, joined by ", ".
std::string benchmark_names();

using GreyBenchmarkFunction = double (*)(std::span<const GreyNumber>);

struct GreyBenchmarkInfo {
  std::string_view name;
  double center_bound;  // search each center in [-center_bound, center_bound]
  double max_spread;    // recommended cap on each spread
  double optimum;
  GreyBenchmarkFunction function;
};

std::span<const GreyBenchmarkInfo> grey_benchmark_table();
const GreyBenchmarkInfo* find_grey_benchmark(std::string_view name);

// The benchmark functions themselves.
double sphere(std::span<const double> x);
double rastrigin(std::span<const double> x);
double rosenbrock(std::span<const double> x);
double ackley(std::span<const double> x);
double griewank(std::span<const double> x);
double schwefel(std::span<const double> x);
double bent_cigar(std::span<const double> x);
double discus(std::span<const double> x);
double elliptic(std::span<const double> x);
double zakharov(std::span<const double> x);
double levy(std::span<const double> x);
double expanded_schaffer(std::span<const double> x);
double grey_sphere(std::span<const GreyNumber> x);

// Per-particle objectives that run a native benchmark on a decoded point.

// Continuous and mixed spaces: the decoded doubles go straight in.
struct NativeObjective {
  BenchmarkFunction function;
  double evaluate(std::span<const double> x) const { return function(x); }
};

// Integer and binary spaces: the decoded integers are converted to doubles in a buffer that is
// reused from call to call.
struct NativeIntegerObjective {
  BenchmarkFunction function;
  std::vector<double> buffer{};

  double evaluate(std::span<const std::int64_t> x) {
    buffer.resize(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) buffer[i] = static_cast<double>(x[i]);
    return function(buffer);
  }
};

// Grey spaces: the benchmark sees the (center, spread) pairs.
struct NativeGreyObjective {
  GreyBenchmarkFunction function;
  double evaluate(std::span<const GreyNumber> x) const { return function(x); }
};

}  // namespace corvalinth
