// SPDX-License-Identifier: MIT
// The simulated "/dev/i2c-5" behind the layer's entry points: what open,
// ioctl and close do on it, with the bus held here or by another process.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "i2c_wire.h"
#include "layer.h"
#include "remote_bus.h"

namespace kivsim {
namespace i2c {
namespace detail {
namespace {

int fail(int error) {
  errno = error;
  return -1;
}

const char* remote_socket() {
  const char* path = std::getenv(kSocketVariable);
  return path && *path ? path : nullptr;
}

int local_transfer(unsigned requested, std::vector<Message>& messages) {
  LocalBus& local = local_bus();
  std::lock_guard<std::mutex> lock(local.mutex);
  return local.bus.transfer(requested, messages);
}

// The request as the kernel copies it in; EFAULT for a buffer it could not
// read. Messages are taken only when their count can be carried at all.
int take_request(const i2c_rdwr_ioctl_data& request, std::vector<Message>& messages) {
  if (!request.msgs || request.nmsgs > kMaxMessages)
    return 0;
  for (unsigned i = 0; i < request.nmsgs; ++i) {
    const i2c_msg& m = request.msgs[i];
    if (!m.buf && m.len > 0)
      return -EFAULT;
    Message taken;
    taken.addr = m.addr;
    taken.flags = m.flags;
    taken.len = m.len;
    if (!taken.is_read() && m.len <= kMaxMessageBytes)
      taken.data.assign(m.buf, m.buf + m.len);
    messages.push_back(std::move(taken));
  }
  return 0;
}

int read_write(int fd, bool remote, void* arg) {
  if (!arg)
    return fail(EFAULT);
  const auto& request = *static_cast<const i2c_rdwr_ioctl_data*>(arg);
  std::vector<Message> messages;
  int result = take_request(request, messages);
  if (result == 0)
    result = remote ? remote_transfer(fd, request.nmsgs, messages)
                    : local_transfer(request.nmsgs, messages);
  if (result < 0)
    return fail(-result);
  // As the kernel, the bytes read reach the caller only when all went well.
  for (unsigned i = 0; i < request.nmsgs; ++i)
    if (messages[i].is_read())
      std::memcpy(request.msgs[i].buf, messages[i].data.data(),
                  std::min<size_t>(messages[i].data.size(), request.msgs[i].len));
  return result;
}

}  // namespace

LocalBus& local_bus() {
  // Never destroyed: descriptors may still be closed while the process exits.
  static LocalBus* local = new LocalBus;
  return *local;
}

int device_open(int flags) {
  const bool cloexec = (flags & O_CLOEXEC) != 0;
  const char* socket_path = remote_socket();
  int fd = -1;
  if (socket_path) {
    fd = remote_open(socket_path, cloexec);
  } else {
    {
      LocalBus& local = local_bus();
      std::lock_guard<std::mutex> lock(local.mutex);
      if (!local.bus.present())
        return fail(ENOENT);
    }
    // Any file of its own would do: it holds the descriptor's number.
    fd = memfd_create("kiv-sim-i2c-5", cloexec ? MFD_CLOEXEC : 0);
  }
  if (fd < 0)
    return -1;
  if (!add_claimed(fd, socket_path != nullptr)) {
    next_close(fd);
    return fail(EMFILE);
  }
  return fd;
}

// What the adapter says it can do (I2C_FUNCS): combined transfers, as bus 5
// of the board, unless the environment plays another adapter.
unsigned long adapter_functions() {
  const char* text = std::getenv(kFuncsVariable);
  if (!text || !*text)
    return I2C_FUNC_I2C;
  return std::strtoul(text, nullptr, 0);
}

int device_ioctl(int fd, unsigned long request, void* arg) {
  bool remote = false;
  if (fd < 0)
    count_bad_descriptor();
  if (!is_claimed(fd, &remote))
    return next_ioctl(fd, request, arg);
  switch (request) {
    case I2C_RDWR:
      return read_write(fd, remote, arg);
    case I2C_FUNCS:
      if (!arg)
        return fail(EFAULT);
      *static_cast<unsigned long*>(arg) = adapter_functions();
      return 0;
    default:
      return fail(ENOTTY);
  }
}

int device_close(int fd) {
  if (fd < 0)
    count_bad_descriptor();
  // A remote descriptor is the socket: closing it tells the bus's holder.
  drop_claimed(fd);
  return next_close(fd);
}

}  // namespace detail
}  // namespace i2c
}  // namespace kivsim
