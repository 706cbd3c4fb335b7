// SPDX-License-Identifier: MIT
#include "remote.h"

#include <cstdlib>
#include <mutex>

#include "reporter.h"

namespace kivsim {
namespace strip {
namespace detail {
namespace {

// At exit, the backlog may take this long to reach the launcher.
constexpr int kFinalFlushMs = 2000;
// The catch-up: the driver's last init (or fini), then its last render.
constexpr int kLifeLine = 0;
constexpr int kRenderLine = 1;

link::Reporter& reporter() {
  static link::Reporter* r = new link::Reporter(
      {"KIV_SIM_STRIP_SOCKET", "[ws2811 stand-in]", link::kStripMaxLine, 2, nullptr, nullptr});
  return *r;
}

}  // namespace

void remote_connect() {
  static std::once_flag once;
  if (reporter().connect())
    std::call_once(once, [] { std::atexit(remote_stop); });
}

void remote_stop() {
  reporter().stop(kFinalFlushMs);
}

void report_init(const link::StripInit& init) {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  char line[128];
  const std::string_view text(line, link::encode_init(init, line, sizeof line));
  r.report(text, {kLifeLine, text, kRenderLine});
}

void report_render(const uint32_t* leds, int count) {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  char line[link::kStripMaxLine];
  const std::string_view text(line, link::encode_render(leds, count, line, sizeof line));
  r.report(text, {kRenderLine, text});
}

void report_fini() {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  const std::string_view text("fini\n");
  r.report(text, {kLifeLine, text, kRenderLine});
}

void report_fault(std::string_view fault) {
  link::Reporter& r = reporter();
  if (!r.reporting())
    return;
  char line[1024];
  r.report(std::string_view(line, link::encode_fault(fault, line, sizeof line)));
}

}  // namespace detail
}  // namespace strip
}  // namespace kivsim
