// SPDX-License-Identifier: MIT
// Bytes as a person types and reads them on a serial line.
#pragma once

#include <string>

namespace kivctl {

// Text with the escapes \r, \n, \t, \\ and \xHH taken as their bytes. False
// with `error` for an escape that is none of those.
bool unescape(const std::string& text, std::string& bytes, std::string& error);
// Hex byte pairs, with or without blanks between them ("4F 4B", "4f4b").
bool parse_hex(const std::string& text, std::string& bytes, std::string& error);
// "4F 4B 0D 0A"
std::string hex_of(const std::string& bytes);
// The bytes in double quotes, with escapes for what is not printable:
// "\"OK\\r\\n\"".
std::string quoted(const std::string& bytes);

}  // namespace kivctl
