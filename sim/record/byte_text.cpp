// SPDX-License-Identifier: MIT
#include "byte_text.h"

#include <cctype>
#include <cstdio>

namespace kivsim {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string hex_bytes(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    if (!out.empty())
      out += ' ';
    out += buf;
  }
  return out;
}

bool parse_hex_bytes(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ')
      continue;
    int hi = hex_digit(text[i]);
    int lo = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
    if (hi < 0 || lo < 0)
      return false;
    out += static_cast<char>(hi * 16 + lo);
    ++i;
  }
  return !out.empty();
}

std::string quoted_text(const std::string& bytes) {
  std::string out = "\"";
  char buf[8];
  for (unsigned char c : bytes) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else {
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        }
    }
  }
  return out + "\"";
}

bool is_text(const std::string& bytes) {
  for (unsigned char c : bytes)
    if (!((c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t'))
      return false;
  return true;
}

bool decode_escapes(const std::string& text, std::string& out, std::string& error) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) {
      error = "text ends in a lone backslash";
      return false;
    }
    switch (text[i]) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '0':
        out += '\0';
        break;
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'x': {
        int hi = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
        if (hi < 0) {
          error = "\\x needs a hex digit";
          return false;
        }
        ++i;
        int value = hi;
        int lo = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
        if (lo >= 0) {
          value = hi * 16 + lo;
          ++i;
        }
        out += static_cast<char>(value);
        break;
      }
      default:
        error = std::string("unknown escape \\") + text[i];
        return false;
    }
  }
  return true;
}

}  // namespace kivsim
