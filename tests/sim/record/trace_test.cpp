// SPDX-License-Identifier: MIT
// The trace: one JSON object a line per event, written and read back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "trace_reader.h"
#include "trace_writer.h"

namespace kivsim {
namespace {

TEST(TraceLine, CarriesTheFieldsOfItsKind) {
  Event render;
  render.seq = 7;
  render.time_ns = 1500000000;
  render.source = EventSource::kStrip;
  render.kind = EventKind::kRender;
  render.text = "9 LEDs";
  render.leds = {0x00ff00, 0x000000};
  nlohmann::json j = nlohmann::json::parse(trace_line(render));
  EXPECT_EQ(j["seq"], 7);
  EXPECT_EQ(j["t"], 1.5);
  EXPECT_EQ(j["source"], "strip");
  EXPECT_EQ(j["timing"], "source");
  EXPECT_EQ(j["leds"], nlohmann::json::array({"00ff00", "000000"}));
  EXPECT_FALSE(j.contains("pin") || j.contains("late") || j.contains("bytes"));

  Event out;
  out.source = EventSource::kProgram;
  out.kind = EventKind::kOut;
  out.timing = EventTiming::kArrival;
  out.late = true;
  out.text = "bad \xff byte";  // no UTF-8: written as U+FFFD, the line still parses
  j = nlohmann::json::parse(trace_line(out));
  EXPECT_EQ(j["text"], "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(j["timing"], "arrival");
  EXPECT_EQ(j["late"], true);
}

// The trace's kinds, as README names them: the trace keeps them whatever
// the code calls them.
TEST(TraceLine, EveryKindKeepsItsName) {
  const char* const names[] = {
      "start",       "command", "note",  "exit",     "out",       "err",  "setup",
      "mode",        "pull",    "write", "written",  "read",      "isr",  "handler-start",
      "handler-end", "edge",    "level", "lost",     "received",  "sent", "frame",
      "state",       "open",    "close", "transfer", "registers", "bus",  "init",
      "render",      "fini",    "fault", "unknown"};
  std::set<int> kinds;
  for (const char* name : names) {
    EventKind kind;
    ASSERT_TRUE(kind_named(name, kind)) << name;
    EXPECT_STREQ(kind_name(kind), name);
    kinds.insert(static_cast<int>(kind));
  }
  EXPECT_EQ(kinds.size(), std::size(names));
  EXPECT_EQ(*kinds.rbegin(), static_cast<int>(EventKind::kUnknown)) << "a kind without a name";
  EventKind kind;
  EXPECT_FALSE(kind_named("handler_start", kind));
  for (const char* source : {"sim", "program", "gpio", "com1", "com2", "light", "i2c", "strip"}) {
    EventSource s;
    ASSERT_TRUE(source_named(source, s)) << source;
    EXPECT_STREQ(source_name(s), source);
  }
}

// What is written reads back as the same event, whatever fields it carries.
TEST(TraceReader, ReadsEachLineBackIntoItsEvent) {
  std::vector<Event> events(7);
  events[0].source = EventSource::kGpio;
  events[0].kind = EventKind::kEdge;
  events[0].pin = 12;
  events[0].level = 1;
  events[0].sent = true;
  events[0].text = "edge trigger (12) -> 1";
  events[0].changes.fields = {{StateField::kInput, 12, 1}, {StateField::kEdgesRaised, -1, 1}};
  events[1].source = EventSource::kCom2;
  events[1].kind = EventKind::kFrame;
  events[1].timing = EventTiming::kArrival;
  events[1].bytes = std::string("\x39\x2D\x01\x0D\x0A\x00\xFF", 7);
  events[2].source = EventSource::kLight;
  events[2].kind = EventKind::kState;
  events[2].light.channel_on[2] = true;
  events[2].light.work_mode = 5;
  events[2].light.frames = 12;
  events[2].light.unknown_frames = 2;
  events[3].source = EventSource::kI2c;
  events[3].kind = EventKind::kBus;
  events[3].bus.stuck = true;
  events[3].bus.present = false;
  events[4].source = EventSource::kI2c;
  events[4].kind = EventKind::kRegisters;
  events[4].lens_value = 1200;
  events[4].vtemp = 0;
  events[5].source = EventSource::kStrip;
  events[5].kind = EventKind::kRender;
  events[5].leds = {0xff0000, 0x00ff00, 0x000000};
  events[5].late = true;
  events[6].kind = EventKind::kExit;
  events[6].result = 143;
  for (size_t i = 0; i < events.size(); ++i) {
    events[i].seq = i + 1;
    events[i].time_ns = 1000000007 * static_cast<int64_t>(i);
    const std::string line = trace_line(events[i]);
    Event back;
    std::string error;
    ASSERT_TRUE(event_from_trace_line(line, back, error)) << line << ": " << error;
    EXPECT_EQ(trace_line(back), line);
    EXPECT_EQ(back.bytes, events[i].bytes) << line;
    EXPECT_EQ(back.time_ns, events[i].time_ns) << line;
  }
}

TEST(TraceReader, ALineThatIsNoEventIsNamed) {
  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"", "not a JSON object"},
      {"[1, 2]", "not a JSON object"},
      {R"({"source": "gpio", "time_ns": 0})", "key 'kind' not found"},
      {R"({"source": "disk", "kind": "write", "time_ns": 0})", "no source \"disk\""},
      {R"({"source": "gpio", "kind": "writes", "time_ns": 0})", "no kind \"writes\""},
      {R"({"source": "gpio", "kind": "write", "time_ns": "soon"})", "must be number"},
      {R"({"source": "com1", "kind": "sent", "time_ns": 0, "bytes": "4G"})", "no hex bytes"},
      {R"({"source": "strip", "kind": "render", "time_ns": 0, "leds": ["green"]})", "6 hex digits"},
      {R"({"source": "light", "kind": "state", "time_ns": 0, "light": {"channels": []}})",
       "4 channels"},
      // An integer field takes no fraction or exponent, and no value beyond its type.
      {R"({"source": "gpio", "kind": "write", "time_ns": 1e93})", "\"time_ns\" is no integer"},
      {R"({"source": "gpio", "kind": "write", "time_ns": 0, "pin": 3.5})", "\"pin\" is no integer"},
      {R"({"source": "gpio", "kind": "write", "time_ns": 0, "pin": 4294967296})", "\"pin\" is no"},
      {R"({"source": "gpio", "kind": "write", "time_ns": 0, "state": {"outputs": {"laser": 1e93}}})",
       "\"laser\" is no integer"},
  };
  for (const auto& c : bad) {
    Event e;
    std::string error;
    EXPECT_FALSE(event_from_trace_line(c.line, e, error)) << c.line;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
  }
  // Fields it does not know, as later traces may add, are passed over.
  Event e;
  std::string error;
  EXPECT_TRUE(event_from_trace_line(
      R"({"source": "sim", "kind": "note", "time_ns": 5, "text": "x", "colour": "red"})", e, error))
      << error;
  EXPECT_EQ(e.text, "x");
}

TEST(TraceReader, ReadsAFileToItsFirstFaultNamingTheLine) {
  char dir[] = "/tmp/kiv-trace-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/trace.jsonl";
  Event note;
  note.text = "first";
  std::ofstream(path) << trace_line(note) << "\n" << trace_line(note) << "\nnot json\n";
  std::vector<Event> events;
  std::string error;
  EXPECT_FALSE(read_trace(path, events, error));
  EXPECT_EQ(error, path + ":3: not a JSON object");
  EXPECT_EQ(events.size(), 2u);
  unlink(path.c_str());
  EXPECT_FALSE(read_trace(path, events, error));
  EXPECT_EQ(error, path + ": No such file or directory");
  rmdir(dir);
}

}  // namespace
}  // namespace kivsim
