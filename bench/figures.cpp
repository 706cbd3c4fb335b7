// SPDX-License-Identifier: MIT
#include "figures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "alloc_counter.h"

namespace bench {
namespace {

// One sample of `sample`, with the allocations it made added to `allocs`.
double take(const Sample& sample, uint64_t& allocs) {
  const uint64_t before = allocations();
  const double ns = sample();
  allocs += allocations() - before;
  return ns;
}

std::string time_text(double ns) {
  char text[32];
  if (ns >= 1e6)
    std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
  else
    std::snprintf(text, sizeof text, "%.2f us", ns / 1e3);
  return text;
}

std::string spread_text(const std::vector<double>& ns) {
  return time_text(quantile(ns, 0.1)) + " .. " + time_text(quantile(ns, 0.9));
}

}  // namespace

double quantile(std::vector<double> values, double q) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

double median(std::vector<double> values) {
  return quantile(std::move(values), 0.5);
}

double per_op_ns(int ops, const std::function<void()>& op) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < ops; ++i)
    op();
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  return took.count() / ops;
}

Figures measure(const Pair& pair, int rounds) {
  Figures f;
  uint64_t library_allocs = 0, reference_allocs = 0;
  for (int round = 0; round < rounds && !f.failed; ++round) {
    double library = 0, reference = 0;
    if (round % 2 == 0) {
      library = take(pair.library, library_allocs);
      reference = take(pair.reference_sample, reference_allocs);
    } else {
      reference = take(pair.reference_sample, reference_allocs);
      library = take(pair.library, library_allocs);
    }
    f.failed = library < 0 || reference < 0;
    f.library_ns.push_back(library);
    f.reference_ns.push_back(reference);
  }
  const double ops = static_cast<double>(rounds) * pair.ops;
  f.library_allocs = static_cast<double>(library_allocs) / ops;
  f.reference_allocs = static_cast<double>(reference_allocs) / ops;
  return f;
}

void print_head(const char* title, int rounds) {
  std::printf("%s (medians of %d samples each, taken in turns; spread p10 .. p90)\n", title,
              rounds);
  std::printf("%-34s %12s %12s %7s  %s\n", "path", "library", "reference", "ratio",
              "allocations/op (library, reference)");
}

void print_row(const Pair& pair, const Figures& f) {
  if (f.failed) {
    std::printf("%-34s FAILED\n", pair.name.c_str());
    return;
  }
  const double library = median(f.library_ns);
  const double reference = median(f.reference_ns);
  std::string allocs = "n/a (sanitised build)";
  if (allocations_counted()) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f, %.2f", f.library_allocs, f.reference_allocs);
    allocs = text;
  }
  std::printf("%-34s %12s %12s %7.2f  %s\n", pair.name.c_str(), time_text(library).c_str(),
              time_text(reference).c_str(), reference > 0 ? library / reference : 0.0,
              allocs.c_str());
  std::printf("    library:   %s; spread %s\n", pair.name.c_str(),
              spread_text(f.library_ns).c_str());
  std::printf("    reference: %s; spread %s\n", pair.reference.c_str(),
              spread_text(f.reference_ns).c_str());
}

void print_value(const std::string& name, double value, const char* unit, const std::string& note) {
  std::printf("%-34s %12.2f %s  (%s)\n", name.c_str(), value, unit, note.c_str());
}

}  // namespace bench
