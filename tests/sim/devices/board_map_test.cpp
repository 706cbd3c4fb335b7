// SPDX-License-Identifier: MIT
// The board map against the library: each role, driven through the library's
// interface on the simulated board, is the line the map names for it.
#include <gtest/gtest.h>
#include <wiringPi.h>

#include <atomic>
#include <functional>

#include "board_map.h"
#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"
#include "ws2811_sim.h"

namespace gpio = kivsim::gpio;
using kivsim::BoardLine;
using kivsim::LineKind;

namespace {

std::atomic<int> g_input{-1}, g_trigger{-1}, g_tune{-1};
void on_input(int level) {
  g_input = level;
}
void on_trigger(int level) {
  g_trigger = level;
}
void on_tune(int level) {
  g_tune = level;
}

int pin_named(const char* name) {
  int pin = kivsim::parse_pin(name);
  EXPECT_GE(pin, 0) << "the board map has no line \"" << name << "\"";
  return pin;
}

// The library set up on the simulated board, its serial ports on ptys.
kiv::KivIo* set_up() {
  if (kivsim::Sandbox::add_port("/dev/com1") < 0 || kivsim::Sandbox::add_port("/dev/com2") < 0)
    return nullptr;
  kiv::KivIo* io = kiv::KivIo::getInstance();
  io->setup();
  return io;
}

TEST(BoardMap, TheLibraryConfiguresExactlyTheMapsLines) {
  KIV_REQUIRE_SANDBOX();
  kivtest::StdoutCapture out;
  ASSERT_NE(set_up(), nullptr);
  for (int pin = 0; pin < kivsim::kBoardPins; ++pin) {
    const BoardLine* line = kivsim::board_line(pin);
    const bool output = line && line->kind == LineKind::kOutput;
    const bool input = line && line->kind == LineKind::kInput;
    EXPECT_EQ(gpio::mode(pin) == OUTPUT, output) << kivsim::pin_label(pin);
    EXPECT_EQ(gpio::mode(pin) == INPUT && gpio::has_isr(pin), input) << kivsim::pin_label(pin);
  }
  // The strip's data line is the pin its one channel of LEDs was started on.
  const kivsim::strip::ConfigSeen config = kivsim::strip::last_init_config();
  const kivsim::strip::ChannelSeen& leds =
      config.channel[0].count > 0 ? config.channel[0] : config.channel[1];
  EXPECT_EQ(leds.gpionum, pin_named("strip"));
  kiv::KivIo::close_io();
}

TEST(BoardMap, EachOutputRoleDrivesTheLineOfItsName) {
  KIV_REQUIRE_SANDBOX();
  kivtest::StdoutCapture out;
  kiv::KivIo* io = set_up();
  ASSERT_NE(io, nullptr);
  const struct {
    const char* name;
    std::function<void(bool)> drive;
    bool inverted;  // scan B shows the opposite of scan A
  } roles[] = {
      {"laser", [io](bool on) { on ? io->openLaser() : io->closeLaser(); }, false},
      {"alarm", [io](bool on) { on ? io->openAlarm() : io->closeAlarm(); }, false},
      {"do1", [io](bool on) { io->setDo1High(on); }, false},
      {"do2", [io](bool on) { io->setDo2High(on); }, false},
      {"scan-a", [io](bool on) { io->setScanStat(on); }, false},
      {"scan-b", [io](bool on) { io->setScanStat(on); }, true},
  };
  size_t outputs = 0;
  for (const BoardLine& line : kivsim::board_lines())
    outputs += line.kind == LineKind::kOutput ? 1 : 0;
  EXPECT_EQ(outputs, std::size(roles)) << "an output of the map that no role here drives";
  for (const auto& role : roles) {
    const int pin = pin_named(role.name);
    for (bool on : {true, false, true}) {
      role.drive(on);
      EXPECT_EQ(gpio::level(pin), on != role.inverted ? 1 : 0) << role.name << " " << on;
    }
  }
  kiv::KivIo::close_io();
}

TEST(BoardMap, AnEdgeOnEachInputOfTheMapReachesItsCallback) {
  KIV_REQUIRE_SANDBOX();
  kivtest::StdoutCapture out;
  kiv::KivIo* io = set_up();
  ASSERT_NE(io, nullptr);
  io->registerInput(on_input);
  io->registerTrigger(on_trigger);
  io->registerTune(on_tune);
  const struct {
    const char* name;
    std::atomic<int>& seen;
  } inputs[] = {{"input", g_input}, {"trigger", g_trigger}, {"tune", g_tune}};
  size_t map_inputs = 0;
  for (const BoardLine& line : kivsim::board_lines())
    map_inputs += line.kind == LineKind::kInput ? 1 : 0;
  EXPECT_EQ(map_inputs, std::size(inputs)) << "an input of the map that no callback here takes";
  for (const auto& in : inputs) {
    const int pin = pin_named(in.name);
    for (int level : {1, 0}) {
      in.seen = -1;
      ASSERT_TRUE(gpio::inject_edge(pin, level)) << in.name << ": no handler on pin " << pin;
      ASSERT_TRUE(gpio::wait_handler_idle(pin)) << in.name;
      EXPECT_EQ(in.seen.load(), level) << in.name;
    }
  }
  kiv::KivIo::close_io();
}

TEST(BoardMap, LinesAreNamedAndLabelledOneWay) {
  EXPECT_EQ(kivsim::parse_pin("SCAN-A"), 16);
  EXPECT_EQ(kivsim::parse_pin("Trigger"), 12);
  EXPECT_EQ(kivsim::parse_pin("5"), 5);
  for (const char* none : {"", "+3", "-1", "64", "scan a", "do3"})
    EXPECT_EQ(kivsim::parse_pin(none), -1) << none;
  EXPECT_EQ(kivsim::pin_label(7), "scan B (7)");
  EXPECT_EQ(kivsim::pin_label(40), "pin 40");
  EXPECT_EQ(kivsim::pin_key(16), "scan-a");
  EXPECT_EQ(kivsim::pin_key(40), "40");
  EXPECT_TRUE(kivsim::is_input_pin(20));
  EXPECT_FALSE(kivsim::is_input_pin(21));
  EXPECT_TRUE(kivsim::is_driven_pin(19));
  EXPECT_FALSE(kivsim::is_driven_pin(5));
  // Every name reads back as its own line.
  for (const BoardLine& line : kivsim::board_lines())
    EXPECT_EQ(kivsim::parse_pin(line.name), line.pin) << line.name;
}

}  // namespace
