// SPDX-License-Identifier: MIT
// Light controller tests: a set-up facade on a board of a chosen variant, with
// the light controller model on the far side of "/dev/com2".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config_fixture.h"
#include "kiv_io.h"
#include "light_controller.h"
#include "test_support.h"

namespace kivtest {

class LightControllerTest : public testing::Test {
 protected:
  void SetUp() override { KIV_REQUIRE_SANDBOX(); }
  void TearDown() override { kiv::KivIo::close_io(); }

  // Sets the facade up on a board with CPU serial `serial` and configuration
  // `ini` ("" for none). With the controller, its start-up brightness frame
  // and what setup printed are taken; without it "/dev/com2" is missing.
  void start(const std::string& ini = "", const std::string& serial = serial_not_in_table(),
             bool with_controller = true) {
    ASSERT_TRUE(kivsim::Sandbox::set_cpuinfo(cpuinfo_with_serial(serial)));
    if (!ini.empty()) {
      ASSERT_TRUE(replace_config_file(ini));
    }
    ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
    if (with_controller) {
      int line = kivsim::Sandbox::add_port("/dev/com2");
      ASSERT_GE(line, 0);
      controller_ = std::make_unique<kivsim::LightController>(line);
    }
    out_ = std::make_unique<StdoutCapture>();
    io_ = kiv::KivIo::getInstance();
    io_->setup();
    if (with_controller) {
      ASSERT_EQ(sent(1), "43 2D 00 18 0D 0A");
      printed();
    }
  }

  // The frames that reached the controller since the last call, at least
  // `frames` of them, in hex.
  std::string sent(size_t frames = 0) { return kivsim::frames_hex(controller_->collect(frames)); }
  // What the library printed since the last call.
  std::string printed() {
    std::string all = out_->text();
    std::string fresh = all.substr(printed_);
    printed_ = all.size();
    return fresh;
  }
  static int light_flag() { return __atomic_load_n(&kiv::t_light_on, __ATOMIC_RELAXED); }

  kiv::KivIo* io_ = nullptr;
  std::unique_ptr<kivsim::LightController> controller_;
  std::unique_ptr<StdoutCapture> out_;
  size_t printed_ = 0;
};

}  // namespace kivtest
