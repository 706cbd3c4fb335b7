// SPDX-License-Identifier: MIT
// Simulated board: how the I2C layer in a program asks a bus held by another
// process (the launcher) over a Unix stream socket, one socket per open
// descriptor of "/dev/i2c-5". Each request is one text line answered by one:
//   "open"                                 -> "ok" | "error <errno>"
//   "rdwr <count> <addr>:<flags>:<len>[:<hex bytes written>] ..."
//                                          -> "<result>[ <hex bytes read> ...]"
// Numbers are decimal, except addr, flags and the bytes (hex). The reply to
// rdwr carries the bytes of each read message when the result is not negative.
// Closing the socket closes the descriptor.
#pragma once

#include <string>
#include <vector>

#include "i2c_bus.h"

namespace kivsim {
namespace i2c {

// The environment variable that names the launcher's socket.
constexpr char kSocketVariable[] = "KIV_SIM_I2C_SOCKET";
// The environment variable with the adapter's functions that I2C_FUNCS answers
// (a number, 0x... for hex); I2C_FUNC_I2C when unset.
constexpr char kFuncsVariable[] = "KIV_SIM_I2C_FUNCS";
constexpr char kOpenRequest[] = "open";

std::string encode_request(unsigned requested, const std::vector<Message>& messages);
// False when `line` is no rdwr request of the form above.
bool decode_request(const std::string& line, unsigned& requested, std::vector<Message>& messages);
std::string encode_reply(int result, const std::vector<Message>& messages);
// Takes the result and, on success, the bytes of each read message of
// `messages` (those sent with the request). False when the line does not fit.
bool decode_reply(const std::string& line, int& result, std::vector<Message>& messages);

}  // namespace i2c
}  // namespace kivsim
