// SPDX-License-Identifier: MIT
// A run's waveform read by a logic analyser's software: sigrok-cli's uart
// and i2c decoders give back exactly the bytes of the run's trace, on each
// serial line and direction and on the lens controller's bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "byte_text.h"
#include "waveform_run.h"

namespace kivtest {
namespace {

using kivsim::Event;
using kivsim::EventKind;
using kivsim::EventSource;

// The values of the annotations sigrok-cli prints ("uart-1: 4F"), one a line.
std::vector<std::string> annotations(const std::string& output) {
  std::vector<std::string> out;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);)
    if (line.find(": ") != std::string::npos)
      out.push_back(line.substr(line.find(": ") + 2));
  return out;
}

std::string sigrok(const std::string& vcd_path, const std::string& decoder, long compress) {
  int status = -1;
  std::string out = command_output("sigrok-cli -i '" + vcd_path + "' -I vcd:compress=" +
                                       std::to_string(compress) + " -P " + decoder + " 2>&1",
                                   &status);
  EXPECT_EQ(status, 0) << out;
  return out;
}

struct Direction {
  EventSource source;
  bool from_program;
  const char* wire;
};

bool in_direction(const Event& e, const Direction& d) {
  const bool from_program = e.kind == EventKind::kReceived || e.kind == EventKind::kFrame;
  return e.source == d.source && !e.bytes.empty() && from_program == d.from_program &&
         (from_program || e.kind == EventKind::kSent);
}

// The i2c decoder's reading of the trace's transfers: each address with its
// direction, each byte, and whether the receiver acknowledged it.
std::vector<std::string> expected_bus(const std::vector<Event>& events) {
  std::vector<std::string> out;
  char text[40];
  for (const Event& e : events) {
    for (const kivsim::BusMessage& m : e.messages) {
      std::snprintf(text, sizeof text, "Address %s: %02X", m.read ? "read" : "write", m.addr);
      out.push_back(text);
      out.push_back(m.nack && m.bytes.empty() ? "NACK" : "ACK");
      for (size_t i = 0; i < m.bytes.size(); ++i) {
        const bool last = i + 1 == m.bytes.size();
        std::snprintf(text, sizeof text, "Data %s: %02X", m.read ? "read" : "write",
                      static_cast<unsigned char>(m.bytes[i]));
        out.push_back(text);
        out.push_back((m.read ? last : last && m.nack) ? "NACK" : "ACK");
      }
    }
  }
  return out;
}

TEST(VcdDecode, SigrokReadsTheTracesBytesOnEveryLineAndTheBus) {
  if (command_output("command -v sigrok-cli").empty())
    GTEST_SKIP() << "sigrok-cli is not installed (Debian package sigrok-cli)";
  const Direction directions[] = {{EventSource::kCom1, true, "com1_tx"},
                                  {EventSource::kCom1, false, "com1_rx"},
                                  {EventSource::kCom2, true, "com2_tx"},
                                  {EventSource::kCom2, false, "com2_rx"}};
  for (const WaveformProgram& program : waveform_programs()) {
    SCOPED_TRACE(program.name);
    WaveformRun w = run_with_waveform(program);
    KIV_SKIP_WITHOUT_BOARD(w.run);
    ASSERT_TRUE(w.run.trace_error.empty()) << w.run.trace_error;
    // The trace converted afterwards is the waveform the run wrote.
    EXPECT_EQ(converted(w.run, false), w.vcd);
    // libsigrok 0.5 reads no vector: the wires only.
    ScratchFile wires("wires.vcd", converted(w.run, true));
    int slowest = 115200;
    for (const Event& e : w.run.events)
      if (e.line.baud > 0)
        slowest = std::min(slowest, e.line.baud);
    // Idle stretches shrink to two frames of the slowest line.
    const long compress = 24L * 100000000L / slowest;

    size_t bytes_seen = 0;
    for (const Direction& d : directions) {
      SCOPED_TRACE(d.wire);
      std::string sent;
      kivsim::SerialLine line;
      for (const Event& e : w.run.events) {
        if (!in_direction(e, d))
          continue;
        if (sent.empty())
          line = e.line;
        EXPECT_EQ(e.line, line) << "the test decodes a line at one setting";
        sent += e.bytes;
      }
      bytes_seen += sent.size();
      if (sent.empty())
        continue;
      const std::string parity = line.parity == 'E' ? "even" : line.parity == 'O' ? "odd" : "none";
      const std::string decoded_text =
          sigrok(wires.path(),
                 "uart:rx=" + std::string(d.wire) + ":baudrate=" + std::to_string(line.baud) +
                     ":data_bits=" + std::to_string(line.data_bits) + ":parity=" + parity +
                     " -A uart=rx-data",
                 compress);
      std::string decoded;
      for (const std::string& hex : annotations(decoded_text))
        decoded += static_cast<char>(std::stoi(hex, nullptr, 16));
      EXPECT_EQ(kivsim::hex_bytes(decoded), kivsim::hex_bytes(sent));
    }
    EXPECT_GT(bytes_seen, 0u);
    const std::vector<std::string> bus = expected_bus(w.run.events);
    EXPECT_FALSE(bus.empty());
    std::vector<std::string> decoded_bus = annotations(sigrok(
        wires.path(),
        "i2c:scl=scl:sda=sda -A i2c=ack:nack:address-read:address-write:data-read:data-write",
        compress));
    // The decoder names each message's direction on a line of its own too.
    decoded_bus.erase(
        std::remove_if(decoded_bus.begin(), decoded_bus.end(),
                       [](const std::string& a) { return a == "Read" || a == "Write"; }),
        decoded_bus.end());
    EXPECT_EQ(decoded_bus, bus);
  }
}

}  // namespace
}  // namespace kivtest
