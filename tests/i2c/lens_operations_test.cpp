// SPDX-License-Identifier: MIT
// The lens operations as they reach the bus: the exact frames, the combined
// read, refused values, and the failure paths with their messages.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <thread>

#include "i2c_sim.h"
#include "kiv_i2c.h"
#include "kiv_io.h"
#include "lens_test_util.h"
#include "test_support.h"

namespace i2c = kivsim::i2c;
using kiv::KivIo;
using Strings = std::vector<std::string>;
using Word = kivsim::LensController::Word;

namespace {

struct FrameCase {
  const char* name;
  std::function<int(KivIo*)> call;
  const char* frame;
  int reg;
  Word word;
};

TEST(LensOperations, EachWriteIsOneFrameOfRegisterHighByteFirstThenTheWord) {
  const FrameCase cases[] = {
      {"setLiquid(1000)",
       [](KivIo* io) { return io->setLiquid(1000); },
       "write 18 [00 00 E8 03 00 00] -> ok",
       0,
       {0xE8, 0x03, 0, 0}},
      {"setLiquid(46000)",
       [](KivIo* io) { return io->setLiquid(46000); },
       "write 18 [00 00 B0 B3 00 00] -> ok",
       0,
       {0xB0, 0xB3, 0, 0}},
      {"setLiquid(0)",
       [](KivIo* io) { return io->setLiquid(0); },
       "write 18 [00 00 00 00 00 00] -> ok",
       0,
       {0, 0, 0, 0}},
      {"openVTemp()",
       [](KivIo* io) { return io->openVTemp(); },
       "write 18 [00 28 01 00 00 00] -> ok",
       40,
       {1, 0, 0, 0}},
      // Only the low 16 bits of the register address are sent.
      {"setLiquidLens(0x10028)",
       [](KivIo*) {
         unsigned char data[4] = {9, 8, 7, 6};
         return setLiquidLens(0x10028, data);
       },
       "write 18 [00 28 09 08 07 06] -> ok",
       40,
       {9, 8, 7, 6}},
  };
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.name);
    i2c::reset();
    i2c::set_register(c.reg, {0x55, 0x55, 0x55, 0x55});
    EXPECT_EQ(c.call(io), 0);
    EXPECT_EQ(kivtest::transfer_texts(), Strings{c.frame});
    EXPECT_EQ(i2c::register_word(c.reg), c.word);
    EXPECT_EQ(i2c::open_descriptors(), 0);
  }
  EXPECT_EQ(out.text(), "[KIV-IO] create...\n");
}

TEST(LensOperations, ReadIsOneRequestOfAddressWriteAndFourByteRead) {
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  i2c::set_register(0, {0xE8, 0x03, 0x55, 0x66});
  EXPECT_EQ(io->getLiquid(), 1000) << "bytes 2 and 3 do not count";
  const std::vector<i2c::Transfer> t = i2c::transfers();
  ASSERT_EQ(t.size(), 1u);
  ASSERT_EQ(t[0].messages.size(), 2u);
  const i2c::Message& address = t[0].messages[0];
  const i2c::Message& data = t[0].messages[1];
  EXPECT_EQ(address.addr, 0x18);
  EXPECT_EQ(address.flags, 0);
  EXPECT_EQ(address.len, 2);
  EXPECT_EQ(data.addr, 0x18);
  EXPECT_EQ(data.flags, 1);  // I2C_M_RD
  EXPECT_EQ(data.len, 4);
  EXPECT_EQ(kivtest::transfer_texts(), Strings{"write 18 [00 00], read 18 [E8 03 55 66] -> ok"});

  i2c::set_register(0, {0xFF, 0xFF, 0, 0});
  EXPECT_EQ(io->getLiquid(), 65535) << "the top value is a value, not a failure";

  i2c::set_register(40, {1, 2, 3, 4});
  unsigned char word[4] = {};
  EXPECT_EQ(getLiquidLens(40, word), 0);
  EXPECT_EQ(kivtest::hex(kivtest::Bytes(word, word + 4)), "01 02 03 04");
  EXPECT_EQ(kivtest::transfer_texts().back(), "write 18 [00 28], read 18 [01 02 03 04] -> ok");
  EXPECT_EQ(i2c::open_descriptors(), 0);
  EXPECT_EQ(out.text(), "[KIV-IO] create...\n");
}

TEST(LensOperations, RefusedValuesAndMissingBuffersNeverReachTheBus) {
  const struct {
    int value;
    const char* line;
  } cases[] = {
      {46001, "[ERROR] Liquid Max value: 46000\n"},
      {INT_MAX, "[ERROR] Liquid Max value: 46000\n"},
      // -1 would be sent as FF FF, far past the top.
      {-1, "[ERROR] Liquid Min value: 0\n"},
      {INT_MIN, "[ERROR] Liquid Min value: 0\n"},
  };
  KivIo* io = KivIo::getInstance();
  i2c::set_register(0, {0xE8, 0x03, 0, 0});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    kivtest::StdoutCapture out;
    EXPECT_EQ(io->setLiquid(c.value), 1);
    EXPECT_EQ(out.text(), c.line);
  }
  EXPECT_TRUE(i2c::transfers().empty());
  EXPECT_EQ(io->getLiquid(), 1000);

  kivtest::StdoutCapture out;
  EXPECT_EQ(setLiquidLens(0, nullptr), 1);
  EXPECT_EQ(getLiquidLens(0, nullptr), 1);
  EXPECT_EQ(out.text(), "[Liquid] /dev/i2c-5: Bad address\n[Liquid] /dev/i2c-5: Bad address\n");
  EXPECT_EQ(i2c::transfers().size(), 1u) << "only the read above";
}

struct FailureCase {
  const char* name;
  std::function<void()> arrange;
  const char* reason;
  size_t transfers;  // requests that reached the bus (one per call)
};

TEST(LensOperations, FailedTransfersReportTheirCauseAndLeaveNothingOpen) {
  const FailureCase cases[] = {
      {"no device", [] { i2c::set_present(false); }, "No such file or directory", 0},
      {"no acknowledge", [] { i2c::set_answering(false); }, "Remote I/O error", 4},
      {"stuck bus", [] { i2c::set_stuck(true); }, "Connection timed out", 4},
  };
  KivIo* io = KivIo::getInstance();
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    i2c::reset();
    i2c::set_register(0, {0xE8, 0x03, 0, 0});
    c.arrange();
    unsigned char word[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    kivtest::StdoutCapture out;
    const int fds = kivtest::count_open_fds();
    EXPECT_EQ(io->setLiquid(500), 1);
    EXPECT_EQ(io->openVTemp(), 1);
    EXPECT_EQ(io->getLiquid(), -1);
    EXPECT_EQ(getLiquidLens(0, word), 1);
    const std::string line = std::string("[Liquid] /dev/i2c-5: ") + c.reason + "\n";
    EXPECT_EQ(out.text(), line + line + line + line);
    EXPECT_EQ(kivtest::hex(kivtest::Bytes(word, word + 4)), "AA BB CC DD") << "out untouched";
    EXPECT_EQ(i2c::transfers().size(), c.transfers);
    EXPECT_EQ(i2c::register_word(0), (Word{0xE8, 0x03, 0, 0}));
    EXPECT_EQ(i2c::open_descriptors(), 0);
    EXPECT_EQ(kivtest::count_open_fds(), fds);
    // A failed open is neither used nor closed.
    EXPECT_EQ(i2c::calls_on_bad_descriptors(), 0);
  }
}

TEST(LensOperations, CallsFromSeveralThreadsEachCompleteTheirOwnTransfer) {
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  constexpr int kThreads = 4, kRounds = 50;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([io, t, &failures] {
      for (int r = 0; r < kRounds; ++r) {
        // Each value is one a reader could see whole: both bytes from one write.
        int value = (t + 1) * 257;
        if (io->setLiquid(value) != 0 || io->getLiquid() % 257 != 0)
          failures.fetch_add(1);
      }
    });
  for (std::thread& t : threads)
    t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(i2c::transfers().size(), static_cast<size_t>(2 * kThreads * kRounds));
  EXPECT_EQ(i2c::open_descriptors(), 0);
}

}  // namespace
