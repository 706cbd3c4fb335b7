// SPDX-License-Identifier: MIT
// The board map against the library: each line, driven through the library's
// interface on the simulated board, is the line the map names for it; and
// the names the map reads and writes.
#include <gtest/gtest.h>
#include <wiringPi.h>

#include <atomic>
#include <functional>

#include "board_map.h"
#include "gpio/pins.h"
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

TEST(BoardMap, EachOutputDrivesTheLineOfItsName) {
  KIV_REQUIRE_SANDBOX();
  kivtest::StdoutCapture out;
  kiv::KivIo* io = set_up();
  ASSERT_NE(io, nullptr);
  const struct {
    const char* name;
    std::function<void(bool)> drive;
    bool inverted;  // scan-b shows the opposite of scan-a
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
  EXPECT_EQ(outputs, std::size(roles)) << "an output of the map that nothing here drives";
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

// Each line is read by its name and its older spelling, in any case, and
// written by its name only.
TEST(BoardMap, EachLineIsReadByItsSpellingsAndWrittenByItsName) {
  const struct {
    const char* spelling;
    int pin;
    const char* label;
  } lines[] = {
      {"laser", 13, "laser (13)"},   {"ALARM", 21, "alarm (21)"},   {"scan-a", 16, "scan-a (16)"},
      {"scan A", 16, "scan-a (16)"}, {"SCAN a", 16, "scan-a (16)"}, {"Scan-B", 7, "scan-b (7)"},
      {"scan b", 7, "scan-b (7)"},   {"do1", 22, "do1 (22)"},       {"DO1", 22, "do1 (22)"},
      {"Do2", 27, "do2 (27)"},       {"input", 17, "input (17)"},   {"Trigger", 12, "trigger (12)"},
      {"tune", 20, "tune (20)"},     {"strip", 19, "strip (19)"},   {"5", 5, "pin 5"},
      {"63", 63, "pin 63"},
  };
  for (const auto& line : lines) {
    EXPECT_EQ(kivsim::parse_pin(line.spelling), line.pin) << line.spelling;
    EXPECT_EQ(kivsim::pin_label(line.pin), line.label) << line.spelling;
  }
  const std::string zero(1, '\0');
  for (const std::string& none :
       {std::string(""), std::string("+3"), std::string("-1"), std::string("64"),
        std::string("scan  A"), std::string("scanA"), std::string("do3"), "scan A" + zero})
    EXPECT_EQ(kivsim::parse_pin(none), -1) << none;
  // Every name and older spelling in the map reads back as its own line.
  for (const BoardLine& line : kivsim::board_lines()) {
    EXPECT_EQ(kivsim::parse_pin(line.name), line.pin) << line.name;
    if (line.older) {
      EXPECT_EQ(kivsim::parse_pin(line.older), line.pin) << line.older;
    }
    EXPECT_EQ(kivsim::pin_key(line.pin), line.name);
  }
  EXPECT_EQ(kivsim::pin_key(40), "40");
  EXPECT_TRUE(kivsim::is_input_pin(20));
  EXPECT_FALSE(kivsim::is_input_pin(21));
  EXPECT_TRUE(kivsim::is_driven_pin(19));
  EXPECT_FALSE(kivsim::is_driven_pin(5));
}

// Messages that want a line offer the names, in the board's order.
TEST(BoardMap, TheNamesAreListedInTheBoardsOrder) {
  EXPECT_EQ(kivsim::line_names(),
            "laser, alarm, scan-a, scan-b, do1, do2, input, trigger, tune, strip");
  EXPECT_EQ(kivsim::line_names(LineKind::kOutput), "laser, alarm, scan-a, scan-b, do1, do2");
  EXPECT_EQ(kivsim::line_names(LineKind::kInput), "input, trigger, tune");
  EXPECT_EQ(kivsim::line_choices(LineKind::kInput), "input, trigger, tune, or a pin number 0..63");
  EXPECT_EQ(kivsim::line_choices(),
            "laser, alarm, scan-a, scan-b, do1, do2, input, trigger, tune, strip, or a pin "
            "number 0..63");
}

// The library's tool names the lines from the library's own table: the
// same names, pins, directions and older spellings as the board's map.
TEST(BoardMap, TheLibrarysLineNamesAreTheMaps) {
  size_t lines = 0;
  for (const kiv::pin::NamedLine& named : kiv::pin::kNamedLines) {
    SCOPED_TRACE(named.name);
    const kivsim::BoardLine* line = kivsim::board_line(named.pin);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line->name, named.name);
    EXPECT_EQ(line->kind == kivsim::LineKind::kOutput, named.output);
    EXPECT_EQ(kivsim::parse_pin(named.older ? named.older : named.name), named.pin);
    EXPECT_EQ(line->older == nullptr, named.older == nullptr);
    ++lines;
  }
  size_t mapped = 0;
  for (const kivsim::BoardLine& line : kivsim::board_lines())
    mapped += line.kind != kivsim::LineKind::kStrip ? 1 : 0;
  EXPECT_EQ(lines, mapped);
}

}  // namespace
