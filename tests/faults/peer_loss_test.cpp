// SPDX-License-Identifier: MIT
// A port's peer lost in the middle of a transfer and a new one in its place:
// the peer hangs up (com1, and the light controller's line), or the device
// node goes with it and opens fail until it returns. The write cut off fails,
// writes while the peer is gone fail, the application's reopen puts the new
// peer on the port, and from then on every write reaches it whole and every
// byte it sends reaches the callback.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fault_fixture.h"
#include "kiv_serial.h"

namespace {

using kivtest::Bytes;
using std::chrono::milliseconds;

struct PeerLoss {
  const char* name;
  const char* dev;
  int index;
  bool node_vanishes;
};

// Names the case in a failure message, instead of its bytes.
void PrintTo(const PeerLoss& c, std::ostream* os) {
  *os << c.name;
}

std::string PrintCase(const testing::TestParamInfo<PeerLoss>& info) {
  return info.param.name;
}

// Every byte the port's data callback receives.
struct Received {
  std::mutex mutex;
  Bytes bytes;
  static void take(const unsigned char* data, int len, void* user) {
    auto* self = static_cast<Received*>(user);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->bytes.insert(self->bytes.end(), data, data + len);
  }
  size_t size() {
    std::lock_guard<std::mutex> lock(mutex);
    return bytes.size();
  }
};

Bytes pattern(size_t n, unsigned seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<unsigned char>(seed + i * 7 + i / 251);
  return b;
}

class PeerLossTest : public kivtest::FaultTest, public testing::WithParamInterface<PeerLoss> {
 protected:
  int write(Bytes& b) {
    return GetParam().index == 0
               ? io_->writeAMA1(reinterpret_cast<char*>(b.data()), static_cast<int>(b.size()))
               : io_->writeAMA2(reinterpret_cast<char*>(b.data()), static_cast<int>(b.size()));
  }
  int& peer() { return GetParam().index == 0 ? peer1_ : peer2_; }
};

TEST_P(PeerLossTest, WriteCutOffFailsAndTheNewPeerGetsEverythingWhole) {
  const PeerLoss& c = GetParam();
  Received received;
  if (c.index == 0)
    io_->setAMA1Callback(Received::take, &received);
  else
    io_->setAMA2Callback(Received::take, &received);
  if (c.index == 1)
    kivtest::drain(peer());  // the start-up brightness frame

  // A block far larger than the line's buffers: the peer takes a part of it
  // and is gone.
  Bytes big = pattern(256 * 1024, 1);
  auto cut = std::async(std::launch::async, [&] { return write(big); });
  EXPECT_EQ(kivtest::read_bytes(peer(), 4096, milliseconds(2000)).size(), 4096u);
  close(peer());
  peer() = -1;
  if (c.node_vanishes)
    kivsim::Sandbox::remove_port(c.dev);
  ASSERT_EQ(cut.wait_for(milliseconds(3000)), std::future_status::ready) << "write hangs";
  EXPECT_EQ(cut.get(), -1);

  Bytes small = pattern(64, 2);
  EXPECT_EQ(write(small), -1);
  if (c.index == 1) {
    EXPECT_EQ(io_->enableLightSection(1), -1);
  }
  char path[16];
  std::snprintf(path, sizeof path, "%s", c.dev);
  if (c.node_vanishes) {
    kivtest::StdoutCapture opens;
    EXPECT_EQ(SerialPortInit(path, 115200), -1);
    EXPECT_EQ(opens.text(), std::string("open serial ") + c.dev + " error\n");
  }

  peer() = new_peer(c.dev);
  {
    kivtest::StdoutCapture opens;
    ASSERT_EQ(SerialPortInit(path, 115200), 0);
    EXPECT_NE(opens.text().find("serial index  " + std::to_string(c.index)), std::string::npos)
        << opens.text();
  }
  // Written while the peer reads it, and sent the other way at once.
  Bytes after = pattern(128 * 1024, 3);
  Bytes answer = pattern(8 * 1024, 4);
  auto whole = std::async(std::launch::async, [&] { return write(after); });
  ASSERT_TRUE(kivtest::write_all(peer(), answer.data(), answer.size()));
  EXPECT_EQ(kivtest::read_bytes(peer(), after.size(), milliseconds(5000)), after);
  EXPECT_EQ(whole.get(), 0);
  EXPECT_TRUE(kivtest::wait_until([&] { return received.size() >= answer.size(); }));
  std::lock_guard<std::mutex> lock(received.mutex);
  EXPECT_EQ(received.bytes, answer);
}

INSTANTIATE_TEST_SUITE_P(Ports, PeerLossTest,
                         testing::Values(PeerLoss{"Com1HangsUp", "/dev/com1", 0, false},
                                         PeerLoss{"LightLineHangsUp", "/dev/com2", 1, false},
                                         PeerLoss{"Com1NodeVanishes", "/dev/com1", 0, true},
                                         PeerLoss{"LightLineNodeVanishes", "/dev/com2", 1, true}),
                         PrintCase);

}  // namespace

namespace {

// The device node alone goes while the port is open, its peer still there,
// and returns: the open port carries on, a reopen fails while the node is
// gone and leaves the port as it was, and succeeds once it is back.
class NodeGoneTest : public kivtest::FaultTest, public testing::WithParamInterface<int> {};

TEST_P(NodeGoneTest, OpenPortCarriesOnWhileItsNodeIsGone) {
  const int index = GetParam();
  char dev[] = "/dev/com1";
  dev[8] = static_cast<char>('1' + index);
  const int peer = index == 0 ? peer1_ : peer2_;
  const std::string slave = kivsim::Sandbox::port_slave(dev);
  kivtest::drain(peer);
  auto send = [&](size_t n, unsigned seed) {
    Bytes b = pattern(n, seed);
    auto written = std::async(std::launch::async, [&] {
      return WriteSerialPort(reinterpret_cast<char*>(b.data()), static_cast<int>(n), index);
    });
    EXPECT_EQ(kivtest::read_bytes(peer, n, milliseconds(5000)), b);
    return written.get();
  };

  ASSERT_EQ(unlink(dev), 0);
  EXPECT_EQ(send(64 * 1024, 5), 0);
  {
    kivtest::StdoutCapture opens;
    EXPECT_EQ(SerialPortInit(dev, 115200), -1);
    EXPECT_EQ(opens.text(), std::string("open serial ") + dev + " error\n");
  }
  EXPECT_EQ(send(4096, 6), 0);
  ASSERT_EQ(symlink(slave.c_str(), dev), 0);
  EXPECT_EQ(SerialPortInit(dev, 115200), 0);
  EXPECT_EQ(send(64 * 1024, 7), 0);
}

INSTANTIATE_TEST_SUITE_P(Ports, NodeGoneTest, testing::Values(0, 1));

}  // namespace
