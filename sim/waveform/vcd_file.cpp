// SPDX-License-Identifier: MIT
#include "vcd_file.h"

#include <algorithm>

namespace kivsim {
namespace {

// Identifiers are short words of the printable characters '!' to '~' but
// '$', which readers may take for a keyword's start.
std::string identifier(size_t index) {
  static const std::string kDigits = [] {
    std::string digits;
    for (char c = '!'; c <= '~'; ++c)
      if (c != '$')
        digits += c;
    return digits;
  }();
  std::string id;
  do {
    id += kDigits[index % kDigits.size()];
    index /= kDigits.size();
  } while (index > 0);
  return id;
}

int64_t unit_of(int64_t time_ns) {
  return std::max<int64_t>(0, (time_ns + VcdFile::kUnitNs / 2) / VcdFile::kUnitNs);
}

}  // namespace

int VcdFile::add_var(const std::string& scope, const std::string& name, int width,
                     uint32_t initial) {
  vars_.push_back({scope, name, identifier(vars_.size()), width, initial});
  return static_cast<int>(vars_.size() - 1);
}

void VcdFile::change(int64_t time_ns, int var, uint32_t value) {
  changes_.push_back({time_ns, var, value});
  extend_to(time_ns);
}

void VcdFile::note(int64_t time_ns, const std::string& text) {
  notes_.push_back({time_ns, text});
}

void VcdFile::extend_to(int64_t time_ns) {
  end_ns_ = std::max(end_ns_, time_ns);
}

std::string VcdFile::value_text(const Var& var, uint32_t value) const {
  if (var.width == 1)
    return (value == kUnknown ? "x" : value ? "1" : "0") + var.id;
  if (value == kUnknown)
    return "bx " + var.id;
  std::string bits;
  for (int bit = var.width - 1; bit >= 0; --bit)
    if (!bits.empty() || (value >> bit & 1) || bit == 0)
      bits += (value >> bit & 1) ? '1' : '0';
  return "b" + bits + " " + var.id;
}

bool VcdFile::write(std::FILE* out, bool wires_only) const {
  // Each variable's changes in strictly rising units, then all in unit order.
  struct Placed {
    int64_t unit;
    const Change* change;
  };
  std::vector<const Change*> by_time;
  by_time.reserve(changes_.size());
  for (const Change& c : changes_)
    by_time.push_back(&c);
  std::stable_sort(by_time.begin(), by_time.end(),
                   [](const Change* a, const Change* b) { return a->time_ns < b->time_ns; });
  std::vector<int64_t> last_unit(vars_.size(), 0);
  std::vector<Placed> placed;
  placed.reserve(by_time.size());
  for (const Change* c : by_time) {
    const size_t var = static_cast<size_t>(c->var);
    last_unit[var] = std::max(unit_of(c->time_ns), last_unit[var] + 1);
    placed.push_back({last_unit[var], c});
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return a.unit < b.unit; });

  std::fprintf(out, "$date\n  (a run on the simulated board)\n$end\n");
  std::fprintf(out, "$version\n  kiv-sim-run\n$end\n");
  for (const std::string& text : header_comments_)
    std::fprintf(out, "$comment\n  %s\n$end\n", text.c_str());
  if (!notes_.empty()) {
    std::vector<const Note*> notes;
    for (const Note& n : notes_)
      notes.push_back(&n);
    std::stable_sort(notes.begin(), notes.end(),
                     [](const Note* a, const Note* b) { return a->time_ns < b->time_ns; });
    std::fprintf(out, "$comment\n");
    for (const Note* n : notes)
      std::fprintf(out, "  %s\n", n->text.c_str());
    std::fprintf(out, "$end\n");
  }
  std::fprintf(out, "$timescale %lld ns $end\n", static_cast<long long>(kUnitNs));
  std::string scope;
  for (const Var& v : vars_) {
    if (wires_only && v.width > 1)
      continue;
    if (v.scope != scope) {
      if (!scope.empty())
        std::fprintf(out, "$upscope $end\n");
      scope = v.scope;
      std::fprintf(out, "$scope module %s $end\n", scope.c_str());
    }
    std::fprintf(out, "$var wire %d %s %s $end\n", v.width, v.id.c_str(), v.name.c_str());
  }
  if (!scope.empty())
    std::fprintf(out, "$upscope $end\n");
  std::fprintf(out, "$enddefinitions $end\n#0\n");
  std::vector<uint32_t> now(vars_.size());
  for (size_t i = 0; i < vars_.size(); ++i) {
    now[i] = vars_[i].initial;
    if (!wires_only || vars_[i].width == 1)
      std::fprintf(out, "%s\n", value_text(vars_[i], now[i]).c_str());
  }
  int64_t written_unit = 0;
  for (const Placed& p : placed) {
    const Change& c = *p.change;
    const size_t var = static_cast<size_t>(c.var);
    if ((wires_only && vars_[var].width > 1) || now[var] == c.value)
      continue;
    now[var] = c.value;
    if (p.unit != written_unit)
      std::fprintf(out, "#%lld\n", static_cast<long long>(p.unit));
    written_unit = p.unit;
    std::fprintf(out, "%s\n", value_text(vars_[var], c.value).c_str());
  }
  const int64_t end = std::max(unit_of(end_ns_), written_unit + 1);
  std::fprintf(out, "#%lld\n", static_cast<long long>(end));
  return !std::ferror(out);
}

}  // namespace kivsim
