// SPDX-License-Identifier: MIT
// kivctl serial: raw bytes to and from "/dev/com1" and "/dev/com2".
#include <memory>
#include <string>

#include "argument_checks.h"
#include "byte_words.h"
#include "command_line.h"
#include "kiv_serial.h"
#include "results.h"
#include "serial/port_table.h"
#include "watch/event_pump.h"

namespace kivctl {
namespace {

struct SerialArgs {
  std::string port;
  std::string text;
  std::string hex;
  bool hex_out = false;
  bool timestamp = false;
  bool json = false;
  WatchLimits limits;
};

// Through the slot that holds the port when this process has it open (a
// shell's set-up or light commands; a missing com1 puts com2 in the first
// slot, so the slot is found by the port's path); else the port alone, opened
// for this write and closed after it, which lets the bytes leave the line
// first.
int write_port(Device& device, const std::string& port, std::string bytes) {
  int len = static_cast<int>(bytes.size());
  std::string path = "/dev/" + port;
  int held = kiv::serial::slot_holding(path.c_str());
  if (held >= 0) {
    if (svWriteSerial(&bytes[0], len, held) != 0)
      return complain("serial send: " + path + " could not be written");
    return kDone;
  }
  device.claim_port(path);
  int index = SerialPortInitEX(&path[0], 115200, 8, 1, 'N');
  if (index < 0)
    return complain("serial send: " + path + " could not be opened");
  try {
    device.claim_port(path);  // one that opened it at the same moment
  } catch (const Device::Unavailable&) {
    SerialPortFree(index);
    throw;
  }
  int result = svWriteSerial(&bytes[0], len, index);
  SerialPortFree(index);
  if (result != 0)
    return complain("serial send: " + path + " could not be written");
  return kDone;
}

int send(Device& device, const SerialArgs& a) {
  std::string bytes, error;
  bool ok = a.hex.empty() ? unescape(a.text, bytes, error) : parse_hex(a.hex, bytes, error);
  if (ok && bytes.empty())
    error = "nothing to send";
  if (!ok || bytes.empty() || (a.hex.empty() == a.text.empty())) {
    complain("serial send: " +
             (error.empty() ? std::string("give TEXT or --hex HEX, not both") : error));
    return kUsage;
  }
  return write_port(device, a.port, bytes);
}

}  // namespace

void add_serial_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<SerialArgs>();
  const std::string details =
      "Raw bytes on the serial ports /dev/com1 and /dev/com2 (115200 8N1). The port "
      "is opened alone and closed after; in a shell that holds it open already, it is used "
      "there. No line moves, no other port opens.";
  CLI::App* serial = app.add_subcommand("serial", "Raw bytes on /dev/com1 and /dev/com2");
  serial->require_subcommand(1);
  explain(serial, details, "kivctl serial send com1 'STATUS\\r\\n'; kivctl serial listen com1");

  CLI::App* sendc = serial->add_subcommand("send", "Writes bytes to a port.");
  sendc->add_option("PORT", a->port, "com1 or com2")->required()->check(one_of({"com1", "com2"}));
  sendc->add_option("TEXT", a->text, "text, with \\r, \\n, \\t, \\\\ and \\xHH escapes");
  sendc->add_option("--hex", a->hex, "the bytes in hex instead, such as '4F 4B 0D 0A'");
  explain(sendc, "",
          "kivctl serial send com1 'OK 1\\r\\n'; kivctl serial send com2 --hex '39 2D 01 0D 0A'");
  sendc->callback([&set, a] { set.action = [&set, a] { return send(set.session.device, *a); }; });

  CLI::App* listen = serial->add_subcommand(
      "listen", "Shows what a port receives, as it comes, until Ctrl-C (or --count, --timeout).");
  listen->add_option("PORT", a->port, "com1 or com2")->required()->check(one_of({"com1", "com2"}));
  listen->add_flag("--hex", a->hex_out, "each chunk as a line of hex bytes");
  listen->add_flag("--timestamp", a->timestamp, "each chunk as a line with its time");
  listen->add_flag("--json", a->json, "one JSON object a chunk");
  listen->add_option("--count", a->limits.count, "stop after N chunks")->check(count());
  listen->add_option("--timeout", a->limits.timeout_s, "stop after S seconds")->check(seconds());
  explain(listen, "", "kivctl serial listen com1 --hex --timestamp");
  listen->callback([&set, a] {
    set.action = [&set, a] {
      PrintStyle style;
      style.json = a->json;
      style.hex = a->hex_out;
      style.timestamp = a->timestamp;
      style.raw_bytes = !a->hex_out && !a->timestamp;
      return watch_sources(set.session, {a->port}, style, a->limits, "serial listen");
    };
  });
}

}  // namespace kivctl
