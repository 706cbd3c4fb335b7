// SPDX-License-Identifier: MIT
// Figures of a benchmark: the library's path beside a reference that does the
// same work without the library, measured in turns in the same run so that
// both meet the same machine load, with their medians, spread and ratio.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

// One sample: runs the path (`ops` operations) and returns nanoseconds per
// operation, or a negative number when the path failed.
using Sample = std::function<double()>;

struct Pair {
  std::string name;       // what the library does
  std::string reference;  // what the reference does
  Sample library;
  Sample reference_sample;
  int ops = 1;  // operations per sample, for the allocation count
};

struct Figures {
  std::vector<double> library_ns;
  std::vector<double> reference_ns;
  double library_allocs = 0;  // heap allocations per operation
  double reference_allocs = 0;
  bool failed = false;
  // With measure_rounds: the median of the ratios of the samples taken side
  // by side (library over reference), over the run and per round. Pairs
  // taken together meet the same state of the machine, so its drift in the
  // run (a wake-up that takes 30 us for a while, then 50 us) leaves the ratio
  // alone, where it would move a ratio of medians.
  double paired_ratio = 0;
  std::vector<double> round_ratios;
};

// Takes `rounds` samples of each side, alternating which goes first.
Figures measure(const Pair& pair, int rounds);
// Takes `rounds` rounds of `samples` samples each (as measure does), with
// the paired ratio of the run and of each round; the medians and spread are
// over all samples.
Figures measure_rounds(const Pair& pair, int rounds, int samples);

// Times `ops` calls of `op` and returns nanoseconds per call.
double per_op_ns(int ops, const std::function<void()>& op);

// Prints the table's head, and one row (and its spread) per pair.
void print_head(const char* title, int rounds);
// The head for figures of measure_rounds, whose rows differ in their counts.
void print_rounds_head(const char* title);
// A row; the ratio is the paired one where there is one, else the ratio of
// the medians. With round ratios, a line with their least and greatest and
// the number of rounds and samples follows its spread.
void print_row(const Pair& pair, const Figures& figures);
// A figure with no reference (a count or a rate), and a note under the table.
void print_value(const std::string& name, double value, const char* unit, const std::string& note);

double median(std::vector<double> values);
// The value below which `q` of the values lie (0 <= q <= 1).
double quantile(std::vector<double> values, double q);

}  // namespace bench
