// SPDX-License-Identifier: MIT
// The host's reactor: the order of handling, sources that change while a step
// runs, deadlines, and descriptors that would keep every wait from waiting.
#include "reactor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>

namespace kivsim {
namespace {

using Clock = std::chrono::steady_clock;

// A pipe with a byte waiting, so that its read end is ready until closed.
struct ReadyPipe {
  int fds[2] = {-1, -1};
  ReadyPipe() {
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], "x", 1), 1);
  }
  ~ReadyPipe() {
    for (int fd : fds)
      if (fd >= 0)
        close(fd);
  }
  int in() const { return fds[0]; }
};

struct Recorder {
  std::string calls;
  std::vector<std::string> faults;
  Reactor reactor{[this](const std::string& m) { faults.push_back(m); }};
  // Adds a source that appends `name` to `calls` and then runs `also`.
  void add(const std::string& name, int fd, int order, std::function<void()> also = {}) {
    reactor.add(name, fd, POLLIN, order, [this, name, also](short) {
      calls += name;
      if (also)
        also();
    });
  }
};

TEST(Reactor, ReadySourcesAreHandledByOrderThenByAddition) {
  ReadyPipe p[5];
  Recorder r;
  r.add("c", p[0].in(), 2);
  r.add("a", p[1].in(), 0);
  r.add("d", p[2].in(), 2);
  r.add("b", p[3].in(), 1);
  r.add("e", p[4].in(), 3);
  ASSERT_TRUE(r.reactor.run_once());
  EXPECT_EQ(r.calls, "abcde");
}

TEST(Reactor, SourcesChangedByAHandlerTakeEffectSafely) {
  struct Case {
    const char* what;
    std::function<void(Recorder&, int spare_fd)> in_a;  // runs once, in a's first call
    const char* first_step;
    const char* second_step;
  };
  const Case cases[] = {
      {"a removes b, ready in the same step", [](Recorder& r, int) { r.reactor.remove("b"); }, "a",
       "a"},
      {"a removes itself", [](Recorder& r, int) { r.reactor.remove("a"); }, "ab", "b"},
      {"a adds c", [](Recorder& r, int fd) { r.add("c", fd, 0); }, "ab", "acb"},
      {"a removes b and adds it again",
       [](Recorder& r, int fd) {
         r.reactor.remove("b");
         r.add("b", fd, 1);
       },
       "a", "ab"},
      {"a adds c and removes it",
       [](Recorder& r, int fd) {
         r.add("c", fd, 0);
         r.reactor.remove("c");
       },
       "ab", "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadyPipe pa, pb, pc;
    Recorder r;
    bool done = false;
    r.add("a", pa.in(), 0, [&] {
      if (!done)
        c.in_a(r, pc.in());
      done = true;
    });
    r.add("b", pb.in(), 1);
    ASSERT_TRUE(r.reactor.run_once());
    EXPECT_EQ(r.calls, c.first_step);
    r.calls.clear();
    ASSERT_TRUE(r.reactor.run_once());
    EXPECT_EQ(r.calls, c.second_step);
    EXPECT_TRUE(r.faults.empty());
  }
}

TEST(Reactor, ADeadlineBoundsTheWaitAndFiresOnceDue) {
  Recorder r;
  const Clock::time_point start = Clock::now();
  auto elapsed_ms = [&] {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  std::vector<double> fired;
  // Once fired, it comes again 10 ms on, so that the step after it waits too.
  r.reactor.add_deadline([&] { return fired.empty() ? 30 - elapsed_ms() : 10.0; },
                         [&] { fired.push_back(elapsed_ms()); });
  r.reactor.add_deadline([] { return std::optional<double>(); }, [&] { fired.push_back(-1); });
  ASSERT_TRUE(r.reactor.run_once());  // waits for the deadline
  EXPECT_TRUE(fired.empty());
  EXPECT_GE(elapsed_ms(), 30);
  ASSERT_TRUE(r.reactor.run_once());  // fires it, then waits for its next time
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_GE(fired[0], 30);
}

TEST(Reactor, ADescriptorThatCannotBeReadIsDroppedAndReportedOnce) {
  struct Case {
    const char* what;
    bool closed;  // else hung up: the pipe's writer closed
    bool handler_removes;
    const char* fault;  // "" for none
  };
  const Case cases[] = {
      {"not open", true, false, "src: descriptor"},
      {"hung up, left watched by its handler", false, false, "src hung up: no longer watched"},
      {"hung up, removed by its handler", false, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[1]);
    if (c.closed)
      close(fds[0]);
    Recorder r;
    r.add("src", fds[0], 0, [&] {
      if (c.handler_removes)
        r.reactor.remove("src");
    });
    r.reactor.add_deadline([] { return std::optional<double>(20); }, [] {});
    ASSERT_TRUE(r.reactor.run_once());
    EXPECT_EQ(r.calls, c.closed ? "" : "src");
    EXPECT_EQ(r.reactor.size(), 0u);
    ASSERT_EQ(r.faults.size(), *c.fault ? 1u : 0u);
    if (*c.fault) {
      EXPECT_EQ(r.faults[0].rfind(c.fault, 0), 0u) << r.faults[0];
    }
    // Nothing is left to end the next wait before its deadline.
    const Clock::time_point before = Clock::now();
    ASSERT_TRUE(r.reactor.run_once());
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(15));
    EXPECT_EQ(r.calls, c.closed ? "" : "src");
    if (!c.closed)
      close(fds[0]);
  }
}

}  // namespace
}  // namespace kivsim
