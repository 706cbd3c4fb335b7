// SPDX-License-Identifier: MIT
// The I2C layer's parts behind the entry points it puts in place of the C
// library's. Internal.
#pragma once

#include <mutex>

#include "i2c_bus.h"

namespace kivsim {
namespace i2c {
namespace detail {

// The C library's functions (or the next interposer's, such as a sanitizer
// runtime's), looked up once.
int next_open(const char* path, int flags, unsigned mode);
int next_close(int fd);
int next_ioctl(int fd, unsigned long request, void* arg);

// Whether `path` is the device the layer claims. A null path is not.
bool claimed_path(const char* path);

// The descriptors the layer has handed out. Each is a real descriptor (a
// memory file, or the socket to the bus's holder) so that its number is
// taken; it is known again by number and by the file it refers to, so a
// number the program closed some other way and got back for another file is
// not mistaken for it.
bool is_claimed(int fd, bool* remote = nullptr);
// False when the table is full.
bool add_claimed(int fd, bool remote);
// Forgets `fd`; false when it was not claimed.
bool drop_claimed(int fd);
int claimed_count();
void count_bad_descriptor();
int bad_descriptor_calls();

// The device behind the descriptors: open, one request, close. Each returns
// what the system call would and sets errno on failure.
int device_open(int flags);
int device_ioctl(int fd, unsigned long request, void* arg);
int device_close(int fd);

// The bus of this process (when no other process holds it), under its mutex.
struct LocalBus {
  std::mutex mutex;
  Bus bus;
};
LocalBus& local_bus();

}  // namespace detail
}  // namespace i2c
}  // namespace kivsim
