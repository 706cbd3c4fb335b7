// SPDX-License-Identifier: MIT
#include "remote.h"

#include "board.h"
#include "exit_stop.h"
#include "hand_over.h"
#include "reporter.h"
#include "wiringPi_sim.h"

namespace kivsim {
namespace gpio {
namespace detail {
namespace {

static_assert(kPinCount == link::kGpioPins, "the link numbers the board's lines");

// At exit, the backlog may take this long to reach the launcher.
constexpr int kFinalFlushMs = 2000;

void run_command(std::string_view line) {
  link::GpioCommand c;
  if (!link::decode(line, c))
    return;  // a launcher of another make: nothing to do
  switch (c.kind) {
    case link::GpioCommandKind::kEdge:
      inject_edge(c.pin, c.level);
      break;
    case link::GpioCommandKind::kLevel:
      set_level(c.pin, c.level);
      break;
    default:
      take_hand_over(c);
      break;
  }
}

// The catch-up after lost reports: "written <pin> <level>" for every line
// written, then "mode <pin> <mode>" for every line whose mode was set.
constexpr int kModeLines = kPinCount;  // the first mode line's slot

link::Reporter& reporter() {
  static link::Reporter* r =
      new link::Reporter({"KIV_SIM_GPIO_SOCKET", "[wiringPi stand-in]", link::kGpioMaxLine,
                          2 * kPinCount, run_command, hand_over_ended});
  return *r;
}

}  // namespace

bool remote_connect() {
  // A launcher that hung up at once (one with all its places taken) still
  // leaves the reporter's thread to join at exit.
  const bool connected = reporter().connect();
  if (connected)
    stop_at_exit();
  return connected;
}

void report(const link::GpioReport& report) {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  char line[link::kGpioMaxLine];
  r.report(std::string_view(line, link::encode(report, line, sizeof line)));
}

void report_write(int pin, int level) {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  char line[link::kGpioMaxLine];
  char state[link::kGpioMaxLine];
  const size_t n =
      link::encode(link::GpioReport{link::GpioReportKind::kWrite, pin, level}, line, sizeof line);
  const size_t m = link::encode(link::GpioReport{link::GpioReportKind::kWritten, pin, level}, state,
                                sizeof state);
  r.report(std::string_view(line, n), {pin, std::string_view(state, m)});
}

void report_mode(int pin, int mode) {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  char line[link::kGpioMaxLine];
  const size_t n =
      link::encode(link::GpioReport{link::GpioReportKind::kMode, pin, mode}, line, sizeof line);
  r.report(std::string_view(line, n), {kModeLines + pin, std::string_view(line, n)});
}

void remote_stop() {
  reporter().stop(kFinalFlushMs);
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
