// SPDX-License-Identifier: MIT
// kivctl lens: the liquid lens and VTemp over I2C.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "argument_checks.h"
#include "command_line.h"
#include "i2c/lens_i2c.h"
#include "json_text.h"
#include "kiv_i2c.h"
#include "results.h"

namespace kivctl {
namespace {

struct LensArgs {
  int value = 0;
  bool json = false;
  std::string state;
  std::string reg;
  int length = 0;
  std::vector<std::string> bytes;
};

// "0x28", "40": a number as i2c-tools take it; false when it is none or
// above `most`.
bool read_number(const std::string& text, long most, long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+')
    return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 0);
  return errno == 0 && *end == '\0' && value <= most;
}

CLI::Validator number_up_to(long most, const std::string& what) {
  return CLI::Validator(
      [most, what](std::string& text) -> std::string {
        long v;
        if (!read_number(text, most, v))
          return "'" + text + "' is not " + what;
        return "";
      },
      what);
}

std::string hex_bytes(const unsigned char* bytes, size_t len) {
  std::string out;
  char one[8];
  for (size_t i = 0; i < len; ++i) {
    std::snprintf(one, sizeof one, "%s0x%02x", i == 0 ? "" : " ", bytes[i]);
    out += one;
  }
  return out;
}

std::string no_answer(const std::string& what) {
  return what + ": the lens controller did not answer (" + std::strerror(errno) + ")";
}

int read_both(Device& device, bool json) {
  device.lens_bus();
  const int lens = device.instance().getLiquid();
  if (lens < 0)
    return complain(no_answer("lens read"));
  unsigned char vtemp[kiv::lens::kWordBytes] = {};
  if (getLiquidLens(kiv::lens::kVTempRegister, vtemp) != 0)
    return complain(no_answer("lens read"));
  // The word low byte first, as the lens value's.
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | vtemp[i];
  if (json) {
    result_line(json_text(nlohmann::json{{"lens", lens}, {"vtemp", v}}));
    return kDone;
  }
  result_line("lens   " + std::to_string(lens));
  result_line("vtemp  " + std::string(v != 0 ? "on" : "off") + " (" +
              hex_bytes(vtemp, sizeof vtemp) + ")");
  return kDone;
}

int switch_vtemp(Device& device, const std::string& state) {
  device.lens_bus();
  int result;
  if (state == "on") {
    result = device.instance().openVTemp();
  } else {
    unsigned char off[kiv::lens::kWordBytes] = {};
    result = setLiquidLens(kiv::lens::kVTempRegister, off);
  }
  return result == 0 ? kDone : complain(no_answer("lens vtemp " + state));
}

int raw_get(Device& device, const LensArgs& a) {
  device.lens_bus();
  long reg;
  read_number(a.reg, 0xFFFF, reg);
  unsigned char bytes[kiv::lens::kMaxRawBytes];
  const size_t len = static_cast<size_t>(a.length);
  if (kiv::lens::read_registers(static_cast<int>(reg), bytes, len) != 0)
    return complain(no_answer("lens raw get " + a.reg));
  result_line(hex_bytes(bytes, len));
  return kDone;
}

int raw_set(Device& device, const LensArgs& a) {
  if (a.bytes.size() > kiv::lens::kMaxRawBytes) {
    complain("lens raw set: at most " + std::to_string(kiv::lens::kMaxRawBytes) +
             " bytes in one transfer");
    return kUsage;
  }
  device.lens_bus();
  long reg;
  read_number(a.reg, 0xFFFF, reg);
  unsigned char bytes[kiv::lens::kMaxRawBytes];
  for (size_t i = 0; i < a.bytes.size(); ++i) {
    long b;
    read_number(a.bytes[i], 0xFF, b);
    bytes[i] = static_cast<unsigned char>(b);
  }
  if (kiv::lens::write_registers(static_cast<int>(reg), bytes, a.bytes.size()) != 0)
    return complain(no_answer("lens raw set " + a.reg));
  return kDone;
}

}  // namespace

void add_lens_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<LensArgs>();
  CLI::App* lens = app.add_subcommand("lens", "The liquid lens and VTemp over I2C");
  lens->require_subcommand(1);
  explain(lens,
          "The lens controller sits behind /dev/i2c-5 at address 0x18. Each command uses the bus "
          "alone: no line moves, no port opens.",
          "kivctl lens set 1200; kivctl lens read --json");
  auto act = [&set, a](std::function<int(Device&, const LensArgs&)> fn) {
    return [&set, a, fn] { set.action = [&set, a, fn] { return fn(set.session.device, *a); }; };
  };

  CLI::App* get = lens->add_subcommand("get", "Reads the lens value back (0 to 65535).");
  get->add_flag("--json", a->json, "one JSON object: {\"lens\": VALUE}");
  explain(get, "", "kivctl lens get");
  get->callback(act([](Device& device, const LensArgs& x) {
    device.lens_bus();
    int v = device.instance().getLiquid();
    if (v < 0)
      return complain(no_answer("lens get"));
    result_line(x.json ? json_text(nlohmann::json{{"lens", v}}) : std::to_string(v));
    return kDone;
  }));

  CLI::App* setc = lens->add_subcommand("set", "Sets the lens value, 0 to 46000.");
  // Checked as it is read, before the bus.
  setc->add_option("VALUE", a->value, "lens value")->required()->transform(whole_in(0, 46000));
  explain(setc, "", "kivctl lens set 1200");
  setc->callback(act([](Device& device, const LensArgs& x) {
    device.lens_bus();
    if (device.instance().setLiquid(x.value) != 0)
      return complain("lens set " + std::to_string(x.value) +
                      ": refused, or the lens controller did not answer");
    return kDone;
  }));

  CLI::App* read =
      lens->add_subcommand("read", "Reads the lens value and VTemp, as the library reads them.");
  read->add_flag("--json", a->json, "one JSON object: {\"lens\": VALUE, \"vtemp\": WORD}");
  explain(read, "VTemp is on when its register's 4-byte word is not 0; the word is shown as read.",
          "kivctl lens read");
  read->callback(act([](Device& device, const LensArgs& x) { return read_both(device, x.json); }));

  CLI::App* vtemp = lens->add_subcommand("vtemp", "Switches VTemp on or off.");
  vtemp->add_option("STATE", a->state, "on or off")->required()->check(one_of({"on", "off"}));
  explain(vtemp,
          "on writes 1 to VTemp's register (register 40), as the library's openVTemp() does; "
          "off writes 0.",
          "kivctl lens vtemp on");
  vtemp->callback(
      act([](Device& device, const LensArgs& x) { return switch_vtemp(device, x.state); }));

  CLI::App* raw = lens->add_subcommand("raw", "Any register of the lens controller, byte by byte.");
  raw->require_subcommand(1);
  explain(raw,
          "As i2ctransfer does at address 0x18, through the library's transfers. The "
          "controller's register addresses are 16 bits wide (0 to 0xffff), sent high byte "
          "first; each register holds a 4-byte word and a transfer runs on into the next "
          "registers. Numbers are decimal or 0x hex.",
          "kivctl lens raw get 0x28 4; kivctl lens raw set 0 0xb0 0x04 0 0");
  CLI::App* rget = raw->add_subcommand(
      "get", "Reads LEN bytes from register REG: 'w2 REG r LEN' in one combined request.");
  rget->add_option("REG", a->reg, "register address, 0 to 0xffff")
      ->required()
      ->check(number_up_to(0xFFFF, "a register address (0 to 0xffff)"));
  rget->add_option("LEN", a->length, "bytes to read, 1 to 256")
      ->required()
      ->transform(whole_in(1, 256));
  explain(rget, "Prints the bytes read as hex, such as '0xb0 0x04 0x00 0x00'.",
          "kivctl lens raw get 0 4");
  rget->callback(act(raw_get));
  CLI::App* rset = raw->add_subcommand(
      "set", "Writes BYTES to register REG: the register's two bytes and BYTES as one message.");
  rset->add_option("REG", a->reg, "register address, 0 to 0xffff")
      ->required()
      ->check(number_up_to(0xFFFF, "a register address (0 to 0xffff)"));
  rset->add_option("BYTES", a->bytes, "bytes to write, 0 to 0xff each")
      ->required()
      ->check(number_up_to(0xFF, "a byte (0 to 0xff)"));
  explain(rset, "", "kivctl lens raw set 40 1 0 0 0");
  rset->callback(act(raw_set));
}

}  // namespace kivctl
