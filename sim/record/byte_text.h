// SPDX-License-Identifier: MIT
// Bytes shown to a person: as hex, and as quoted text with escapes.
#pragma once

#include <string>

namespace kivsim {

// "43 2D 00 18" (upper-case hex, one blank between bytes).
std::string hex_bytes(const std::string& bytes);
// "\"hello\\r\\n\"": printable ASCII as it is, \r \n \t \\ \" escaped, any
// other byte as \xHH.
std::string quoted_text(const std::string& bytes);
// True when every byte is printable ASCII, CR, LF or tab.
bool is_text(const std::string& bytes);
// Reads "43 2D 00 18" (hex digits in pairs, either case, blanks anywhere
// between pairs) back into its bytes. False for anything else, or no bytes.
bool parse_hex_bytes(const std::string& text, std::string& out);
// Turns the escapes \r \n \t \\ \" \0 and \xHH (one or two hex digits) into
// bytes. Returns false, with `error` set, for an unknown or unfinished escape.
bool decode_escapes(const std::string& text, std::string& out, std::string& error);

}  // namespace kivsim
