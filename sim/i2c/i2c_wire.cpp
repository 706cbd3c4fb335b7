// SPDX-License-Identifier: MIT
#include "i2c_wire.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace kivsim {
namespace i2c {
namespace {

const char kHex[] = "0123456789ABCDEF";

void append_hex(std::string& out, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool parse_hex(const std::string& text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0)
    return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0)
      return false;
    bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

bool parse_number(const std::string& text, int base, long low, long high, long& value) {
  if (text.empty())
    return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, base);
  // The whole word: a zero byte inside it does not end the number.
  return end == text.c_str() + text.size() && errno == 0 && value >= low && value <= high;
}

bool parse_message(const std::string& word, Message& m) {
  std::vector<std::string> parts;
  std::istringstream in(word);
  for (std::string part; std::getline(in, part, ':');)
    parts.push_back(part);
  long addr = 0, flags = 0, len = 0;
  if (parts.size() < 3 || parts.size() > 4 || !parse_number(parts[0], 16, 0, 0xFFFF, addr) ||
      !parse_number(parts[1], 16, 0, 0xFFFF, flags) || !parse_number(parts[2], 10, 0, 0xFFFF, len))
    return false;
  m.addr = static_cast<uint16_t>(addr);
  m.flags = static_cast<uint16_t>(flags);
  m.len = static_cast<uint16_t>(len);
  m.data.clear();
  if (parts.size() < 4)
    return true;
  // Only a write carries its bytes; a read's come back in the reply.
  return !m.is_read() && parse_hex(parts[3], m.data);
}

}  // namespace

std::string encode_request(unsigned requested, const std::vector<Message>& messages) {
  std::string out = "rdwr " + std::to_string(requested);
  char head[32];
  for (const Message& m : messages) {
    std::snprintf(head, sizeof head, " %X:%X:%u", m.addr, m.flags, m.len);
    out += head;
    if (!m.is_read()) {
      out += ':';
      append_hex(out, m.data);
    }
  }
  return out;
}

bool decode_request(const std::string& line, unsigned& requested, std::vector<Message>& messages) {
  std::istringstream in(line);
  std::string verb, count;
  long n = 0;
  if (!(in >> verb >> count) || verb != "rdwr" || !parse_number(count, 10, 0, 1L << 30, n))
    return false;
  requested = static_cast<unsigned>(n);
  messages.clear();
  for (std::string word; in >> word;) {
    Message m;
    if (!parse_message(word, m))
      return false;
    messages.push_back(m);
  }
  return true;
}

std::string encode_reply(int result, const std::vector<Message>& messages) {
  std::string out = std::to_string(result);
  if (result < 0)
    return out;
  for (const Message& m : messages) {
    if (!m.is_read())
      continue;
    out += ' ';
    append_hex(out, m.data);
  }
  return out;
}

bool decode_reply(const std::string& line, int& result, std::vector<Message>& messages) {
  std::istringstream in(line);
  std::string word;
  long value = 0;
  if (!(in >> word) || !parse_number(word, 10, -4095, 1L << 30, value))
    return false;
  result = static_cast<int>(value);
  if (result < 0)
    return true;
  for (Message& m : messages) {
    if (!m.is_read())
      continue;
    if (!(in >> word) || !parse_hex(word, m.data) || m.data.size() != m.len)
      return false;
  }
  return true;
}

}  // namespace i2c
}  // namespace kivsim
