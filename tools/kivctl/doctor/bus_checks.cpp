// SPDX-License-Identifier: MIT
// The I2C bus and the lens controller behind it.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "doctor/checks.h"
#include "i2c/lens_i2c.h"
#include "kiv_i2c.h"

namespace kivctl {
namespace {

const char* const kBus = kiv::lens::kBusDevice;

long word_of(const unsigned char* b) {
  return static_cast<long>(b[0]) | static_cast<long>(b[1]) << 8 | static_cast<long>(b[2]) << 16 |
         static_cast<long>(b[3]) << 24;
}

std::string address() {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", kiv::lens::kAddress);
  return text;
}

// What to do about an open of the bus that failed with `err`.
std::string open_advice(int err) {
  switch (err) {
    case ENOENT:
      return "the I2C bus is missing: enable I2C bus 5 (dtoverlay=i2c5 in config.txt), check "
             "that the i2c-dev module is loaded, and reboot";
    case EACCES:
    case EPERM:
      return "run as root, or add the user to the group i2c";
    case ENXIO:
    case ENODEV:
      return "the bus's adapter is gone: check the I2C adapter's driver (i2c_bcm2835)";
    case EBUSY:
      return "another program holds the bus: stop it";
    default:
      return "check " + std::string(kBus) + " and its adapter";
  }
}

}  // namespace

Check check_i2c() {
  Check c{"i2c"};
  int fd = open(kBus, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    c.fail(Verdict::kFailure, std::string(kBus) + " cannot be opened: " + std::strerror(err),
           open_advice(err));
    return c;
  }
  unsigned long funcs = 0;
  int result = ioctl(fd, I2C_FUNCS, &funcs);
  int err = errno;
  close(fd);
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%08lx", funcs);
  if (result != 0) {
    c.fail(Verdict::kFailure,
           std::string(kBus) + ": the adapter does not tell its functions (" + std::strerror(err) +
               ")",
           "check that " + std::string(kBus) + " is an I2C adapter");
    return c;
  }
  c.details.push_back(std::string("I2C_FUNCS ") + hex);
  if ((funcs & I2C_FUNC_I2C) == 0) {
    c.fail(Verdict::kFailure,
           std::string(kBus) + ": the adapter does no combined transfers (I2C_FUNCS " + hex +
               " lacks I2C_FUNC_I2C): the lens cannot be read",
           "use the board's I2C bus 5 driver, not an SMBus-only adapter");
    return c;
  }
  c.summary = std::string(kBus) + " opens, and its adapter does combined transfers";
  return c;
}

Check check_lens(Device& device, const Check& bus) {
  Check c{"lens"};
  // Behind a bus that failed its check, the lens cannot be told apart from
  // the bus: one verdict, the bus's.
  if (bus.verdict == Verdict::kFailure) {
    c.fail(Verdict::kFailure, "not checked: the I2C bus failed its check (see i2c)",
           "mend the bus first");
    return c;
  }
  unsigned char vtemp[4] = {0};
  int lens = device.instance().getLiquid();
  if (lens < 0) {
    c.fail(Verdict::kFailure,
           "the lens controller does not answer at " + address() + " on " + std::string(kBus) +
               " (" + std::strerror(errno) + ")",
           "check the lens controller's power and cable");
    return c;
  }
  if (getLiquidLens(kiv::lens::kVTempRegister, vtemp) != 0) {
    c.fail(Verdict::kFailure, "the lens controller answers, but VTemp cannot be read",
           "check the lens controller");
    return c;
  }
  c.summary = "the lens controller answers at " + address() + ": lens " + std::to_string(lens) +
              ", VTemp " + std::to_string(word_of(vtemp));
  return c;
}

}  // namespace kivctl
