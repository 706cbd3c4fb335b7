// SPDX-License-Identifier: MIT
// The descriptors the I2C layer has handed out.
#include <pthread.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>

#include "layer.h"

namespace kivsim {
namespace i2c {
namespace detail {
namespace {

struct Claimed {
  int fd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  bool remote = false;
};

// More than a program of this device ever holds at once; past it, open fails
// with EMFILE.
constexpr int kMaxClaimed = 64;

// Guards the table; held only for a lookup or change, never across a call
// that may block, since every close in the process passes through here.
std::mutex g_mutex;
Claimed g_claimed[kMaxClaimed];
int g_bad_calls = 0;

bool same_file(const Claimed& c, const struct stat& st) {
  return c.dev == st.st_dev && c.ino == st.st_ino;
}

// Every close in the process passes through here, a forked child's too: the
// table must not stay locked in a child forked while another thread held it.
std::unique_lock<std::mutex> lock_table() {
  static const bool fork_safe = [] {
    pthread_atfork([] { g_mutex.lock(); }, [] { g_mutex.unlock(); }, [] { g_mutex.unlock(); });
    return true;
  }();
  (void)fork_safe;
  return std::unique_lock<std::mutex>(g_mutex);
}

Claimed* find(int fd) {
  for (Claimed& c : g_claimed)
    if (c.fd == fd && fd >= 0)
      return &c;
  return nullptr;
}

}  // namespace

bool claimed_path(const char* path) {
  return path && std::strcmp(path, kDevicePath) == 0;
}

bool is_claimed(int fd, bool* remote) {
  if (fd < 0)
    return false;
  auto lock = lock_table();
  Claimed* c = find(fd);
  if (!c)
    return false;
  // fstat does not block on the layer's own files, so it may run under the lock.
  struct stat st;
  if (fstat(fd, &st) != 0 || !same_file(*c, st)) {
    // Closed behind the layer's back; the number now belongs to another file.
    *c = Claimed();
    return false;
  }
  if (remote)
    *remote = c->remote;
  return true;
}

bool add_claimed(int fd, bool remote) {
  struct stat st;
  if (fstat(fd, &st) != 0)
    return false;
  auto lock = lock_table();
  Claimed* slot = find(fd);
  for (Claimed& c : g_claimed)
    if (!slot && c.fd < 0)
      slot = &c;
  if (!slot)
    return false;
  *slot = Claimed{fd, st.st_dev, st.st_ino, remote};
  return true;
}

bool drop_claimed(int fd) {
  auto lock = lock_table();
  Claimed* c = find(fd);
  if (!c)
    return false;
  *c = Claimed();
  return true;
}

int claimed_count() {
  auto lock = lock_table();
  int n = 0;
  for (const Claimed& c : g_claimed)
    n += c.fd >= 0 ? 1 : 0;
  return n;
}

void count_bad_descriptor() {
  auto lock = lock_table();
  ++g_bad_calls;
}

int bad_descriptor_calls() {
  auto lock = lock_table();
  return g_bad_calls;
}

}  // namespace detail
}  // namespace i2c
}  // namespace kivsim
