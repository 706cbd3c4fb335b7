// SPDX-License-Identifier: MIT
// kivctl serial: raw bytes to and from "/dev/com1" and "/dev/com2".
#include <memory>
#include <optional>
#include <string>

#include "argument_checks.h"
#include "byte_words.h"
#include "command_line.h"
#include "kiv_serial.h"
#include "port/held_port.h"
#include "port/port_sessions.h"
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
  LineSettings line;
  bool line_given = false;  // a setting was named: the port opens with them
  double timeout_s = 1;
  double gap_s = 0.1;

  const LineSettings* settings() const { return line_given ? &line : nullptr; }
};

// The request's bytes from TEXT or --hex; false after saying what is wrong.
bool request_bytes(const std::string& command, const SerialArgs& a, std::string& bytes) {
  std::string error;
  bool ok = a.hex.empty() ? unescape(a.text, bytes, error) : parse_hex(a.hex, bytes, error);
  if (ok && bytes.empty())
    error = "nothing to send";
  if (!ok || bytes.empty() || (a.hex.empty() == a.text.empty())) {
    complain(command + ": " +
             (error.empty() ? std::string("give TEXT or --hex HEX, not both") : error));
    return false;
  }
  return true;
}

// Through the slot that holds the port when this process has it open (a
// shell's set-up or light commands; a missing com1 puts com2 in the first
// slot, so the slot is found by the port's path); else the port alone, opened
// for this write and closed after it, which lets the bytes leave the line
// first.
int write_port(Device& device, const std::string& port, std::string bytes,
               const LineSettings* line) {
  int len = static_cast<int>(bytes.size());
  std::string path = "/dev/" + port;
  int held = kiv::serial::slot_holding(path.c_str());
  if (held >= 0) {
    // With settings named, for this write only.
    std::optional<HeldPortSettings> settings;
    if (line != nullptr && (held = settings.emplace(path, held, *line).slot()) < 0)
      return complain("serial send: " + path + " could not be opened at " + line->text());
    if (svWriteSerial(&bytes[0], len, held) != 0)
      return complain("serial send: " + path + " could not be written");
    return kDone;
  }
  int index = device.open_port(path, line ? *line : LineSettings{});
  if (index < 0)
    return complain("serial send: " + path + " could not be opened");
  int result = svWriteSerial(&bytes[0], len, index);
  SerialPortFree(index);
  if (result != 0)
    return complain("serial send: " + path + " could not be written");
  return kDone;
}

int send(Device& device, const SerialArgs& a) {
  std::string bytes;
  if (!request_bytes("serial send", a, bytes))
    return kUsage;
  return write_port(device, a.port, bytes, a.settings());
}

int ask(Session& session, const SerialArgs& a) {
  AskArgs ask;
  if (!request_bytes("serial ask", a, ask.bytes))
    return kUsage;
  ask.port = a.port;
  ask.timeout_s = a.timeout_s;
  ask.gap_s = a.gap_s;
  ask.hex = a.hex_out;
  ask.line = a.settings();
  return ask_port(session, ask);
}

// The port's settings on `command`, noting whether any was named.
void line_options(CLI::App* command, SerialArgs& a) {
  add_line_options(command, a.line);
  command->preparse_callback([&a](size_t) { a.line_given = false; });
  command->parse_complete_callback([&a, command] {
    for (const char* name : {"--baud", "--data-bits", "--parity", "--stop-bits"})
      a.line_given = a.line_given || command->count(name) > 0;
  });
}

}  // namespace

void add_serial_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<SerialArgs>();
  const std::string details =
      "Raw bytes on the serial ports /dev/com1 and /dev/com2, at 115200 8N1 unless --baud, "
      "--data-bits, --parity or --stop-bits say otherwise. The port is opened alone and closed "
      "after; in a shell that holds it open already, it is used there (opened again when a "
      "setting is named). No line moves, no other port opens.";
  CLI::App* serial = app.add_subcommand("serial", "Raw bytes on /dev/com1 and /dev/com2");
  serial->require_subcommand(1);
  explain(serial, details, "kivctl serial send com1 'STATUS\\r\\n'; kivctl serial listen com1");

  CLI::App* sendc = serial->add_subcommand("send", "Writes bytes to a port.");
  sendc->add_option("PORT", a->port, "com1 or com2")->required()->check(one_of({"com1", "com2"}));
  sendc->add_option("TEXT", a->text, "text, with \\r, \\n, \\t, \\\\ and \\xHH escapes");
  sendc->add_option("--hex", a->hex, "the bytes in hex instead, such as '4F 4B 0D 0A'");
  explain(sendc, "",
          "kivctl serial send com1 'OK 1\\r\\n'; kivctl serial send com2 --hex '39 2D 01 0D 0A'");
  line_options(sendc, *a);
  sendc->callback([&set, a] { set.action = [&set, a] { return send(set.session.device, *a); }; });

  CLI::App* listen = serial->add_subcommand(
      "listen", "Shows what a port receives, as it comes, until Ctrl-C (or --count, --timeout).");
  listen->add_option("PORT", a->port, "com1 or com2")->required()->check(one_of({"com1", "com2"}));
  listen->add_flag("--hex", a->hex_out, "each chunk as a line of hex bytes");
  listen->add_flag("--timestamp", a->timestamp, "each chunk as a line with its time");
  listen->add_flag("--json", a->json, "one JSON object a chunk");
  listen->add_option("--count", a->limits.count, "stop after N chunks")->transform(count());
  listen->add_option("--timeout", a->limits.timeout_s, "stop after S seconds")->check(seconds());
  line_options(listen, *a);
  explain(listen, "", "kivctl serial listen com1 --hex --timestamp");
  listen->callback([&set, a] {
    set.action = [&set, a] {
      PrintStyle style;
      style.json = a->json;
      style.hex = a->hex_out;
      style.timestamp = a->timestamp;
      style.raw_bytes = !a->hex_out && !a->timestamp;
      return watch_sources(set.session, {a->port}, style, a->limits, "serial listen",
                           a->settings());
    };
  });

  CLI::App* askc = serial->add_subcommand(
      "ask", "Sends a request and prints the reply; exit 1 when none comes.");
  askc->add_option("PORT", a->port, "com1 or com2")->required()->check(one_of({"com1", "com2"}));
  askc->add_option("TEXT", a->text, "the request, with \\r, \\n, \\t, \\\\ and \\xHH escapes");
  askc->add_option("--hex", a->hex, "the request's bytes in hex instead");
  askc->add_flag("--hex-reply", a->hex_out, "the reply as hex bytes");
  askc->add_option("--timeout", a->timeout_s,
                   "wait at most S seconds for the whole reply (default 1)")
      ->check(seconds());
  askc->add_option("--gap", a->gap_s,
                   "the reply ends when the line is quiet S seconds (default 0.1)")
      ->check(seconds());
  line_options(askc, *a);
  explain(askc,
          "The port is listened to before the request leaves. The reply is every byte received "
          "from its first until the line is quiet for --gap seconds, or --timeout seconds have "
          "passed since the request (64 KiB at most), printed as it came (or in hex).",
          "kivctl serial ask com1 'STATUS\\r\\n' --timeout 2");
  askc->callback([&set, a] { set.action = [&set, a] { return ask(set.session, *a); }; });

  CLI::App* term =
      serial->add_subcommand("term", "An interactive terminal on a port: Ctrl-] leaves.");
  term->add_option("PORT", a->port, "com1 or com2")->required()->check(one_of({"com1", "com2"}));
  term->add_flag("--hex", a->hex_out, "received bytes as hex, a line each chunk");
  line_options(term, *a);
  explain(term,
          "The keyboard's bytes go out as they are typed, raw (Ctrl-C included, as a byte); what "
          "the port receives is shown as it comes. Ctrl-] leaves and gives the terminal its "
          "settings back; so does SIGTERM or SIGHUP. With standard input not a terminal, its "
          "bytes are sent and its end leaves.",
          "kivctl serial term com1 --baud 9600");
  term->callback([&set, a] {
    set.action = [&set, a] {
      TerminalArgs t;
      t.port = a->port;
      t.hex = a->hex_out;
      t.line = a->settings();
      return run_terminal(set.session, t);
    };
  });
}

}  // namespace kivctl
