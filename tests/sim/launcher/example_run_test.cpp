// SPDX-License-Identifier: MIT
// The example program run through the launcher with its script: the whole
// chain of library, GPIO stand-in, serial ports and light controller peer,
// read from the run's trace.
#include <gtest/gtest.h>

#include "run_launcher.h"

namespace kivtest {
namespace {

using kivsim::EventKind;
using kivsim::EventSource;

TEST(ExampleRun, WalksTheBoardAndSeesEveryScriptedEvent) {
  std::vector<std::string> args = {"--script", KIV_EXAMPLE_SCRIPT};
  for (const std::string& word : built_program(KIV_EXAMPLE_PATH))
    args.push_back(word);
  LauncherRun run = run_traced(args, "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const EventSource gpio = EventSource::kGpio, com2 = EventSource::kCom2,
                    out = EventSource::kProgram, sim = EventSource::kSim,
                    strip = EventSource::kStrip, i2c = EventSource::kI2c;
  const struct {
    EventSource source;
    EventKind kind;
    const char* text;
  } seen[] = {
      // start-up and the outputs, as the GPIO stand-in reports them
      {gpio, EventKind::kSetup, "setup ok"},
      {gpio, EventKind::kMode, "mode do1 (22) OUTPUT"},
      {gpio, EventKind::kIsr, "interrupt input (17) on both edges: ok"},
      {gpio, EventKind::kWrite, "laser (13) -> 1"},
      {gpio, EventKind::kWrite, "alarm (21) -> 1"},
      // the light controller's frames
      {com2, EventKind::kFrame, "<- 43 2D 00 18 0D 0A   brightness 24"},
      {com2, EventKind::kFrame, "<- 31 2D 31 0D 0A   channel 1 on"},
      {com2, EventKind::kFrame, "<- 34 2D 30 0D 0A   channel 4 off"},
      {com2, EventKind::kFrame, "<- 43 2D 00 64 0D 0A   brightness 100"},
      {out, EventKind::kOut, "[KIV-IO] Work mode(3): 0"},
      {com2, EventKind::kFrame, "<- 36 2D 31 0D 0A   flash"},
      {com2, EventKind::kFrame, "<- 39 2D 01 0D 0A   light on"},
      {EventSource::kLight, EventKind::kState, "light on -> off"},
      // the notification the controller sends reaches the hardware callback
      {com2, EventKind::kSent, "-> FF AA EE   hardware notification"},
      {out, EventKind::kOut, "[example] the light controller sent its hardware notification"},
      {out, EventKind::kOut, "[example] the automatic switch-off has ended; the light is off"},
      // both ways on com1
      {EventSource::kCom1, EventKind::kReceived,
       "<- \"hello from kiv_io_example\\r\\n\" (27 bytes)"},
      {out, EventKind::kOut, "[example] the com1 peer sent \"hello from the com1 peer\\r\\n\""},
      // the scripted edges reach the callbacks with their levels
      {out, EventKind::kOut, "[example] input line is now 1"},
      {out, EventKind::kOut, "[example] input line is now 0"},
      {out, EventKind::kOut, "[example] trigger line is now 1"},
      {out, EventKind::kOut, "[example] tune line is now 0"},
      {sim, EventKind::kNote, "program exited with status 0"},
      {sim, EventKind::kNote,
       "outputs: laser (13)=0, alarm (21)=0, scan-a (16)=0, scan-b (7)=1, do1 (22)=1, do2 (27)=1"},
      {sim, EventKind::kNote, "com2: 17 frames received (0 unknown); com1: 27 bytes received"},
      {sim, EventKind::kNote,
       "light controller: channels on: none; work mode 5; light off; flash count 3, time 20, 1 "
       "flash; brightness 100"},
      {sim, EventKind::kNote, "gpio: 6 edges raised, 6 handlers run"},
      // the status colours on the strip, as the strip stand-in received them
      {strip, EventKind::kInit, "started: 800000 Hz, DMA 10, GPIO 19, 9 LEDs, GBR, brightness 255"},
      {out, EventKind::kOut, "[KIV-IO] RGB: 1"},
      {strip, EventKind::kRender, "9 LEDs: 0000ff x9"},
      {strip, EventKind::kRender, "9 LEDs: 00ff00 x9"},
      {strip, EventKind::kRender, "9 LEDs: ff0000 x9"},
      {strip, EventKind::kRender, "9 LEDs: 200040 x9"},
      {strip, EventKind::kFini, "released"},
      {sim, EventKind::kNote, "strip: 5 renders, last 9 LEDs: 000000 x9"},
      // the lens set, read back and VTemp on
      {i2c, EventKind::kTransfer, "write 18 [00 00 E8 03 00 00] -> ok"},
      {i2c, EventKind::kTransfer, "write 18 [00 00], read 18 [E8 03 00 00] -> ok"},
      {out, EventKind::kOut, "[example] the lens reads back 1000"},
      {i2c, EventKind::kTransfer, "write 18 [00 28 01 00 00 00] -> ok"},
      {sim, EventKind::kNote,
       "i2c: 3 transfers (0 failed); lens 1000 (E8 03 00 00), VTemp 1 (01 00 00 00)"},
  };
  for (const auto& s : seen)
    EXPECT_TRUE(run.saw(s.source, s.kind, s.text)) << "missing: " << s.text << "\n"
                                                   << run.trace_text();
  // A callback runs 100 ms after its edge.
  EXPECT_GE(run.time_of("input line is now 1") - run.time_of("edge input (17) -> 1"), 0.09);
  // The light goes off by itself 2.9 s after it went on.
  EXPECT_GE(run.time_of("light on -> off") - run.time_of("light off -> on"), 2.8);

  // The record adds up to the device as the example left it.
  const kivsim::DeviceState state = run.end_state();
  EXPECT_EQ(kivsim::outputs_summary(state),
            "laser (13)=0, alarm (21)=0, scan-a (16)=0, scan-b (7)=1, do1 (22)=1, do2 (27)=1");
  EXPECT_EQ(state.light.work_mode, 5);
  EXPECT_EQ(state.light.frames, 17u);
  EXPECT_EQ(state.lens_value, 1000);
  EXPECT_EQ(state.vtemp, 1);
  EXPECT_EQ(state.leds, std::vector<uint32_t>(9, 0));
  EXPECT_EQ(state.edges_raised, 6);
  EXPECT_EQ(state.com1_bytes, 27);
  EXPECT_TRUE(state.ended);
  EXPECT_EQ(state.exit_status, 0);
}

TEST(ExampleRun, BoardIdentityAndConfigurationDecideTheChannels) {
  // The first serial number of the compiled-in list makes an updated device
  // (sections 1 and 3 exchanged); the file moves section 4 to channel 2.
  ScratchFile ini("ul.ini", "[LIGHT]\nsection_4 = 2\n");
  std::vector<std::string> args = {"--ini", ini.path(), "--cpu-serial", KIV_FIRST_UPDATED_CPU};
  for (const std::string& word : built_program(KIV_EXAMPLE_PATH))
    args.push_back(word);
  args.push_back("1");
  LauncherRun run = run_traced(args, "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  // Nothing raises the awaited edges here.
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  for (const char* line : {
           "[example]   light section 1 drives controller channel 3",
           "[example]   light section 3 drives controller channel 1",
           "[example]   light section 4 drives controller channel 2",
           "[example]   pause after each light controller write: 2 ms",
           "[example]   this board is an updated device",
       })
    EXPECT_TRUE(run.saw(EventSource::kProgram, EventKind::kOut, line))
        << "missing: " << line << "\n"
        << run.trace_text();
  EXPECT_LT(run.index_of("<- 33 2D 31 0D 0A   channel 3 on"),
            run.index_of("<- 32 2D 31 0D 0A   channel 2 on"));
  EXPECT_EQ(run.event_with("<- 34 2D"), nullptr) << "section 4 must not reach channel 4";
}

}  // namespace
}  // namespace kivtest
