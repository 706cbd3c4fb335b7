// SPDX-License-Identifier: MIT
#include "i2c_bus.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kivsim {
namespace i2c {

int Bus::transfer(unsigned requested, std::vector<Message>& messages) {
  Transfer record;
  record.requested = requested;
  record.result = carry(requested, messages, record);
  record.messages = messages;
  if (log_.size() >= kMaxRecorded)
    log_.erase(log_.begin(), log_.begin() + static_cast<long>(kMaxRecorded / 2));
  log_.push_back(std::move(record));
  return log_.back().result;
}

int Bus::carry(unsigned requested, std::vector<Message>& messages, Transfer& record) {
  if (requested == 0 || requested > kMaxMessages || messages.size() != requested)
    return -EINVAL;
  for (const Message& m : messages)
    if (m.len > kMaxMessageBytes || (m.is_read() && m.len == 0) ||
        (!m.is_read() && m.data.size() != m.len))
      return -EINVAL;
  if (!present_)
    return -ENODEV;
  if (stuck_)
    return -ETIMEDOUT;
  for (size_t i = 0; i < messages.size(); ++i) {
    Message& m = messages[i];
    const bool acked =
        m.addr == LensController::kAddress && !(m.flags & kFlagTenBit) && lens_.answering();
    if (!acked) {
      record.refused_message = static_cast<int>(i);
      return -EREMOTEIO;
    }
    if (m.is_read()) {
      m.data.resize(m.len);
      lens_.read(m.data.data(), m.len);
    } else if (!lens_.write(m.data.data(), m.data.size())) {
      record.refused_message = static_cast<int>(i);
      // The register number is known once both its bytes are in.
      record.refused_byte = 1;
      return -EREMOTEIO;
    }
  }
  return static_cast<int>(messages.size());
}

void Bus::reset() {
  lens_.reset();
  present_ = true;
  stuck_ = false;
  log_.clear();
}

std::string describe_message(const Message& m) {
  char head[48];
  std::snprintf(head, sizeof head, "%s %02X", m.is_read() ? "read" : "write", m.addr);
  std::string out = head;
  if (m.flags & ~kFlagRead) {
    std::snprintf(head, sizeof head, " flags %04X", m.flags);
    out += head;
  }
  if (m.is_read() && m.data.empty())
    return out + " (" + std::to_string(m.len) + " bytes)";
  out += " [";
  for (size_t i = 0; i < m.data.size(); ++i) {
    std::snprintf(head, sizeof head, i ? " %02X" : "%02X", m.data[i]);
    out += head;
  }
  return out + "]";
}

std::string describe_transfer(const Transfer& t) {
  std::string out;
  for (const Message& m : t.messages)
    out += (out.empty() ? "" : ", ") + describe_message(m);
  if (t.messages.empty())
    out = std::to_string(t.requested) + " messages";
  if (t.result >= 0)
    return out + " -> ok";
  const int error = -t.result;
  const char* name = error == EINVAL      ? "EINVAL"
                     : error == EREMOTEIO ? "EREMOTEIO"
                     : error == ETIMEDOUT ? "ETIMEDOUT"
                     : error == ENODEV    ? "ENODEV"
                                          : "error";
  return out + " -> " + name + " (" + std::strerror(error) + ")";
}

}  // namespace i2c
}  // namespace kivsim
