// SPDX-License-Identifier: MIT
// Raw serial access: AMA1 is port index 0 ("/dev/com1"), AMA2 index 1
// ("/dev/com2"); writes reach the line and read callbacks get its bytes.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "kiv_io.h"
#include "test_support.h"

using kiv::KivIo;

namespace {

std::mutex g_mutex;
std::string g_ama1, g_ama2;
void on_ama1(char* chunk) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_ama1 += chunk;
}
void on_ama2(char* chunk) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_ama2 += chunk;
}
std::string got(const std::string& s) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return s;
}

}  // namespace

TEST(FacadeSerial, BothPortsWriteAndCallBackOnTheirOwnLine) {
  KIV_REQUIRE_SANDBOX();
  int com1 = kivsim::Sandbox::add_port("/dev/com1");
  int com2 = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(com1, 0);
  ASSERT_GE(com2, 0);
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  io->setup();
  kivtest::drain(com2);

  char one[] = {'a', 'b', 0x00, 'c'};
  char two[] = "xyz";
  EXPECT_EQ(io->writeAMA1(one, 4), 0);
  EXPECT_EQ(io->writeAMA2(two, 3), 0);
  EXPECT_EQ(kivtest::read_bytes(com1, 4, std::chrono::seconds(2)),
            kivtest::bytes({'a', 'b', 0x00, 'c'}));
  EXPECT_EQ(kivtest::read_bytes(com2, 3, std::chrono::seconds(2)), kivtest::bytes({'x', 'y', 'z'}));
  EXPECT_TRUE(kivtest::drain(com1).empty());

  io->setAMA1Callback(on_ama1);
  io->setAMA2Callback(on_ama2);
  ASSERT_TRUE(kivtest::write_all(com1, "one", 3));
  ASSERT_TRUE(kivtest::write_all(com2, "two", 3));
  EXPECT_TRUE(kivtest::wait_until([] { return got(g_ama1) == "one" && got(g_ama2) == "two"; }))
      << got(g_ama1) << " / " << got(g_ama2);
  KivIo::close_io();
}

// close_io right after the last writes: a peer that had not read for a while
// still gets every byte of both.
TEST(FacadeSerial, WhatWasWrittenBeforeCloseIoReachesALatePeer) {
  KIV_REQUIRE_SANDBOX();
  int com1 = kivsim::Sandbox::add_port("/dev/com1");
  int com2 = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(com1, 0);
  ASSERT_GE(com2, 0);
  kivtest::StdoutCapture out;
  std::string message(8192, 'm');
  message += "OK 1\r\n";
  for (int round = 0; round < 3; ++round) {
    KivIo* io = KivIo::getInstance();
    io->setup();
    kivtest::drain(com2);
    ASSERT_EQ(io->writeAMA1(message.data(), static_cast<int>(message.size())), 0);
    ASSERT_EQ(io->writeAMA2(message.data(), static_cast<int>(message.size())), 0);
    KivIo::close_io();
    const kivtest::Bytes expected(message.begin(), message.end());
    EXPECT_EQ(kivtest::read_bytes(com1, message.size(), std::chrono::seconds(2)), expected);
    EXPECT_EQ(kivtest::read_bytes(com2, message.size(), std::chrono::seconds(2)), expected);
  }
}
