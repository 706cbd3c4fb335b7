// SPDX-License-Identifier: MIT
// kiv_io_example: walks through what libkiv_io does (outputs, serial ports,
// light controller, liquid lens) and says what happened,
// in plain words. On the simulated board, run it through the launcher:
//   kiv-sim-run --script examples/example.script build/examples/kiv_io_example
//
// Usage: kiv_io_example [SECONDS]
// After the walk it waits up to SECONDS (default 8) for an edge on each of the
// input, trigger and tune lines, for text on com1 and for the light
// controller's hardware notification, and ends early once all have come. Exit
// status 0 when they all came, 1 otherwise.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kiv_config.h"
#include "kiv_io.h"
#include "kiv_serial.h"

namespace {

constexpr unsigned kStepPauseUs = 150 * 1000;

// Counted on the interrupt and reader threads, read on the main thread.
std::atomic<int> g_input_edges{0};
std::atomic<int> g_trigger_edges{0};
std::atomic<int> g_tune_edges{0};
std::atomic<int> g_com1_chunks{0};
std::atomic<int> g_notifications{0};

void say(const char* text) {
  std::printf("[example] %s\n", text);
  std::fflush(stdout);
}

void say_result(const char* what, int result) {
  std::printf("[example] %s: %s (%d)\n", what, result == 0 ? "sent" : "failed", result);
  std::fflush(stdout);
}

// Says what comes, does it, and leaves a short pause before the next step.
template <typename Action>
void step(const char* what, Action action) {
  say(what);
  action();
  usleep(kStepPauseUs);
}

// The chunk with line ends and other control bytes made visible.
std::string visible(const char* chunk) {
  std::string out;
  char buf[8];
  for (const char* p = chunk; *p; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Input callbacks run on the GPIO library's interrupt thread of their line.
void on_input(int level) {
  std::printf("[example] input line is now %d\n", level);
  std::fflush(stdout);
  g_input_edges.fetch_add(1);
}

void on_trigger(int level) {
  std::printf("[example] trigger line is now %d\n", level);
  std::fflush(stdout);
  g_trigger_edges.fetch_add(1);
}

void on_tune(int level) {
  std::printf("[example] tune line is now %d\n", level);
  std::fflush(stdout);
  g_tune_edges.fetch_add(1);
}

// Runs on the reader thread of serial port index 0 (com1).
void on_com1(char* chunk) {
  std::printf("[example] the com1 peer sent \"%s\"\n", visible(chunk).c_str());
  std::fflush(stdout);
  g_com1_chunks.fetch_add(1);
}

// Runs on the reader thread of serial port index 1 (com2).
void on_hardware() {
  say("the light controller sent its hardware notification");
  g_notifications.fetch_add(1);
}

void walk_outputs(kiv::KivIo* io) {
  step("laser on", [io] { io->openLaser(); });
  step("laser off", [io] { io->closeLaser(); });
  step("alarm on", [io] { io->openAlarm(); });
  step("alarm off", [io] { io->closeAlarm(); });
  step("scan status on (line A high, line B low)", [io] { io->setScanStat(true); });
  step("scan status off (line A low, line B high)", [io] { io->setScanStat(false); });
  step("DO1 low", [io] { io->setDo1High(false); });
  step("DO1 high again", [io] { io->setDo1High(true); });
  step("DO2 low", [io] { io->setDo2High(false); });
  step("DO2 high again", [io] { io->setDo2High(true); });
}

// The status colours on the LED strip; setRgbLight prints its own line too.
void walk_status_colours(kiv::KivIo* io) {
  step("status colour 1: blue", [io] { io->setRgbLight(1); });
  step("status colour 2: green", [io] { io->setRgbLight(2); });
  step("status colour 3: red", [io] { io->setRgbLight(3); });
  step("any colour: purple (blue 0x40, green 0x00, red 0x20)",
       [io] { io->setRgbLight_rgb(0x40, 0x00, 0x20); });
  step("status colour 0: off", [io] { io->setRgbLight(0); });
}

void show_mapping() {
  say("section mapping in force:");
  for (int section = 1; section <= 4; ++section)
    std::printf("[example]   light section %d drives controller channel %d\n", section,
                firmware_index_v2(section));
  std::printf("[example]   pause after each light controller write: %d ms\n", firmware_index_v2(5));
  std::printf("[example]   this board is %s\n",
              x_updated_device() ? "an updated device" : "not an updated device");
  std::fflush(stdout);
}

void walk_light_controller(kiv::KivIo* io) {
  char what[64];
  for (int section = 1; section <= 4; ++section) {
    std::snprintf(what, sizeof what, "light section %d on", section);
    say_result(what, io->enableLightSection(section));
    usleep(kStepPauseUs);
  }
  for (int section = 1; section <= 4; ++section) {
    std::snprintf(what, sizeof what, "light section %d off", section);
    say_result(what, io->disableLightSection(section));
  }
  say_result("brightness 100", svSetBrightnessValue(100));
  say_result("work mode 3", io->setWorkMode(3));
  step("flash count 3, flash time 20, flash", [io] {
    io->setLightFlashCount(3);
    io->setLightFlashTime(20);
    io->callLightFlash();
  });
}

// Switches the light on and lets the automatic switch-off end it, on a thread
// of its own whose handle stays in kiv::t_light_thread. Returns false when
// that thread could not be started (the light is then switched off here).
bool light_with_auto_off(kiv::KivIo* io) {
  say("light on (work mode 5 first), switched off by itself after 2.9 s");
  io->open_light();
  if (pthread_create(&kiv::t_light_thread, nullptr, kiv::custom_light_run, nullptr) != 0) {
    say("could not start the automatic switch-off; light off now");
    io->close_light();
    return false;
  }
  return true;
}

void end_light(bool auto_off_running) {
  if (!auto_off_running)
    return;
  pthread_join(kiv::t_light_thread, nullptr);
  std::printf("[example] the automatic switch-off has ended; the light is %s\n",
              __atomic_load_n(&kiv::t_light_on, __ATOMIC_RELAXED) ? "on" : "off");
  std::fflush(stdout);
}

void walk_lens(kiv::KivIo* io) {
  say_result("lens value 1000", io->setLiquid(1000));
  std::printf("[example] the lens reads back %d\n", io->getLiquid());
  std::fflush(stdout);
  say_result("VTemp on", io->openVTemp());
}

bool everything_came() {
  return g_input_edges.load() > 0 && g_trigger_edges.load() > 0 && g_tune_edges.load() > 0 &&
         g_com1_chunks.load() > 0 && g_notifications.load() > 0;
}

bool wait_for_events(int seconds) {
  std::printf(
      "[example] waiting up to %d s for edges on input, trigger and tune, for text on com1 and "
      "for the light controller's notification\n",
      seconds);
  std::fflush(stdout);
  for (int waited_ms = 0; waited_ms < seconds * 1000 && !everything_came(); waited_ms += 50)
    usleep(50 * 1000);
  // Let the callbacks of the last edges (100 ms after each) finish their lines.
  usleep(250 * 1000);
  std::printf(
      "[example] seen: input %d, trigger %d, tune %d callbacks; com1 %d chunk(s); %d "
      "notification(s)\n",
      g_input_edges.load(), g_trigger_edges.load(), g_tune_edges.load(), g_com1_chunks.load(),
      g_notifications.load());
  std::fflush(stdout);
  return everything_came();
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 8;
  if (seconds <= 0)
    seconds = 8;

  say("getting the device I/O facade");
  kiv::KivIo* io = kiv::KivIo::getInstance();
  say("setting it up: GPIO lines, input interrupts, com1 and com2, light controller, LED strip");
  io->setup();

  io->registerInput(on_input);
  io->registerTrigger(on_trigger);
  io->registerTune(on_tune);
  say("callbacks registered for the input, trigger and tune lines");
  io->setAMA1Callback(on_com1);
  say("read callback registered for com1");
  io->registerHardware(on_hardware);
  say("hardware callback registered for the light controller");

  walk_outputs(io);
  walk_status_colours(io);

  char hello[] = "hello from kiv_io_example\r\n";
  say_result("writeAMA1 of a greeting to com1",
             io->writeAMA1(hello, static_cast<int>(std::strlen(hello))));

  show_mapping();
  walk_light_controller(io);
  walk_lens(io);
  bool auto_off = light_with_auto_off(io);

  bool all = wait_for_events(seconds);
  end_light(auto_off);
  say("closing the device I/O facade");
  kiv::KivIo::close_io();
  say(all ? "done" : "done, but not every awaited event came");
  return all ? 0 : 1;
}
