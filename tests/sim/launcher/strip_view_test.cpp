// SPDX-License-Identifier: MIT
// The launcher's view of the strip: the stand-in's reports as events, and the
// demo program run on the simulated board.
#include <gtest/gtest.h>

#include "run_launcher.h"
#include "strip_events.h"
#include "terminal_log.h"

namespace kivtest {
namespace {

TEST(StripView, ReportsAreShownAsAPersonReadsThem) {
  struct Case {
    const char* report;
    bool colour;
    const char* shown;
  } cases[] = {
      {"init 0 800000 10 19 9 524304 255", false,
       "started: 800000 Hz, DMA 10, GPIO 19, 9 LEDs, GBR, brightness 255"},
      {"init -3 800000 10 19 9 1050624 255", false,
       "start failed (-3): 800000 Hz, DMA 10, GPIO 19, 9 LEDs, RGB, brightness 255"},
      {"init 0 800000 10 19 9 7 255", false,
       "started: 800000 Hz, DMA 10, GPIO 19, 9 LEDs, type 0x00000007, brightness 255"},
      {"render 3 ff0000 ff0000 ff0000", false, "3 LEDs: ff0000 x3"},
      {"render 1 ff8000", true, "\x1b[38;2;255;128;0m\u2588\u2588\x1b[0m  1 LED: ff8000"},
      {"render 3 ff0000 00ff00 000000", false, "3 LEDs: ff0000 00ff00 000000"},
      {"render 2 030201 000000", true,
       "\x1b[38;2;192;128;64m\u2588\u2588\x1b[0m \x1b[38;2;90;90;90m\u2591\u2591\x1b[0m  "
       "2 LEDs: 030201 000000"},
      {"fini", false, "released"},
      {"fault ws2811_fini with no driver state", false, "FAULT: ws2811_fini with no driver state"},
      {"render 2 ff0000", false, "unknown report \"render 2 ff0000\""},
      {"render 1 xyzxyz", false, "unknown report \"render 1 xyzxyz\""},
      {"fini now", false, "unknown report \"fini now\""},
      {"paint 1", false, "unknown report \"paint 1\""},
  };
  for (const Case& c : cases) {
    kivsim::Event e;
    e.source = kivsim::EventSource::kStrip;
    kivsim::read_strip_report(c.report, e);
    // In colour, the terminal puts the LEDs' blocks before the text.
    const std::string shown =
        c.colour ? kivsim::TerminalLog(stdout, true).format(e).substr(15) : e.text;
    EXPECT_EQ(shown, c.shown) << c.report;
    const bool known = std::string(c.shown).rfind("unknown", 0) != 0;
    EXPECT_EQ(e.kind == kivsim::EventKind::kUnknown, !known) << c.report;
  }
  kivsim::Event render;
  kivsim::read_strip_report("render 2 0000ff 0000ff", render);
  EXPECT_EQ(render.kind, kivsim::EventKind::kRender);
  EXPECT_EQ(render.leds, std::vector<uint32_t>(2, 0x0000FF));
  kivsim::Event init;
  kivsim::read_strip_report("init -3 800000 10 19 9 1050624 255", init);
  EXPECT_EQ(init.kind, kivsim::EventKind::kInit);
  EXPECT_EQ(init.result, -3);
}

TEST(StripView, TheDemoShowsItsColoursUntilQuit) {
  ScratchFile script("demo.script", "wait 2400\nquit\n");
  std::vector<std::string> args = {"--script", script.path()};
  for (const std::string& word : built_program(KIV_STRIP_DEMO_PATH))
    args.push_back(word);
  LauncherRun run = run_traced(args, "", 30);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 128 + 15) << run.out << run.err;
  using kivsim::EventKind;
  using kivsim::EventSource;
  const struct {
    EventSource source;
    EventKind kind;
    const char* text;
  } seen[] = {
      {EventSource::kProgram, EventKind::kOut, "init ws2811 ok"},
      {EventSource::kStrip, EventKind::kInit,
       "started: 800000 Hz, DMA 10, GPIO 19, 9 LEDs, GBR, brightness 255"},
      {EventSource::kProgram, EventKind::kOut, "Led color: 0"},
      {EventSource::kStrip, EventKind::kRender, "9 LEDs: ff0000 x9"},
      {EventSource::kProgram, EventKind::kOut, "Led color: 1"},
      {EventSource::kStrip, EventKind::kRender, "9 LEDs: 201000 x9"},
      {EventSource::kProgram, EventKind::kOut, "Led color: 2"},
      {EventSource::kStrip, EventKind::kRender, "9 LEDs: 202000 x9"},
      {EventSource::kSim, EventKind::kNote, "strip: 3 renders, last 9 LEDs: 202000 x9"},
  };
  for (const auto& s : seen)
    EXPECT_TRUE(run.saw(s.source, s.kind, s.text)) << "missing: " << s.text << "\n"
                                                   << run.trace_text();
  EXPECT_GE(run.time_of("Led color: 1") - run.time_of("Led color: 0"), 0.9);
  const kivsim::Event* init = run.event_with("started: 800000 Hz");
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init->result, 0);
  const kivsim::DeviceState state = run.end_state();
  EXPECT_EQ(state.renders, 3);
  EXPECT_EQ(state.leds, std::vector<uint32_t>(9, 0x202000));
}

}  // namespace
}  // namespace kivtest
