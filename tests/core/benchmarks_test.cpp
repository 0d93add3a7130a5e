#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/benchmarks.hpp"

namespace corvalinth {
namespace {

struct KnownValue {
  const char* name;
  std::vector<double> x;
  double expected;
};

std::ostream& operator<<(std::ostream& out, const KnownValue& value) {
  out << value.name << "(";
  for (std::size_t i = 0; i < value.x.size(); ++i) out << (i ? ", " : "") << value.x[i];
  return out << ")";
}

double evaluate(const char* name, const std::vector<double>& x) {
  const BenchmarkInfo* info = find_benchmark(name);
  EXPECT_NE(info, nullptr) << name;
  return info == nullptr ? std::nan("") : info->function(x);
}

class KnownValues : public testing::TestWithParam<KnownValue> {};

// Values are compared bit for bit: the functions fix the order and grouping of every operation.
TEST_P(KnownValues, MatchBitForBit) {
  const KnownValue& value = GetParam();
  const double actual = evaluate(value.name, value.x);
  EXPECT_EQ(actual, value.expected);
  EXPECT_EQ(std::signbit(actual), std::signbit(value.expected));
}

const std::vector<double> kPoint{1.5, -2.25, 0.75};

INSTANTIATE_TEST_SUITE_P(
    Benchmarks, KnownValues,
    testing::Values(
        KnownValue{"zakharov", {1.0, 2.0}, 50.3125},
        KnownValue{"rastrigin", {1.0}, 1.0},
        KnownValue{"rastrigin", {0.5}, 20.25},
        KnownValue{"sphere", {1.0, 2.0, 3.0}, 14.0},
        KnownValue{"rosenbrock", {1.0, 1.0, 1.0, 1.0}, 0.0},
        KnownValue{"rosenbrock", {0.0, 0.0}, 1.0},
        KnownValue{"levy", {1.0}, 1.4997597826618576e-32},
        KnownValue{"levy", {1.0, 1.0, 1.0}, 1.4997597826618576e-32},
        KnownValue{"ackley", {0.0}, 4.440892098500626e-16},
        KnownValue{"ackley", {0.0, 0.0, 0.0, 0.0}, 4.440892098500626e-16},
        KnownValue{"bent_cigar", {1.0, 2.0}, 4000001.0},
        KnownValue{"discus", {1.0, 2.0}, 1000004.0},
        KnownValue{"elliptic", {1.0, 1.0}, 1000001.0},
        KnownValue{"elliptic", {3.0}, 9.0},
        KnownValue{"schwefel", {0.0, 0.0}, 418.9828872724338 * 2.0},
        // A point off every optimum, against an independent evaluation of the same formulas.
        KnownValue{"ackley", kPoint, 7.5372813706715505},
        KnownValue{"griewank", kPoint, 1.0032652851485386},
        KnownValue{"griewank", {3.0, 4.0}, 0.0644076416130831},
        KnownValue{"schwefel", kPoint, 1257.210626550486},
        KnownValue{"elliptic", kPoint, 567564.75},
        KnownValue{"levy", kPoint, 7.577415767281228},
        KnownValue{"expanded_schaffer", kPoint, 1.6547608583131144},
        KnownValue{"rastrigin", kPoint, 47.875},
        KnownValue{"rosenbrock", kPoint, 3895.578125},
        // Empty input: sums with no terms are -0.0.
        KnownValue{"sphere", {}, -0.0},
        KnownValue{"rosenbrock", {}, -0.0},
        KnownValue{"rosenbrock", {7.0}, -0.0},
        KnownValue{"rastrigin", {}, 0.0},
        KnownValue{"griewank", {}, 0.0},
        KnownValue{"schwefel", {}, 0.0},
        KnownValue{"bent_cigar", {}, 0.0},
        KnownValue{"discus", {}, 0.0},
        KnownValue{"elliptic", {}, 0.0},
        KnownValue{"zakharov", {}, 0.0},
        KnownValue{"levy", {}, 0.0},
        KnownValue{"expanded_schaffer", {}, 0.0}));

TEST(Benchmarks, AckleyOfNothingIsNaN) { EXPECT_TRUE(std::isnan(evaluate("ackley", {}))); }

TEST(Benchmarks, ZeroVectorIsExactlyZeroWhereTheOptimumIsThere) {
  for (const char* name : {"sphere", "rastrigin", "griewank", "bent_cigar", "discus", "elliptic",
                           "zakharov", "expanded_schaffer"}) {
    for (std::size_t n = 1; n <= 5; ++n) {
      const double value = evaluate(name, std::vector<double>(n, 0.0));
      EXPECT_EQ(value, 0.0) << name << " n=" << n;
      EXPECT_FALSE(std::signbit(value)) << name << " n=" << n;
    }
  }
}

TEST(BenchmarkTable, OrderNamesAndMetadata) {
  EXPECT_EQ(benchmark_names(),
            "sphere, rastrigin, rosenbrock, ackley, griewank, schwefel, bent_cigar, discus, "
            "elliptic, zakharov, levy, expanded_schaffer");
  const auto table = benchmark_table();
  ASSERT_EQ(table.size(), 12u);
  const double bounds[] = {5.12, 5.12, 2.048, 32.768, 600.0, 500.0,
                           100.0, 100.0, 100.0, 10.0, 10.0, 100.0};
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].bound, bounds[i]) << table[i].name;
    EXPECT_EQ(table[i].optimum, 0.0) << table[i].name;
    EXPECT_EQ(find_benchmark(table[i].name), &table[i]);
  }
  EXPECT_EQ(find_benchmark("ackley")->bound, 32.768);
}

TEST(BenchmarkTable, LookupIsExactAndCaseSensitive) {
  for (const char* name : {"Sphere", "sphere ", "", "grey_sphere", "expanded"}) {
    EXPECT_EQ(find_benchmark(name), nullptr) << name;
  }
  for (const char* name : {"Grey_sphere", "sphere", ""}) {
    EXPECT_EQ(find_grey_benchmark(name), nullptr) << name;
  }
}

TEST(GreyBenchmarks, GreySphere) {
  const GreyBenchmarkInfo* info = find_grey_benchmark("grey_sphere");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(grey_benchmark_table().size(), 1u);
  EXPECT_EQ(info->center_bound, 5.12);
  EXPECT_EQ(info->max_spread, 5.12);
  EXPECT_EQ(info->optimum, 0.0);
  // The spread enters linearly: crisp numbers at zero reach the optimum.
  const std::vector<GreyNumber> point{{1.0, 0.5}, {-2.0, 0.0}};
  EXPECT_EQ(info->function(point), 5.5);
  const std::vector<GreyNumber> crisp_zero(3, GreyNumber{0.0, 0.0});
  EXPECT_EQ(info->function(crisp_zero), 0.0);
  const double empty = info->function({});
  EXPECT_EQ(empty, 0.0);
  EXPECT_TRUE(std::signbit(empty));
}

TEST(NativeObjectives, IntegerPointsAreConvertedIntoAReusedBuffer) {
  NativeIntegerObjective objective{&zakharov};
  const std::vector<std::int64_t> point{1, 2};
  EXPECT_EQ(objective.evaluate(point), 50.3125);
  const double* storage = objective.buffer.data();
  const std::vector<std::int64_t> other{2, 1};
  EXPECT_EQ(objective.evaluate(other), zakharov(std::vector<double>{2.0, 1.0}));
  EXPECT_EQ(objective.buffer.data(), storage);  // same size: no reallocation
  const std::vector<std::int64_t> empty;
  EXPECT_EQ(objective.evaluate(empty), zakharov({}));

  const NativeObjective plain{&rastrigin};
  EXPECT_EQ(plain.evaluate(std::vector<double>{1.0}), 1.0);
  const NativeGreyObjective grey{&grey_sphere};
  EXPECT_EQ(grey.evaluate(std::vector<GreyNumber>{{2.0, 1.0}}), 5.0);
}

}  // namespace
}  // namespace corvalinth
