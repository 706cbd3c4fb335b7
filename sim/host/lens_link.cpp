// SPDX-License-Identifier: MIT
#include "lens_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "i2c_wire.h"

namespace kivsim {
namespace {

std::string word_text(const LensController::Word& w) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", w[0], w[1], w[2], w[3]);
  return text;
}

}  // namespace

bool LensLink::listen(const std::string& path, std::string& error) {
  if (!server_.listen(path, error))
    return false;
  shown_registers_ = describe_registers(bus_.lens());
  return true;
}

void LensLink::accept_client(EventLog& log) {
  std::string note;
  // The layer's open fails on the closed socket of one refused.
  if (!server_.accept_client(note) && server_.client_count() >= kMaxClients)
    log.note(EventSource::kI2c, EventKind::kOpen,
             "open refused: " + std::to_string(kMaxClients) + " descriptors already open");
}

void LensLink::on_readable(int fd, EventLog& log) {
  std::vector<std::string> lines;
  bool open = server_.read_client(fd, lines);
  for (const std::string& line : lines) {
    // A request is carried out even when its client has gone meanwhile.
    const std::string reply = answer(line, log) + "\n";
    if (open && !server_.send_to(fd, reply)) {
      server_.drop(fd);
      open = false;
      break;
    }
  }
  if (!open)
    log.note(EventSource::kI2c, EventKind::kClose, "close /dev/i2c-5");
}

std::string LensLink::answer(const std::string& line, EventLog& log) {
  if (line == i2c::kOpenRequest) {
    if (!bus_.present()) {
      log.note(EventSource::kI2c, EventKind::kOpen, "open /dev/i2c-5: no such device (ENOENT)");
      return "error " + std::to_string(ENOENT);
    }
    log.note(EventSource::kI2c, EventKind::kOpen, "open /dev/i2c-5");
    return "ok";
  }
  unsigned requested = 0;
  std::vector<i2c::Message> messages;
  if (!i2c::decode_request(line, requested, messages)) {
    log.note(EventSource::kI2c, EventKind::kUnknown,
             "unknown request \"" + line.substr(0, 80) + "\"");
    return std::to_string(-EINVAL);
  }
  int result = bus_.transfer(requested, messages);
  ++carried_;
  if (result < 0)
    ++failed_;
  Event e = log.make(EventSource::kI2c, EventKind::kTransfer,
                     i2c::describe_transfer(bus_.transfers().back()));
  e.result = result;
  log.post(std::move(e));
  show_registers_if_changed(log);
  return i2c::encode_reply(result, messages);
}

void LensLink::execute(const Command& cmd, EventLog& log) {
  std::string effect;
  switch (cmd.lens) {
    case LensAction::kSet:
      effect = bus_.lens().set_word(cmd.reg, cmd.word)
                   ? "register " + std::to_string(cmd.reg) + " <- " + word_text(cmd.word)
                   : "no register " + std::to_string(cmd.reg) + " (0 to " +
                         std::to_string(LensController::kRegisters - 1) + ")";
      break;
    case LensAction::kNack:
      bus_.lens().set_answering(false);
      effect = "the lens controller stops answering";
      break;
    case LensAction::kStuck:
      bus_.set_stuck(true);
      effect = "the bus is stuck";
      break;
    case LensAction::kMend:
      bus_.set_stuck(false);
      bus_.lens().set_answering(true);
      effect = "the bus is mended and the lens controller answers";
      break;
    case LensAction::kRemove:
      bus_.set_present(false);
      effect = "/dev/i2c-5 removed";
      break;
    case LensAction::kAttach:
      bus_.set_present(true);
      effect = "/dev/i2c-5 back";
      break;
  }
  // The bus as the command left it, for whoever draws or judges it.
  Event e = log.make(EventSource::kI2c, EventKind::kBus, effect);
  e.bus.present = bus_.present();
  e.bus.stuck = bus_.stuck();
  e.bus.answering = bus_.lens().answering();
  log.post(std::move(e));
  show_registers_if_changed(log);
}

void LensLink::show_registers_if_changed(EventLog& log) {
  std::string now = describe_registers(bus_.lens());
  if (now == shown_registers_)
    return;
  shown_registers_ = now;
  Event e = log.make(EventSource::kI2c, EventKind::kRegisters, "registers: " + now);
  e.lens_value = bus_.lens().lens_value();
  const LensController::Word vtemp = bus_.lens().word(LensController::kVTempRegister);
  e.vtemp = vtemp[0] + 256 * vtemp[1];
  log.post(std::move(e));
}

std::string LensLink::summary() const {
  return std::to_string(carried_) + " transfer" + (carried_ == 1 ? "" : "s") + " (" +
         std::to_string(failed_) + " failed); " + describe_registers(bus_.lens());
}

}  // namespace kivsim
