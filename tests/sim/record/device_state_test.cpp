// SPDX-License-Identifier: MIT
// The one fold of a run's events into the device's state: what each event
// changes, the state its changes rebuild, and both as JSON.
#include <gtest/gtest.h>

#include "device_state.h"
#include "event_stream.h"
#include "state_json.h"

namespace kivsim {
namespace {

using nlohmann::json;

Event gpio(EventKind kind, int pin, int level, bool sent = false) {
  Event e;
  e.source = EventSource::kGpio;
  e.kind = kind;
  e.pin = pin;
  e.level = level;
  e.sent = sent;
  return e;
}

Event of(EventSource source, EventKind kind) {
  Event e;
  e.source = source;
  e.kind = kind;
  return e;
}

// Each event, folded in turn, changes exactly the fields given (as JSON).
TEST(DeviceState, EachEventChangesWhatReachedTheDevice) {
  Event lost = gpio(EventKind::kLost, -1, -1);
  lost.result = 40;
  Event light = of(EventSource::kLight, EventKind::kState);
  light.light.channel_on[0] = true;
  light.light.work_mode = 5;
  light.light.frames = 99;  // the frames are counted from com2's frame events
  Event frame = of(EventSource::kCom2, EventKind::kFrame);
  Event com1 = of(EventSource::kCom1, EventKind::kReceived);
  com1.bytes = "OK 1\r\n";
  Event com1_sent = of(EventSource::kCom1, EventKind::kSent);
  com1_sent.bytes = "ping";
  Event registers = of(EventSource::kI2c, EventKind::kRegisters);
  registers.lens_value = 1200;
  registers.vtemp = 0;
  Event nack = of(EventSource::kI2c, EventKind::kBus);
  nack.bus.answering = false;
  Event render = of(EventSource::kStrip, EventKind::kRender);
  render.leds = {0x00ff00, 0x00ff00};
  Event exit = of(EventSource::kSim, EventKind::kExit);
  exit.result = 3;
  const struct {
    const char* what;
    Event event;
    const char* changes;
  } steps[] = {
      {"a write", gpio(EventKind::kWrite, 21, 7), R"({"outputs":{"alarm":1}})"},
      {"the same level again", gpio(EventKind::kWrite, 21, 1), "{}"},
      {"a line without a role", gpio(EventKind::kWrite, 40, 1), R"({"outputs":{"40":1}})"},
      {"an edge that reached no stand-in", gpio(EventKind::kEdge, 12, 1, false), "{}"},
      {"a level that reached no stand-in", gpio(EventKind::kLevel, 17, 1, false), "{}"},
      {"an edge that reached the program", gpio(EventKind::kEdge, 12, 1, true),
       R"({"counts":{"edges_raised":1},"inputs":{"trigger":1}})"},
      {"a level that reached the program", gpio(EventKind::kLevel, 12, 0, true),
       R"({"inputs":{"trigger":0}})"},
      {"a read", gpio(EventKind::kRead, 20, 1), R"({"inputs":{"tune":1}})"},
      {"a handler", gpio(EventKind::kHandlerStart, 20, -1), R"({"counts":{"handlers_run":1}})"},
      {"lost reports", lost, R"({"counts":{"reports_lost":40}})"},
      {"levels caught up after them", gpio(EventKind::kWritten, 21, 0),
       R"({"outputs":{"alarm":0}})"},
      {"a mode", gpio(EventKind::kMode, 22, 1), "{}"},
      {"the controller's state", light,
       R"({"light":{"channels":[true,false,false,false],"work_mode":5}})"},
      {"a frame", frame, R"({"light":{"frames":1}})"},
      {"bytes from the program", com1, R"({"counts":{"com1_bytes":6}})"},
      {"bytes to it", com1_sent, "{}"},
      {"the registers", registers, R"({"lens":{"value":1200}})"},
      {"a lens command", nack, R"({"lens":{"answering":false}})"},
      {"a render", render, R"({"strip":{"leds":["00ff00","00ff00"],"renders":1}})"},
      {"the same colours again", render, R"({"strip":{"renders":2}})"},
      {"a fault", of(EventSource::kStrip, EventKind::kFault), R"({"strip":{"faults":1}})"},
      {"the start", of(EventSource::kSim, EventKind::kStart), R"({"program":{"started":true}})"},
      {"the end", exit, R"({"program":{"ended":true,"exit_status":3}})"},
      {"the program's output", of(EventSource::kProgram, EventKind::kOut), "{}"},
  };
  DeviceState state;
  DeviceState rebuilt;
  for (const auto& step : steps) {
    StateChange change = fold_event(state, step.event);
    EXPECT_EQ(change_json(change).dump(), step.changes) << step.what;
    apply_change(rebuilt, change);
  }
  EXPECT_EQ(state.output[21], 0);
  EXPECT_EQ(state.input[12], 0);
  EXPECT_EQ(state.edges_raised, 1);
  EXPECT_EQ(state.reports_lost, 40);
  EXPECT_EQ(state.light.frames, 1u);
  EXPECT_EQ(state.exit_status, 3);
  // The changes alone rebuild the state the fold reached.
  EXPECT_EQ(state_json(rebuilt), state_json(state));
  EXPECT_EQ(outputs_summary(state), "alarm (21)=0, pin 40=1");
}

TEST(DeviceState, TheSummaryListsTheBoardsOutputsFirst) {
  DeviceState state;
  EXPECT_EQ(outputs_summary(state), "none written");
  for (int pin : {5, 21, 22, 13})
    fold_event(state, gpio(EventKind::kWrite, pin, pin == 13 ? 0 : 1));
  EXPECT_EQ(outputs_summary(state), "laser (13)=0, alarm (21)=1, do1 (22)=1, pin 5=1");
}

TEST(DeviceState, TheWholeStateHasEveryGroupAndTheLinesSet) {
  DeviceState state;
  fold_event(state, gpio(EventKind::kWrite, 16, 1));
  json j = state_json(state);
  EXPECT_EQ(j["outputs"], json({{"scan-a", 1}}));
  EXPECT_EQ(j["inputs"], json::object());
  EXPECT_EQ(j["light"]["channels"], json({false, false, false, false}));
  EXPECT_EQ(
      j["lens"],
      json({{"value", 0}, {"vtemp", 0}, {"present", true}, {"stuck", false}, {"answering", true}}));
  EXPECT_EQ(j["strip"], json({{"leds", json::array()}, {"renders", 0}, {"faults", 0}}));
  EXPECT_EQ(j["program"], json({{"started", false}, {"ended", false}, {"exit_status", -1}}));
  EXPECT_EQ(j["counts"]["edges_raised"], 0);
  // The board goes with it, in the board's order, by name and kind.
  json board = board_json();
  ASSERT_EQ(board.size(), board_lines().size());
  EXPECT_EQ(board[2], json({{"pin", 16}, {"name", "scan-a"}, {"kind", "output"}}));
  EXPECT_EQ(board.back()["kind"], "strip");
}

TEST(DeviceState, AChangeReadsBackFromItsJson) {
  StateChange change;
  change.fields = {{StateField::kOutput, 13, 1},        {StateField::kInput, 40, 0},
                   {StateField::kChannels, -1, 0b1010}, {StateField::kLightOn, -1, 1},
                   {StateField::kLeds, -1, 2},          {StateField::kExitStatus, -1, 143}};
  change.leds = {0xff0000, 0x000001};
  StateChange back;
  std::string error;
  ASSERT_TRUE(change_from_json(change_json(change), back, error)) << error;
  EXPECT_EQ(change_json(back), change_json(change));
  EXPECT_EQ(back.leds, change.leds);
  ASSERT_NE(back.find(StateField::kInput, 40), nullptr);
  EXPECT_EQ(back.find(StateField::kChannels)->value, 0b1010);

  const struct {
    const char* json;
    const char* error;
  } bad[] = {
      {"[]", "the state is no object"},
      {R"({"light": 5})", "state.light is no object"},
      {R"({"light": {"colour": 1}})", "state.light.colour is no field of the state"},
      {R"({"outputs": {"nowhere": 1}})", "state.outputs.nowhere must be a line's name or number"},
      {R"({"light": {"channels": [true]}})", "state.light.channels must be 4 booleans"},
      {R"({"strip": {"leds": ["red"]}})", "state.strip.leds must be colours of 6 hex digits"},
      {R"({"lens": {"present": "yes"}})", "state.lens.present must be a value of its kind"},
  };
  for (const auto& c : bad) {
    EXPECT_FALSE(change_from_json(json::parse(c.json), back, error)) << c.json;
    EXPECT_EQ(error, c.error);
  }
}

// The stream folds what it publishes: each event goes out with its change,
// and the state it gives is that of the events published, no more.
TEST(DeviceState, TheStreamHandsOutEachEventWithItsChange) {
  EventStream stream(0);
  std::vector<Event> seen;
  stream.subscribe([&](const Event& e) { seen.push_back(e); });
  Event write = gpio(EventKind::kWrite, 13, 1);
  write.time_ns = 10;
  stream.post(write);
  Event edge = gpio(EventKind::kEdge, 17, 1, true);
  edge.time_ns = 20;
  stream.post(edge);
  uint64_t seq = 99;
  EXPECT_EQ(stream.state(&seq).output[13], -1) << "folded before it was published";
  EXPECT_EQ(seq, 0u);
  stream.flush();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(change_json(seen[0].changes), json::parse(R"({"outputs":{"laser":1}})"));
  EXPECT_EQ(change_json(seen[1].changes),
            json::parse(R"({"inputs":{"input":1},"counts":{"edges_raised":1}})"));
  DeviceState state = stream.state(&seq);
  EXPECT_EQ(seq, 2u);
  EXPECT_EQ(state.output[13], 1);
  EXPECT_EQ(state.input[17], 1);
  std::vector<Event> kept;
  stream.wait_events(0, kept, 0);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[1].changes.fields.size(), 2u) << "another thread takes the change too";
}

}  // namespace
}  // namespace kivsim
