// SPDX-License-Identifier: MIT
#include "byte_words.h"

#include <cstdio>

namespace kivctl {
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

bool unescape(const std::string& text, std::string& bytes, std::string& error) {
  bytes.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    char c = i + 1 < text.size() ? text[++i] : '\0';
    if (c == 'r') {
      bytes += '\r';
    } else if (c == 'n') {
      bytes += '\n';
    } else if (c == 't') {
      bytes += '\t';
    } else if (c == '\\') {
      bytes += '\\';
    } else if (c == 'x' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 &&
               hex_digit(text[i + 2]) >= 0) {
      bytes += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
      i += 2;
    } else {
      error = "'" + text + "': unknown escape at character " + std::to_string(i) +
              " (\\r, \\n, \\t, \\\\ and \\xHH are known)";
      return false;
    }
  }
  return true;
}

bool parse_hex(const std::string& text, std::string& bytes, std::string& error) {
  bytes.clear();
  std::string digits;
  bool only_hex = true;
  for (char c : text) {
    if (c == ' ')
      continue;
    only_hex = only_hex && hex_digit(c) >= 0;
    digits += c;
  }
  if (!only_hex || digits.empty() || digits.size() % 2 != 0) {
    error = "'" + text + "' is no list of hex bytes (such as \"4F 4B 0D 0A\")";
    return false;
  }
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes += static_cast<char>(hex_digit(digits[i]) * 16 + hex_digit(digits[i + 1]));
  return true;
}

std::string hex_of(const std::string& bytes) {
  std::string out;
  char pair[4];
  for (unsigned char b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    if (!out.empty())
      out += ' ';
    out += pair;
  }
  return out;
}

std::string quoted(const std::string& bytes) {
  std::string out = "\"";
  char esc[8];
  for (unsigned char b : bytes) {
    if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\t') {
      out += "\\t";
    } else if (b == '\\' || b == '"') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b < 0x20 || b >= 0x7F) {
      std::snprintf(esc, sizeof esc, "\\x%02X", b);
      out += esc;
    } else {
      out += static_cast<char>(b);
    }
  }
  return out + "\"";
}

}  // namespace kivctl
