// SPDX-License-Identifier: MIT
// The I2C layer's entry points, defined in place of the C library's: opening
// "/dev/i2c-5" and the calls on what that returns go to the simulated device;
// everything else goes on to the next definition (the C library, or a
// sanitizer runtime before it) unchanged.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

#include "layer.h"

// The fortified forms, declared by the C library's headers only when
// fortification is on.
extern "C" {
int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int dirfd, const char* path, int flags);
int __openat64_2(int dirfd, const char* path, int flags);
}

namespace {

using kivsim::i2c::detail::claimed_path;
using kivsim::i2c::detail::device_open;

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using Open2Fn = int (*)(const char*, int);
using OpenAt2Fn = int (*)(int, const char*, int);
using CloseFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, ...);

template <typename Fn>
Fn lookup(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// Missing in the next library (a fortified form on an older C library).
int missing() {
  errno = ENOSYS;
  return -1;
}

// The mode argument is there only when the flags create a file.
bool takes_mode(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

unsigned mode_of(int flags, va_list args) {
  return takes_mode(flags) ? va_arg(args, unsigned) : 0;
}

// The device is claimed by its absolute path, which makes the kernel ignore
// the folder descriptor too.
bool claimed_at(int dirfd, const char* path) {
  (void)dirfd;
  return claimed_path(path);
}

}  // namespace

namespace kivsim {
namespace i2c {
namespace detail {

int next_open(const char* path, int flags, unsigned mode) {
  static const OpenFn fn = lookup<OpenFn>("open");
  return fn ? fn(path, flags, mode) : missing();
}

int next_close(int fd) {
  static const CloseFn fn = lookup<CloseFn>("close");
  return fn ? fn(fd) : missing();
}

int next_ioctl(int fd, unsigned long request, void* arg) {
  static const IoctlFn fn = lookup<IoctlFn>("ioctl");
  return fn ? fn(fd, request, arg) : missing();
}

}  // namespace detail
}  // namespace i2c
}  // namespace kivsim

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const unsigned mode = mode_of(flags, args);
  va_end(args);
  if (claimed_path(path))
    return device_open(flags);
  return kivsim::i2c::detail::next_open(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const unsigned mode = mode_of(flags, args);
  va_end(args);
  if (claimed_path(path))
    return device_open(flags);
  static const OpenFn fn = lookup<OpenFn>("open64");
  return fn ? fn(path, flags, mode) : missing();
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const unsigned mode = mode_of(flags, args);
  va_end(args);
  if (claimed_at(dirfd, path))
    return device_open(flags);
  static const OpenAtFn fn = lookup<OpenAtFn>("openat");
  return fn ? fn(dirfd, path, flags, mode) : missing();
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const unsigned mode = mode_of(flags, args);
  va_end(args);
  if (claimed_at(dirfd, path))
    return device_open(flags);
  static const OpenAtFn fn = lookup<OpenAtFn>("openat64");
  return fn ? fn(dirfd, path, flags, mode) : missing();
}

int __open_2(const char* path, int flags) {
  if (claimed_path(path))
    return device_open(flags);
  static const Open2Fn fn = lookup<Open2Fn>("__open_2");
  return fn ? fn(path, flags) : missing();
}

int __open64_2(const char* path, int flags) {
  if (claimed_path(path))
    return device_open(flags);
  static const Open2Fn fn = lookup<Open2Fn>("__open64_2");
  return fn ? fn(path, flags) : missing();
}

int __openat_2(int dirfd, const char* path, int flags) {
  if (claimed_at(dirfd, path))
    return device_open(flags);
  static const OpenAt2Fn fn = lookup<OpenAt2Fn>("__openat_2");
  return fn ? fn(dirfd, path, flags) : missing();
}

int __openat64_2(int dirfd, const char* path, int flags) {
  if (claimed_at(dirfd, path))
    return device_open(flags);
  static const OpenAt2Fn fn = lookup<OpenAt2Fn>("__openat64_2");
  return fn ? fn(dirfd, path, flags) : missing();
}

int close(int fd) {
  return kivsim::i2c::detail::device_close(fd);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  return kivsim::i2c::detail::device_ioctl(fd, request, arg);
}

}  // extern "C"
