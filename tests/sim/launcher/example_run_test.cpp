// SPDX-License-Identifier: MIT
// The example program run through the launcher with its script: the whole
// chain of library, GPIO stand-in, serial ports and light controller peer.
#include <gtest/gtest.h>

#include "run_launcher.h"

namespace kivtest {
namespace {

TEST(ExampleRun, WalksTheBoardAndSeesEveryScriptedEvent) {
  std::vector<std::string> args = {"--script", KIV_EXAMPLE_SCRIPT};
  for (const std::string& word : built_program(KIV_EXAMPLE_PATH))
    args.push_back(word);
  LauncherRun run = run_launcher(args, "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* line : {
           // start-up and the outputs, as the GPIO stand-in reports them
           " gpio  setup ok\n",
           " gpio  mode DO1 (22) OUTPUT\n",
           " gpio  interrupt input (17) on both edges: ok\n",
           " gpio  laser (13) -> 1\n",
           " gpio  alarm (21) -> 1\n",
           // the light controller's frames
           " com2  <- 43 2D 00 18 0D 0A   brightness 24\n",
           " com2  <- 31 2D 31 0D 0A   channel 1 on\n",
           " com2  <- 34 2D 30 0D 0A   channel 4 off\n",
           " com2  <- 43 2D 00 64 0D 0A   brightness 100\n",
           " out   [KIV-IO] Work mode(3): 0\n",
           " com2  <- 36 2D 31 0D 0A   flash\n",
           " com2  <- 39 2D 01 0D 0A   light on\n",
           " state light on -> off\n",
           // the notification the controller sends reaches the hardware callback
           " com2  -> FF AA EE   hardware notification\n",
           " out   [example] the light controller sent its hardware notification\n",
           " out   [example] the automatic switch-off has ended; the light is off\n",
           // both ways on com1
           " com1  <- \"hello from kiv_io_example\\r\\n\" (27 bytes)\n",
           " out   [example] the com1 peer sent \"hello from the com1 peer\\r\\n\"\n",
           // the scripted edges reach the callbacks with their levels
           " out   [example] input line is now 1\n",
           " out   [example] input line is now 0\n",
           " out   [example] trigger line is now 1\n",
           " out   [example] tune line is now 0\n",
           " sim   program exited with status 0\n",
           " sim   outputs: DO1 (22)=1, DO2 (27)=1, laser (13)=0, scan A (16)=0, scan B (7)=1, "
           "alarm (21)=0\n",
           " sim   com2: 17 frames received (0 unknown)",
           " sim   light controller: channels on: none; work mode 5; light off; flash count 3, "
           "time 20, 1 flash; brightness 100\n",
           " sim   gpio: 6 edges raised, 6 handlers run\n",
           // the status colours on the strip, as the strip stand-in received them
           " strip started: 800000 Hz, DMA 10, GPIO 19, 9 LEDs, GBR, brightness 255\n",
           " out   [KIV-IO] RGB: 1\n",
           " strip 9 LEDs: 0000ff x9\n",
           " strip 9 LEDs: 00ff00 x9\n",
           " strip 9 LEDs: ff0000 x9\n",
           " strip 9 LEDs: 200040 x9\n",
           " strip released\n",
           " sim   strip: 5 renders, last 9 LEDs: 000000 x9\n",
           // the lens set, read back and VTemp on
           " i2c   write 18 [00 00 E8 03 00 00] -> ok\n",
           " i2c   write 18 [00 00], read 18 [E8 03 00 00] -> ok\n",
           " out   [example] the lens reads back 1000\n",
           " i2c   write 18 [00 28 01 00 00 00] -> ok\n",
           " sim   i2c: 3 transfers (0 failed); lens 1000 (E8 03 00 00), VTemp 1 (01 00 00 00)\n",
       })
    EXPECT_TRUE(run.has(line)) << "missing: " << line << run.out;
  // A callback runs 100 ms after its edge.
  EXPECT_GE(run.time_of("input line is now 1") - run.time_of("edge input (17) -> 1"), 0.09);
  // The light goes off by itself 2.9 s after it went on.
  EXPECT_GE(run.time_of("state light on -> off") - run.time_of("state light off -> on"), 2.8);
}

TEST(ExampleRun, BoardIdentityAndConfigurationDecideTheChannels) {
  // The first serial number of the compiled-in list makes an updated device
  // (sections 1 and 3 exchanged); the file moves section 4 to channel 2.
  ScratchFile ini("ul.ini", "[LIGHT]\nsection_4 = 2\n");
  std::vector<std::string> args = {"--ini", ini.path(), "--cpu-serial", KIV_FIRST_UPDATED_CPU};
  for (const std::string& word : built_program(KIV_EXAMPLE_PATH))
    args.push_back(word);
  args.push_back("1");
  LauncherRun run = run_launcher(args, "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  // Nothing raises the awaited edges here.
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  for (const char* line : {
           " out   [example]   light section 1 drives controller channel 3\n",
           " out   [example]   light section 3 drives controller channel 1\n",
           " out   [example]   light section 4 drives controller channel 2\n",
           " out   [example]   pause after each light controller write: 2 ms\n",
           " out   [example]   this board is an updated device\n",
       })
    EXPECT_TRUE(run.has(line)) << "missing: " << line << run.out;
  EXPECT_LT(run.pos("<- 33 2D 31 0D 0A   channel 3 on"),
            run.pos("<- 32 2D 31 0D 0A   channel 2 on"));
  EXPECT_FALSE(run.has("<- 34 2D")) << "section 4 must not reach channel 4";
}

}  // namespace
}  // namespace kivtest
