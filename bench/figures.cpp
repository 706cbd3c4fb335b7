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

// The median of library over reference of the samples taken side by side.
double paired_ratio(const std::vector<double>& library, const std::vector<double>& reference) {
  std::vector<double> ratios;
  for (size_t i = 0; i < library.size() && i < reference.size(); ++i)
    if (reference[i] > 0)
      ratios.push_back(library[i] / reference[i]);
  return median(std::move(ratios));
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

Figures measure_rounds(const Pair& pair, int rounds, int samples) {
  Figures all;
  for (int round = 0; round < rounds && !all.failed; ++round) {
    const Figures f = measure(pair, samples);
    all.failed = f.failed;
    all.library_ns.insert(all.library_ns.end(), f.library_ns.begin(), f.library_ns.end());
    all.reference_ns.insert(all.reference_ns.end(), f.reference_ns.begin(), f.reference_ns.end());
    all.library_allocs += f.library_allocs / rounds;
    all.reference_allocs += f.reference_allocs / rounds;
    all.round_ratios.push_back(paired_ratio(f.library_ns, f.reference_ns));
  }
  all.paired_ratio = paired_ratio(all.library_ns, all.reference_ns);
  return all;
}

void print_head(const char* title, int rounds) {
  std::printf("%s (medians of %d samples each, taken in turns; spread p10 .. p90)\n", title,
              rounds);
  std::printf("%-34s %12s %12s %7s  %s\n", "path", "library", "reference", "ratio",
              "allocations/op (library, reference)");
}

void print_rounds_head(const char* title) {
  std::printf(
      "%s (medians of all samples, taken in turns; spread p10 .. p90; ratio: the median\n"
      "of library over reference of the samples taken side by side, over the run and,\n"
      "below, the least and greatest of the rounds' own)\n",
      title);
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
  double ratio = f.paired_ratio;
  if (ratio <= 0)
    ratio = reference > 0 ? library / reference : 0.0;
  std::printf("%-34s %12s %12s %7.2f  %s\n", pair.name.c_str(), time_text(library).c_str(),
              time_text(reference).c_str(), ratio, allocs.c_str());
  std::printf("    library:   %s; spread %s\n", pair.name.c_str(),
              spread_text(f.library_ns).c_str());
  std::printf("    reference: %s; spread %s\n", pair.reference.c_str(),
              spread_text(f.reference_ns).c_str());
  if (f.round_ratios.size() > 1) {
    const auto [least, greatest] =
        std::minmax_element(f.round_ratios.begin(), f.round_ratios.end());
    std::printf("    ratio by round: %.2f .. %.2f (%zu rounds of %zu samples)\n", *least, *greatest,
                f.round_ratios.size(), f.library_ns.size() / f.round_ratios.size());
  }
}

void print_value(const std::string& name, double value, const char* unit, const std::string& note) {
  std::printf("%-34s %12.2f %s  (%s)\n", name.c_str(), value, unit, note.c_str());
}

}  // namespace bench
