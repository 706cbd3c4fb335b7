// SPDX-License-Identifier: MIT
// The bus held by another process (the launcher), reached over the socket
// named by KIV_SIM_I2C_SOCKET (protocol in i2c_wire.h). Internal.
#pragma once

#include <vector>

#include "i2c_bus.h"

namespace kivsim {
namespace i2c {
namespace detail {

// Connects a socket of its own for one open descriptor and asks to open the
// device. Returns the socket, or -1 with errno (the holder's answer, or why
// it could not be reached).
int remote_open(const char* socket_path, bool cloexec);
// Carries one request over the descriptor's socket. Returns as Bus::transfer;
// -EIO when the holder is gone or answers nonsense, -ETIMEDOUT when it does
// not answer in time.
int remote_transfer(int sock, unsigned requested, std::vector<Message>& messages);

}  // namespace detail
}  // namespace i2c
}  // namespace kivsim
