// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace kivtest {
namespace {

int redirect(int target, int* saved) {
  std::fflush(nullptr);
  int file = memfd_create("kiv-capture", MFD_CLOEXEC);
  *saved = dup(target);
  dup2(file, target);
  return file;
}

std::string read_back(int file) {
  std::fflush(nullptr);
  std::string out;
  char buf[4096];
  off_t pos = 0;
  ssize_t n;
  while ((n = pread(file, buf, sizeof buf, pos)) > 0) {
    out.append(buf, static_cast<size_t>(n));
    pos += n;
  }
  return out;
}

// Puts the stream back and passes on what was captured, so that nothing
// printed meanwhile (test failures included) is lost.
void restore(int target, int saved, int file) {
  std::string captured = read_back(file);
  dup2(saved, target);
  close(saved);
  close(file);
  if (!captured.empty())
    (void)!::write(target, captured.data(), captured.size());
}

int count_dir(const char* path) {
  int n = 0;
  DIR* d = opendir(path);
  if (!d)
    return -1;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.')
      ++n;
  closedir(d);
  return n - 1;  // the directory's own descriptor, or nothing for tasks
}

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer starts a background thread of its own at the process's
// first thread creation. Starting one thread at load makes it part of every
// count a test takes, so counts before and after agree.
__attribute__((constructor)) void start_sanitizer_thread() {
  std::thread([] {}).join();
}
#endif

}  // namespace

StdoutCapture::StdoutCapture() {
  file_ = redirect(1, &saved_);
}
StdoutCapture::~StdoutCapture() {
  restore(1, saved_, file_);
}
std::string StdoutCapture::text() {
  return read_back(file_);
}

StderrCapture::StderrCapture() {
  file_ = redirect(2, &saved_);
}
StderrCapture::~StderrCapture() {
  restore(2, saved_, file_);
}
std::string StderrCapture::text() {
  return read_back(file_);
}

Bytes read_bytes(int fd, size_t count, std::chrono::milliseconds timeout) {
  Bytes out;
  auto end = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
      break;
    unsigned char buf[4096];
    size_t want = std::min(sizeof buf, count - out.size());
    ssize_t n = read(fd, buf, want);
    if (n <= 0)
      break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

Bytes drain(int fd, std::chrono::milliseconds quiet) {
  Bytes out;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0)
      break;
    unsigned char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0)
      break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

bool write_all(int fd, const void* data, size_t len) {
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    ssize_t n = write(fd, p, len);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EAGAIN) {
        pollfd pf{fd, POLLOUT, 0};
        poll(&pf, 1, 100);
        continue;
      }
      return false;
    }
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

Bytes bytes(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values)
    b.push_back(static_cast<unsigned char>(v));
  return b;
}

std::string hex(const Bytes& b) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", b[i]);
    s += buf;
  }
  return s;
}

int count_open_fds() {
  return count_dir("/proc/self/fd");
}
int count_threads() {
  return count_dir("/proc/self/task") + 1;
}

std::vector<std::string> open_fd_targets() {
  std::vector<std::string> out;
  DIR* d = opendir("/proc/self/fd");
  if (!d)
    return out;
  int own = dirfd(d);
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.' || std::atoi(e->d_name) == own)
      continue;
    char link[300], target[256] = {0};
    std::snprintf(link, sizeof link, "/proc/self/fd/%s", e->d_name);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0)
      target[n] = 0;
    out.push_back(std::string(e->d_name) + " -> " + target);
  }
  closedir(d);
  return out;
}

}  // namespace kivtest
