// SPDX-License-Identifier: MIT
// A real peer: pyserial writes 1 MiB of random bytes into one end of a socat
// pseudo-terminal pair; "/dev/com1" is the other end, and every byte arrives
// through a data callback.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <random>

#include "serial_fixture.h"

extern char** environ;

namespace kivtest {
namespace {

// Starts `argv`; its output goes to /dev/null when `quiet`. -1 on failure.
pid_t spawn(const std::vector<std::string>& argv, bool quiet) {
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// The exit status of `pid`, or -1 when it did not exit normally.
int wait_exit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

bool succeeds(const std::vector<std::string>& argv) {
  const pid_t pid = spawn(argv, true);
  return pid > 0 && wait_exit(pid) == 0;
}

// A Python with pyserial: Debian's python3-serial installs it for the system's
// interpreter, which another python3 earlier on the path may not see.
std::string python_with_pyserial() {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (succeeds({python, "-c", "import serial"}))
      return python;
  return "";
}

// Where a link points, or "" while it does not exist.
std::string resolved(const std::string& link) {
  char path[PATH_MAX];
  return realpath(link.c_str(), path) != nullptr ? path : "";
}

// Collects what the data callback receives into room made beforehand.
struct Sink {
  Bytes bytes;
  std::atomic<size_t> filled{0};
  std::atomic<size_t> overflow{0};
};

void collect(const unsigned char* data, int len, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t at = sink->filled.load();
  const size_t room = sink->bytes.size() - at;
  const size_t n = std::min(room, static_cast<size_t>(len));
  std::copy(data, data + n, sink->bytes.begin() + static_cast<long>(at));
  sink->overflow += static_cast<size_t>(len) - n;
  sink->filled = at + n;
}

TEST(SerialRealPeer, PyserialSendsAMebibyteThatArrivesIntact) {
  KIV_REQUIRE_SANDBOX();
  const std::string python = python_with_pyserial();
  if (python.empty())
    GTEST_SKIP() << "pyserial is not installed (Debian package python3-serial)";
  if (!succeeds({"socat", "-V"}))
    GTEST_SKIP() << "socat is not installed (Debian package socat)";
  const int fds_before = count_open_fds();
  const int threads_before = count_threads();

  const std::string dir = kivsim::Sandbox::scratch_dir();
  const std::string library_end = dir + "/library_end";
  const std::string peer_end = dir + "/peer_end";
  const std::string data_file = dir + "/peer_data.bin";
  const pid_t socat = spawn(
      {"socat", "pty,raw,echo=0,link=" + library_end, "pty,raw,echo=0,link=" + peer_end}, true);
  ASSERT_GT(socat, 0);
  ASSERT_TRUE(
      wait_until([&] { return !resolved(library_end).empty() && !resolved(peer_end).empty(); }));
  // Held open here, so that socat sees no hang-up while neither the library
  // nor pyserial has its end open.
  const int keep_library_end = open(library_end.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const int keep_peer_end = open(peer_end.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(keep_library_end, 0);
  ASSERT_GE(keep_peer_end, 0);
  kivsim::Sandbox::remove_port(com1);
  ASSERT_EQ(symlink(resolved(library_end).c_str(), com1), 0);

  std::mt19937 random(20240611u);
  Bytes data(1 << 20);
  for (auto& b : data)
    b = static_cast<unsigned char>(random() & 0xFF);
  {
    std::ofstream out(data_file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good());
  }
  Sink sink;
  sink.bytes.resize(data.size());
  {
    StdoutCapture out;
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  }
  ASSERT_EQ(SetReadSerialPortDataCallback(collect, &sink, 0), 0);

  const pid_t peer = spawn({python, KIV_PYSERIAL_PEER, resolved(peer_end), data_file}, false);
  ASSERT_GT(peer, 0);
  const bool all_came =
      wait_until([&] { return sink.filled.load() == data.size(); }, std::chrono::seconds(60));
  EXPECT_EQ(wait_exit(peer), 0) << "pyserial peer failed";
  EXPECT_TRUE(all_came) << sink.filled.load() << " of " << data.size() << " bytes";
  usleep(100000);
  SerialPortFree(0);
  EXPECT_EQ(sink.overflow.load(), 0u);
  EXPECT_TRUE(sink.bytes == data) << "the bytes received differ from those sent";

  kill(socat, SIGTERM);
  wait_exit(socat);
  close(keep_library_end);
  close(keep_peer_end);
  unlink(com1);
  EXPECT_EQ(count_open_fds(), fds_before);
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before; }));
}

}  // namespace
}  // namespace kivtest
