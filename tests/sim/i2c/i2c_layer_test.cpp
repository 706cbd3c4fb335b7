// SPDX-License-Identifier: MIT
// The I2C layer as a program sees it: "/dev/i2c-5" answers I2C_RDWR by the
// kernel's rules, and every other path and descriptor is left alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "i2c_sim.h"
#include "test_support.h"

extern "C" int __open_2(const char* path, int flags);

namespace i2c = kivsim::i2c;

namespace {

i2c_msg message(uint16_t addr, uint16_t flags, std::vector<unsigned char>& buf) {
  return i2c_msg{addr, flags, static_cast<uint16_t>(buf.size()), buf.data()};
}

// ioctl's result, or -errno.
int rdwr(int fd, i2c_msg* msgs, unsigned count) {
  i2c_rdwr_ioctl_data data = {msgs, count};
  return ioctl(fd, I2C_RDWR, &data) < 0 ? -errno : 0;
}

TEST(I2cLayer, RequestsFollowTheKernelsRules) {
  std::vector<unsigned char> reg0 = {0x00, 0x00, 1, 2, 3, 4}, addr0 = {0x00, 0x00},
                             outside = {0x00, 0x40, 9, 9, 9, 9}, empty, big(8193, 0),
                             word = {0xAA, 0xAA, 0xAA, 0xAA};
  std::vector<i2c_msg> many(43, message(0x18, 0, addr0));
  const struct {
    const char* name;
    std::vector<i2c_msg> msgs;
    unsigned count;  // taken as the request's count, with msgs.data() (null when empty)
    int result;
  } cases[] = {
      {"no messages", {}, 0, -EINVAL},
      {"messages missing", {}, 1, -EINVAL},
      {"43 messages", many, 43, -EINVAL},
      {"zero-length read", {message(0x18, I2C_M_RD, empty)}, 1, -EINVAL},
      {"write past 8192 bytes", {message(0x18, 0, big)}, 1, -EINVAL},
      {"another address", {message(0x19, 0, reg0)}, 1, -EREMOTEIO},
      {"ten-bit address", {message(0x18, I2C_M_TEN, reg0)}, 1, -EREMOTEIO},
      {"register outside the file", {message(0x18, 0, outside)}, 1, -EREMOTEIO},
      {"read to no one after a write",
       {message(0x18, 0, reg0), message(0x19, I2C_M_RD, word)},
       2,
       -EREMOTEIO},
      {"write then combined read",
       {message(0x18, 0, reg0), message(0x18, 0, addr0), message(0x18, I2C_M_RD, word)},
       3,
       3},
  };
  int fd = open("/dev/i2c-5", O_RDWR);
  ASSERT_GE(fd, 0) << strerror(errno);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    i2c::reset();
    word.assign(4, 0xAA);
    std::vector<i2c_msg> msgs = c.msgs;
    i2c_rdwr_ioctl_data data = {msgs.empty() ? nullptr : msgs.data(), c.count};
    int result = ioctl(fd, I2C_RDWR, &data);
    EXPECT_EQ(result < 0 ? -errno : result, c.result);
    EXPECT_EQ(i2c::transfers().size(), 1u) << "every request is recorded";
    // A read is handed back only when the whole request succeeded.
    EXPECT_EQ(kivtest::hex(word), c.result > 0 ? "01 02 03 04" : "AA AA AA AA");
  }
  // Messages before the missing acknowledge took effect, as on a real bus.
  EXPECT_EQ(i2c::register_word(0), (kivsim::LensController::Word{1, 2, 3, 4}));
  EXPECT_EQ(close(fd), 0);
}

TEST(I2cLayer, FaultsOfTheBusAndTheDevice) {
  std::vector<unsigned char> reg0 = {0x00, 0x00, 5, 6, 7, 8};
  i2c_msg write = message(0x18, 0, reg0);
  int fd = open("/dev/i2c-5", O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fcntl(fd, F_GETFD), FD_CLOEXEC);
  i2c::set_stuck(true);
  EXPECT_EQ(rdwr(fd, &write, 1), -ETIMEDOUT);
  i2c::set_stuck(false);
  i2c::set_answering(false);
  EXPECT_EQ(rdwr(fd, &write, 1), -EREMOTEIO);
  i2c::set_answering(true);
  EXPECT_EQ(rdwr(fd, &write, 1), 0);
  EXPECT_EQ(i2c::register_word(0), (kivsim::LensController::Word{5, 6, 7, 8}));

  unsigned long funcs = 0;
  EXPECT_EQ(ioctl(fd, I2C_FUNCS, &funcs), 0);
  EXPECT_EQ(funcs & I2C_FUNC_I2C, static_cast<unsigned long>(I2C_FUNC_I2C));
  EXPECT_EQ(ioctl(fd, I2C_SMBUS, nullptr), -1);
  EXPECT_EQ(errno, ENOTTY);

  // Removed while open: the descriptor stays, the bus behind it is gone.
  i2c::set_present(false);
  EXPECT_EQ(rdwr(fd, &write, 1), -ENODEV);
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(i2c::open_descriptors(), 0);
}

TEST(I2cLayer, ClaimsOnlyItsPathInEveryFormOfOpen) {
  const int fds = kivtest::count_open_fds();
  i2c::set_present(false);
  errno = 0;
  EXPECT_EQ(open("/dev/i2c-5", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(open64("/dev/i2c-5", O_RDWR), -1);
  EXPECT_EQ(openat(AT_FDCWD, "/dev/i2c-5", O_RDWR), -1);
  EXPECT_EQ(__open_2("/dev/i2c-5", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);

  i2c::set_present(true);
  std::vector<int> opened = {open("/dev/i2c-5", O_RDWR), open64("/dev/i2c-5", O_RDWR),
                             openat(AT_FDCWD, "/dev/i2c-5", O_RDWR),
                             openat64(-1, "/dev/i2c-5", O_RDWR), __open_2("/dev/i2c-5", O_RDWR)};
  for (int fd : opened)
    EXPECT_GE(fd, 0);
  EXPECT_EQ(i2c::open_descriptors(), 5);

  // Other paths and descriptors reach the system as they are.
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_EQ(write(pipe_fds[1], "abc", 3), 3);
  int pending = 0;
  EXPECT_EQ(ioctl(pipe_fds[0], FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 3);
  int null_fd = openat(AT_FDCWD, "/dev/null", O_WRONLY);
  ASSERT_GE(null_fd, 0);
  // The system refuses it (ENOTTY; qemu-user, which does not know it, ENOSYS).
  EXPECT_EQ(ioctl(null_fd, I2C_FUNCS, &pending), -1);
  EXPECT_EQ(open("/nonexistent/i2c-5", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  for (int fd : {pipe_fds[0], pipe_fds[1], null_fd})
    EXPECT_EQ(close(fd), 0);

  for (int fd : opened)
    EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(i2c::open_descriptors(), 0);
  EXPECT_EQ(kivtest::count_open_fds(), fds);
  EXPECT_EQ(close(-1), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(i2c::calls_on_bad_descriptors(), 1);
}

TEST(I2cLayer, ANumberReusedBehindItsBackIsNoLongerTheDevice) {
  int fd = open("/dev/i2c-5", O_RDWR);
  ASSERT_GE(fd, 0);
  int null_fd = open("/dev/null", O_RDONLY);
  ASSERT_GE(null_fd, 0);
  // dup2 closes the device's descriptor without the layer's close.
  ASSERT_EQ(dup2(null_fd, fd), fd);
  unsigned long funcs = 0;
  EXPECT_EQ(ioctl(fd, I2C_FUNCS, &funcs), -1) << "/dev/null answers, not the bus";
  EXPECT_EQ(i2c::open_descriptors(), 0);
  close(fd);
  close(null_fd);
}

}  // namespace
