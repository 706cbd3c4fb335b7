// SPDX-License-Identifier: MIT
// The library's waits, cell by cell: each call of the serial service, made
// from each kind of thread (an application thread, either port's reader inside
// its data callback, an input interrupt thread, the light auto-off thread),
// against each state of slot 0 and the thread that holds it there. What a cell
// must do follows from Waits in kiv_serial.h: a call that waits does not
// return while what it waits for still runs; a call that would wait for a
// thread which is itself waiting for the caller returns at once instead; and
// once both ports are closed nothing is left behind. Each cell runs in a child
// process of its own, in a sandbox of its own, so that a hang fails that cell
// by its name and the rest still run.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kiv_io.h"
#include "kiv_serial.h"
#include "test_support.h"
#include "wiringPi.h"
#include "wiringPi_sim.h"

// How much slower than a native plain build this build runs (sanitizers,
// an emulator), and whether it runs only a sample of the table.
#ifndef KIV_WAITS_SLOWDOWN
#define KIV_WAITS_SLOWDOWN 1
#endif
#ifndef KIV_WAITS_SAMPLED
#define KIV_WAITS_SAMPLED 0
#endif

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kivtest::wait_until;

constexpr int kSlow = KIV_WAITS_SLOWDOWN;
const auto kAtOnce = 500ms * kSlow;         // a call that waits for nothing returns within this
const auto kAfterRelease = 1000ms * kSlow;  // anything returns within this once all is released
const auto kStillWaiting = 30ms;            // a waiting call has not returned after this
const auto kWatchdog = 3000ms * kSlow;      // the parent ends a child that takes longer
constexpr int kSkipped = 77;                // a child's exit status: no sandbox here
constexpr int kRandomCells = 60;            // cells a sampled run adds to its named ones

char com1[] = "/dev/com1";
char com2[] = "/dev/com2";
char com3[] = "/dev/com3";
char one_byte[] = "w";

// ---- Child side: reports to the parent, one line each ----

int g_report = -1;
int g_failures = 0;
kivtest::StdoutCapture* g_printed;  // what the child prints, for its whole life

void say(char kind, const std::string& text) {
  const std::string line = std::string(1, kind) + text + "\n";
  (void)!write(g_report, line.data(), line.size());
}
void phase(const std::string& what) {
  say('P', what);
}
void fail(const std::string& what) {
  ++g_failures;
  say('F', what);
}
// A child that found a hang ends here: the hung threads end with it.
[[noreturn]] void give_up(const std::string& what) {
  fail(what);
  _exit(1);
}

// A thread of one role. It runs the calls handed to it one at a time until it
// is released: an application thread from its start, a reader or an
// interrupt thread from inside its callback, which runs as long as that.
class Agent {
 public:
  void serve() {
    tid_ = static_cast<pid_t>(syscall(SYS_gettid));
    std::unique_lock<std::mutex> lock(mutex_);
    active_ = !released_;
    while (active_) {
      changed_.wait(lock, [&] { return released_ || !jobs_.empty(); });
      if (jobs_.empty())
        break;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      ++started_;
      lock.unlock();
      job();
      lock.lock();
      ++finished_;
    }
    active_ = false;
  }
  // Returns the job's number, which started() and finished() reach.
  int post(std::function<void()> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
    changed_.notify_all();
    return ++posted_;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool active() const { return active_; }
  int started() const { return started_; }
  int finished() const { return finished_; }
  bool idle() const { return !active_ && finished_ == posted_; }
  // Whether its thread is blocked (asleep in a wait).
  bool sleeping() const {
    char path[64], buf[512];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", static_cast<int>(tid_));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return false;
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    buf[n > 0 ? n : 0] = '\0';
    const char* end = std::strrchr(buf, ')');
    return end != nullptr && (end[2] == 'S' || end[2] == 'D');
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool released_ = false;
  std::atomic<bool> active_{false};
  std::atomic<int> posted_{0}, started_{0}, finished_{0};
  std::atomic<pid_t> tid_{0};
};

// The threads of a cell. The holders put slot 0 into its state; the others
// make the call under test.
enum Thr { kApp, kR0, kR1, kIrq, kLight, kAppHolder, kIrqHolder, kNobody };
const char* const kThrNames[] = {"an application thread",
                                 "slot 0's reader",
                                 "slot 1's reader",
                                 "an interrupt thread",
                                 "the light auto-off thread",
                                 "the application thread holding slot 0",
                                 "the interrupt thread holding slot 0"};
Agent g_agents[kNobody];
std::vector<std::thread> g_threads;
int g_masters[3] = {-1, -1, -1};
constexpr int kIrqPin = 5;
constexpr int kIrqHolderPin = 6;

void serve_data(const unsigned char*, int, void* user) {
  static_cast<Agent*>(user)->serve();
}
void serve_level(int, void* user) {
  static_cast<Agent*>(user)->serve();
}
template <Thr t>
void irq_entry() {
  g_agents[t].serve();
}
void quiet_data(const unsigned char*, int, void*) {}
void quiet_text(char*) {}

// Gets `t` serving: a reader inside its data callback (a byte to its port),
// an interrupt thread inside its handler (an edge), an application thread.
void enter(Thr t) {
  Agent& a = g_agents[t];
  if (a.active())
    return;
  if (t == kR0 || t == kR1)
    kivtest::write_all(g_masters[t == kR0 ? 0 : 1], "x", 1);
  else if (t == kIrq || t == kIrqHolder)
    kivsim::gpio::inject_edge(t == kIrq ? kIrqPin : kIrqHolderPin, HIGH);
  else
    g_threads.emplace_back([&a] { a.serve(); });
  if (!wait_until([&] { return a.active(); }, kAtOnce + 200ms))
    give_up(std::string(kThrNames[t]) + " did not start serving");
}

// Waits until job `job` of `a` has begun and its thread stays asleep (or the
// job is over). False when neither happens in time.
bool settled(const Agent& a, int job) {
  int asleep = 0;
  const bool ok = wait_until(
      [&] {
        if (a.finished() >= job)
          return true;
        asleep = a.started() >= job && a.sleeping() ? asleep + 1 : 0;
        return asleep >= 3;
      },
      kAtOnce);
  std::this_thread::sleep_for(5ms * kSlow);
  return ok;
}

// Job `job` of `a` must be blocked, waiting for a callback that is held.
void held(const Agent& a, int job, const std::string& what) {
  if (!settled(a, job))
    give_up(what + " neither returned nor waited");
  if (a.finished() >= job)
    give_up(what + " returned while the callback it waits for ran");
}

// ---- The table ----

enum class Hold { kFree, kOpen, kClosing, kReopening, kUnregistering, kLeft, kLeftClosing1 };
struct StateSpec {
  const char* name;
  Hold hold;
  Thr holder;
};
const StateSpec kStates[] = {
    {"free", Hold::kFree, kNobody},
    {"open", Hold::kOpen, kNobody},
    {"closing by an application thread", Hold::kClosing, kAppHolder},
    {"closing by slot 1's reader", Hold::kClosing, kR1},
    {"closing by an interrupt thread", Hold::kClosing, kIrqHolder},
    {"being reopened by an application thread", Hold::kReopening, kAppHolder},
    {"unregistering by an application thread", Hold::kUnregistering, kAppHolder},
    {"unregistering by slot 1's reader", Hold::kUnregistering, kR1},
    {"unregistering by an interrupt thread", Hold::kUnregistering, kIrqHolder},
    {"closed by its own callback", Hold::kLeft, kR0},
    {"closed by its own callback, which is closing port 1", Hold::kLeftClosing1, kR0},
};
const Thr kRoles[] = {kApp, kR0, kR1, kIrq, kLight};

enum class Op { kOpen, kClose, kString, kReplace, kUnregister, kWrite };
struct CallSpec {
  const char* name;
  Op op;
  bool other;  // the other slot than the caller's own
  char* path;
};
const CallSpec kCalls[] = {
    {"open /dev/com1", Op::kOpen, false, com1},
    {"open /dev/com2", Op::kOpen, false, com2},
    {"open /dev/com3", Op::kOpen, false, com3},
    {"close own", Op::kClose, false, nullptr},
    {"close other", Op::kClose, true, nullptr},
    {"register string own", Op::kString, false, nullptr},
    {"register string other", Op::kString, true, nullptr},
    {"replace own", Op::kReplace, false, nullptr},
    {"replace other", Op::kReplace, true, nullptr},
    {"unregister own", Op::kUnregister, false, nullptr},
    {"unregister other", Op::kUnregister, true, nullptr},
    {"write own", Op::kWrite, false, nullptr},
    {"write other", Op::kWrite, true, nullptr},
};
constexpr int kStateCount = sizeof kStates / sizeof kStates[0];
constexpr int kRoleCount = sizeof kRoles / sizeof kRoles[0];
constexpr int kCallCount = sizeof kCalls / sizeof kCalls[0];

struct Cell {
  int state, role, call;
  const StateSpec& st() const { return kStates[state]; }
  Thr me() const { return kRoles[role]; }
  const CallSpec& c() const { return kCalls[call]; }
  int own() const { return me() == kR1 ? 1 : 0; }
  int slot() const { return c().other ? 1 - own() : own(); }
  std::string name() const {
    return std::string(st().name) + " / " + kThrNames[me()] + " / " + c().name;
  }
  // A thread that is not there (slot 0's reader without a port), one busy
  // holding the state, or a call the light thread never makes.
  bool applicable() const {
    if (me() == kLight)
      return c().op == Op::kWrite && c().other;
    if (me() == kR0)
      return st().hold != Hold::kFree && st().hold != Hold::kLeftClosing1;
    return me() != st().holder;
  }
};

// What the state amounts to, in the words of kiv_serial.h.
enum class Slot { kFree, kOpen, kClosing };
struct Scene {
  Slot slot[2] = {Slot::kOpen, Slot::kOpen};
  Thr closer[2] = {kNobody, kNobody};  // whose close of the slot is under way
  bool left[2] = {false, false};       // free, its reader still in the callback that closed it
  bool running[2] = {false, false};    // a call of the slot's data callback is under way
  Thr waits_for[kNobody + 1];          // whom each thread waits for through the library
};

Thr reader_of(int slot) {
  return slot == 0 ? kR0 : kR1;
}

Scene scene_of(const Cell& cell) {
  Scene s;
  std::fill(std::begin(s.waits_for), std::end(s.waits_for), kNobody);
  const Thr holder = cell.st().holder;
  s.running[0] = cell.me() == kR0;
  s.running[1] = cell.me() == kR1 || holder == kR1;
  switch (cell.st().hold) {
    case Hold::kFree:
      s.slot[0] = Slot::kFree;
      break;
    case Hold::kClosing:
      s.slot[0] = Slot::kClosing;
      s.closer[0] = holder;
      [[fallthrough]];
    case Hold::kUnregistering:
      s.running[0] = true;
      s.waits_for[holder] = kR0;
      break;
    case Hold::kLeftClosing1:
      s.slot[1] = Slot::kClosing;
      s.closer[1] = kR0;
      s.running[1] = true;
      s.waits_for[kR0] = kR1;
      [[fallthrough]];
    case Hold::kLeft:
      s.slot[0] = Slot::kFree;
      s.left[0] = true;
      s.running[0] = true;
      break;
    default:
      break;
  }
  return s;
}

// The thread the call would wait for (kNobody if none), and whether it is
// awaited as the closer of a slot rather than as a reader in its callback.
struct Awaited {
  Thr who;
  bool closer;
};
Awaited awaited(const Scene& s, const Cell& cell) {
  const Thr me = cell.me();
  const int i = cell.slot();
  const auto callback_of = [&](int slot) {
    return Awaited{s.running[slot] && reader_of(slot) != me ? reader_of(slot) : kNobody, false};
  };
  switch (cell.c().op) {
    case Op::kOpen: {
      // A close of the slot holding the path (com1 is slot 0's, com2 slot 1's)
      // is waited for; else the open takes the first slot that is free or
      // holds the path, joining a reader its callback left there; else it
      // waits for a slot being closed.
      int held = cell.c().path == com3 ? -1 : cell.c().path == com1 ? 0 : 1;
      if (held >= 0 && s.slot[held] == Slot::kFree)
        held = -1;
      if (held >= 0 && s.slot[held] == Slot::kClosing)
        return {s.closer[held], true};
      for (int k = 0; k < 2; ++k) {
        if (k == held)
          return {kNobody, false};
        if (s.slot[k] == Slot::kFree)
          return {s.left[k] && reader_of(k) != me ? reader_of(k) : kNobody, false};
      }
      for (int k = 0; k < 2; ++k)
        if (s.slot[k] == Slot::kClosing)
          return {s.closer[k], true};
      return {kNobody, false};
    }
    case Op::kClose:
      return s.slot[i] == Slot::kClosing ? Awaited{s.closer[i], true} : callback_of(i);
    case Op::kWrite:
      return {kNobody, false};
    default:
      return callback_of(i);
  }
}

enum class Outcome { kNothing, kWaits, kRefused };
const char* const kOutcomeNames[] = {"nothing to wait for", "waits", "refused"};
constexpr int kAnyResult = 1;

struct Expect {
  Outcome outcome;
  Thr target;
  Thr must_end;  // the reader whose callback has returned once a waiting call returns
  int result;    // 0, -1 or kAnyResult
};

// A wait for a thread that waits, through the library, for the caller is not
// made; every other one is.
Expect expect(const Cell& cell) {
  const Scene s = scene_of(cell);
  const Awaited a = awaited(s, cell);
  Expect e{Outcome::kNothing, a.who, kNobody, kAnyResult};
  if (e.target != kNobody) {
    Thr t = e.target;
    while (t != kNobody && t != cell.me())
      t = s.waits_for[t];
    e.outcome = t == cell.me() ? Outcome::kRefused : Outcome::kWaits;
    // A close under way ends once the callback its closer waits for returned.
    e.must_end = a.closer ? s.waits_for[e.target] : e.target;
  }
  const Slot slot = s.slot[cell.slot()];
  if (cell.c().op == Op::kOpen) {
    const bool room = cell.c().path != com3 || s.slot[0] != Slot::kOpen;
    e.result = e.outcome == Outcome::kRefused || !room ? -1 : 0;
  } else if (cell.me() == kLight) {
    e.result = 0;  // close_light always returns 0
  } else if (cell.c().op != Op::kClose && slot != Slot::kClosing) {
    e.result = slot == Slot::kOpen ? 0 : -1;
  }
  return e;
}

// ---- One cell, in the child ----

thread_local bool tl_hold_output_wait = false;
std::mutex g_output_mutex;
std::condition_variable g_output_cv;
bool g_output_open = false;
std::atomic<bool> g_output_held{false};

void release_everything() {
  for (Agent& a : g_agents)
    a.release();
  std::lock_guard<std::mutex> lock(g_output_mutex);
  g_output_open = true;
  g_output_cv.notify_all();
}

// Starts the GPIO stand-in with an interrupt handler on each of `pins`.
void board_up(std::initializer_list<std::pair<int, void (*)()>> pins) {
  if (wiringPiSetupGpio() != 0)
    give_up("the GPIO stand-in did not start");
  for (const auto& p : pins) {
    pinMode(p.first, INPUT);
    if (wiringPiISR(p.first, INT_EDGE_BOTH, p.second) != 0)
      give_up("interrupt registration failed");
  }
}

struct Counts {
  int fds, threads;
};
Counts counts() {
  return {kivtest::count_open_fds(), kivtest::count_threads()};
}

// Releases everything, waits until every thread of the cell is idle and
// joined, closes both ports from an application thread and compares the
// process with `base`.
void finish(const Counts& base) {
  release_everything();
  for (int t = 0; t < kNobody; ++t)
    if (!wait_until([&] { return g_agents[t].idle(); }, kAfterRelease))
      give_up(std::string("hung after everything was released: ") + kThrNames[t]);
  for (std::thread& t : g_threads)
    t.join();
  g_threads.clear();
  phase("closing both ports");
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    SerialPortFree(0);
    SerialPortFree(1);
    closed = true;
  });
  if (!wait_until([&] { return closed.load(); }, kAfterRelease))
    give_up("hung closing both ports at the end");
  closer.join();
  if (!wait_until([&] { return counts().fds == base.fds && counts().threads == base.threads; },
                  200ms * kSlow))
    fail("left behind: " + std::to_string(counts().fds - base.fds) + " descriptors, " +
         std::to_string(counts().threads - base.threads) + " threads");
}

int perform(const Cell& cell) {
  const int slot = cell.slot();
  const CallSpec& c = cell.c();
  switch (c.op) {
    case Op::kOpen:
      return SerialPortInit(c.path, 115200);
    case Op::kClose:
      SerialPortFree(slot);
      return 0;
    case Op::kString:
      return SetReadSerialPortCallback(quiet_text, nullptr, 0, slot);
    case Op::kReplace:
      return SetReadSerialPortDataCallback(quiet_data, nullptr, slot);
    case Op::kUnregister:
      return SetReadSerialPortDataCallback(nullptr, nullptr, slot);
    case Op::kWrite:
      break;
  }
  if (cell.me() != kLight)
    return WriteSerialPort(one_byte, 1, slot);
  __atomic_store_n(&kiv::t_light_on, 1, __ATOMIC_RELAXED);
  return kiv::KivIo::getInstance()->close_light();
}

// Puts slot 0 into the cell's state, held there by the callbacks' serving.
void make_state(const StateSpec& st) {
  Agent& holder = st.holder == kNobody ? g_agents[kApp] : g_agents[st.holder];
  switch (st.hold) {
    case Hold::kClosing:
    case Hold::kUnregistering: {
      enter(kR0);
      enter(st.holder);
      const bool closing = st.hold == Hold::kClosing;
      const int job = holder.post([closing] {
        if (closing)
          SerialPortFree(0);
        else
          SetReadSerialPortDataCallback(nullptr, nullptr, 0);
      });
      held(holder, job, "the state's call");
      break;
    }
    case Hold::kReopening:
      enter(kAppHolder);
      holder.post([] {
        tl_hold_output_wait = true;
        SerialPortInit(com1, 115200);
        tl_hold_output_wait = false;
      });
      if (!wait_until([] { return g_output_held.load(); }, kAtOnce))
        give_up("the reopen never waited for output to leave");
      break;
    case Hold::kLeftClosing1:
    case Hold::kLeft: {
      if (st.hold == Hold::kLeftClosing1)
        enter(kR1);
      enter(kR0);
      int job = holder.post([] { SerialPortFree(0); });
      if (!wait_until([&] { return holder.finished() >= job; }, kAtOnce))
        give_up("a callback's close of its own port did not return");
      if (st.hold == Hold::kLeft)
        break;
      job = holder.post([] { SerialPortFree(1); });
      held(holder, job, "closing port 1");
      break;
    }
    default:
      break;
  }
}

struct Result {
  std::atomic<bool> done{false};
  int rc = 0;
  int write_after = 0;
  bool ended[2] = {false, false};
  std::string printed;
};

void run_table_cell(const Cell& cell) {
  board_up({{kIrqPin, irq_entry<kIrq>}, {kIrqHolderPin, irq_entry<kIrqHolder>}});
  const Counts base = counts();
  if (SerialPortInit(com1, 115200) != 0 || SerialPortInit(com2, 115200) != 0 ||
      SetReadSerialPortDataCallback(serve_data, &g_agents[kR0], 0) != 0 ||
      SetReadSerialPortDataCallback(serve_data, &g_agents[kR1], 1) != 0)
    give_up("the ports did not open");
  if (cell.st().hold == Hold::kFree)
    SerialPortFree(0);
  enter(cell.me());
  phase("making the state");
  make_state(cell.st());

  const Expect e = expect(cell);
  const std::string expected = std::string("expected: ") + kOutcomeNames[int(e.outcome)] +
                               (e.target == kNobody ? "" : std::string(", ") + kThrNames[e.target]);
  phase("calling, " + expected);
  Result r;
  Agent& me = g_agents[cell.me()];
  const int job = me.post([&] {
    const size_t from = g_printed->text().size();
    r.rc = perform(cell);
    r.ended[0] = !g_agents[kR0].active();
    r.ended[1] = !g_agents[kR1].active();
    if (cell.c().op == Op::kClose)
      r.write_after = WriteSerialPort(one_byte, 1, cell.slot());
    r.printed = g_printed->text().substr(from);
    r.done = true;
  });
  const auto returned = [&] { return r.done.load(); };
  if (e.outcome == Outcome::kWaits) {
    settled(me, job);
    std::this_thread::sleep_for(kStillWaiting);
    if (r.done)
      fail(std::string("returned while ") + kThrNames[e.target] + " was held (" + expected + ")");
    release_everything();
    if (!wait_until(returned, kAfterRelease))
      give_up("hung: did not return once everything was released (" + expected + ")");
    if (e.must_end != kNobody && !r.ended[e.must_end == kR0 ? 0 : 1])
      fail(std::string("returned before the callback of ") + kThrNames[e.must_end] + " had");
  } else {
    if (!wait_until(returned, kAtOnce)) {
      fail("did not return at once (" + expected + ")");
      release_everything();
      if (!wait_until(returned, kAfterRelease))
        give_up("hung: did not return once everything was released either");
    }
  }
  if (e.result != kAnyResult && r.rc != e.result)
    fail("returned " + std::to_string(r.rc) + ", expected " + std::to_string(e.result));
  if (cell.c().op == Op::kClose && r.write_after != -1)
    fail("a write right after the close went out");
  if (cell.c().op == Op::kOpen) {
    const bool error = r.printed.find("open serial " + std::string(cell.c().path) + " error\n") !=
                       std::string::npos;
    if (error != (e.outcome == Outcome::kRefused))
      fail(error ? "printed the open error" : "printed no open error");
  }
  phase("finishing");
  finish(base);
}

// The input and trigger lines' callbacks, registered with a user pointer
// through the facade, unregister each other's while both run.
void run_input_lines_cell() {
  board_up({{17, kiv::callbackInput}, {12, kiv::callbackTrigger}});
  kiv::KivIo* io = kiv::KivIo::getInstance();
  const Counts base = counts();
  Agent& input = g_agents[kIrq];
  Agent& trigger = g_agents[kIrqHolder];
  io->registerInput(serve_level, &input);
  io->registerTrigger(serve_level, &trigger);
  kivsim::gpio::inject_edge(17, HIGH);
  kivsim::gpio::inject_edge(12, HIGH);
  if (!wait_until([&] { return input.active() && trigger.active(); }, kAtOnce + 200ms))
    give_up("the input callbacks did not start");
  phase("unregistering each other's");
  std::atomic<bool> trigger_ended{false};
  const int job = input.post([&] {
    io->registerTrigger(nullptr, nullptr);
    trigger_ended = !trigger.active();
  });
  held(input, job, "the input callback's unregistration of the trigger's");
  const int back = trigger.post([&] { io->registerInput(nullptr, nullptr); });
  if (!wait_until([&] { return trigger.finished() >= back; }, kAtOnce))
    give_up("hung: the trigger callback's unregistration waited for the input callback");
  std::this_thread::sleep_for(kStillWaiting);
  if (input.finished() >= job)
    fail("the input callback's unregistration returned while the trigger's call ran");
  trigger.release();
  if (!wait_until([&] { return input.finished() >= job; }, kAfterRelease))
    give_up("hung: the input callback's unregistration did not return");
  if (!trigger_ended)
    fail("the input callback's unregistration returned before the trigger's call");
  finish(base);
}

// ---- Parent side ----

struct CellRun {
  std::string name;
  std::function<void()> body;
};
struct Verdict {
  std::string name;
  bool skipped = false;
  std::string failure;  // empty when it passed
};

[[noreturn]] void child(const CellRun& run, int report) {
  g_report = report;
  const std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty()) {
    say('S', reason);
    _exit(kSkipped);
  }
  g_masters[0] = kivsim::Sandbox::add_port(com1);
  g_masters[1] = kivsim::Sandbox::add_port(com2);
  g_masters[2] = kivsim::Sandbox::add_port(com3);
  if (g_masters[0] < 0 || g_masters[1] < 0 || g_masters[2] < 0)
    give_up("no pseudo-terminals");
  g_printed = new kivtest::StdoutCapture();
  phase("setting up");
  run.body();
  _exit(g_failures == 0 ? 0 : 1);
}

// What a child reported, once it has ended.
Verdict verdict(const std::string& name, int fd, bool hung, int status) {
  std::string text, last_phase, failures;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0)
    text.append(buf, static_cast<size_t>(n));
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line[0] == 'P')
      last_phase = line.substr(1);
    else
      failures += "\n  " + line.substr(1);
  }
  Verdict v{name, !hung && WIFEXITED(status) && WEXITSTATUS(status) == kSkipped, ""};
  if (hung)
    v.failure = "hung: killed by the watchdog while " + last_phase + failures;
  else if (!v.skipped && status != 0)
    v.failure = failures.empty() ? "ended with status " + std::to_string(status) : failures;
  return v;
}

// Runs each in a child of its own, two at a time. A child reports on a pipe,
// read once it has ended; one still running after the watchdog's bound is
// killed.
std::vector<Verdict> run_children(const std::vector<CellRun>& runs) {
  struct Running {
    size_t run;
    pid_t pid;
    int fd;
    Clock::time_point start;
  };
  std::vector<Verdict> verdicts;
  std::vector<Running> running;
  for (size_t next = 0; next < runs.size() || !running.empty();) {
    if (running.size() < 2 && next < runs.size()) {
      int p[2];
      if (pipe2(p, O_CLOEXEC) != 0) {
        next = runs.size();  // those running still finish
        continue;
      }
      std::fflush(nullptr);
      const pid_t pid = fork();
      if (pid == 0)
        child(runs[next], p[1]);
      close(p[1]);
      if (pid < 0) {
        close(p[0]);
        next = runs.size();
        continue;
      }
      running.push_back({next++, pid, p[0], Clock::now()});
      continue;
    }
    std::this_thread::sleep_for(2ms);
    for (size_t i = 0; i < running.size();) {
      const Running& c = running[i];
      int status = 0;
      bool hung = false;
      if (waitpid(c.pid, &status, WNOHANG) != c.pid) {
        if (Clock::now() - c.start < kWatchdog) {
          ++i;
          continue;
        }
        hung = true;
        kill(c.pid, SIGKILL);
        waitpid(c.pid, &status, 0);
      }
      verdicts.push_back(verdict(runs[c.run].name, c.fd, hung, status));
      close(c.fd);
      running.erase(running.begin() + static_cast<long>(i));
    }
  }
  return verdicts;
}

// Fails every cell that failed; true when the runs were possible at all.
bool report(const std::vector<Verdict>& verdicts, size_t wanted) {
  if (verdicts.size() != wanted)
    ADD_FAILURE() << "could not start every child (" << verdicts.size() << " of " << wanted << ")";
  for (const Verdict& v : verdicts) {
    if (v.skipped)
      return false;
    if (!v.failure.empty())
      ADD_FAILURE() << v.name << ": " << v.failure;
  }
  return true;
}

// Runs only the cells whose name holds $KIV_WAITS_CELLS, when it is set: a
// failing cell again, on its own.
std::string only_cells() {
  const char* filter = std::getenv("KIV_WAITS_CELLS");
  return filter != nullptr ? filter : "";
}

// The cells that hung or returned early before the library's waits were
// decided in one place; a sampled run always takes them.
const char* const kOnceFailed[] = {
    "closing by an application thread / an application thread / close own",
    "closing by an application thread / slot 1's reader / close other",
    "closing by an application thread / an interrupt thread / close own",
    "closing by slot 1's reader / an application thread / close own",
    "closing by slot 1's reader / slot 0's reader / close other",
    "closing by slot 1's reader / slot 0's reader / register string other",
    "closing by slot 1's reader / slot 0's reader / replace other",
    "closing by slot 1's reader / slot 0's reader / unregister other",
    "closing by slot 1's reader / an interrupt thread / close own",
    "closing by an interrupt thread / an application thread / close own",
    "closing by an interrupt thread / slot 1's reader / close other",
    "closing by an interrupt thread / an interrupt thread / close own",
    "unregistering by slot 1's reader / slot 0's reader / close other",
    "unregistering by slot 1's reader / slot 0's reader / register string other",
    "unregistering by slot 1's reader / slot 0's reader / replace other",
    "unregistering by slot 1's reader / slot 0's reader / unregister other",
    "closed by its own callback, which is closing port 1 / an application thread / close other",
    "closed by its own callback, which is closing port 1 / slot 1's reader / open /dev/com1",
    "closed by its own callback, which is closing port 1 / slot 1's reader / open /dev/com3",
    "closed by its own callback, which is closing port 1 / slot 1's reader / close other",
    "closed by its own callback, which is closing port 1 / slot 1's reader / register string other",
    "closed by its own callback, which is closing port 1 / slot 1's reader / replace other",
    "closed by its own callback, which is closing port 1 / slot 1's reader / unregister other",
    "closed by its own callback, which is closing port 1 / an interrupt thread / close other",
};

TEST(SerialWaits, EveryCallFromEveryThreadInEveryState) {
  std::vector<Cell> cells;
  int not_applicable = 0;
  for (int s = 0; s < kStateCount; ++s)
    for (int r = 0; r < kRoleCount; ++r)
      for (int c = 0; c < kCallCount; ++c) {
        const Cell cell{s, r, c};
        if (cell.applicable())
          cells.push_back(cell);
        else
          ++not_applicable;
      }
  const char* everything = std::getenv("KIV_WAITS_ALL");
  if (KIV_WAITS_SAMPLED && (everything == nullptr || *everything == '\0')) {
    std::vector<Cell> chosen, rest;
    for (const Cell& cell : cells) {
      const bool named = std::any_of(std::begin(kOnceFailed), std::end(kOnceFailed),
                                     [&](const char* n) { return cell.name() == n; });
      (named ? chosen : rest).push_back(cell);
    }
    EXPECT_EQ(chosen.size(), std::size(kOnceFailed)) << "a named cell is not in the table";
    std::shuffle(rest.begin(), rest.end(), std::mt19937(20261207));
    rest.resize(std::min<size_t>(rest.size(), kRandomCells));
    chosen.insert(chosen.end(), rest.begin(), rest.end());
    cells = chosen;
  }
  std::vector<CellRun> runs;
  for (const Cell& cell : cells)
    if (cell.name().find(only_cells()) != std::string::npos)
      runs.push_back({cell.name(), [cell] { run_table_cell(cell); }});
  const Clock::time_point start = Clock::now();
  const std::vector<Verdict> verdicts = run_children(runs);
  if (!report(verdicts, runs.size()))
    GTEST_SKIP() << "no sandbox here";
  const auto failed = std::count_if(verdicts.begin(), verdicts.end(),
                                    [](const Verdict& v) { return !v.failure.empty(); });
  std::printf(
      "[ waits    ] %zu cells run (%d of the table not applicable), %ld failed, in %.1f s\n",
      runs.size(), not_applicable, static_cast<long>(failed),
      std::chrono::duration<double>(Clock::now() - start).count());
}

// The circles of two threads that hung or returned early before, by name.
TEST(SerialWaits, TwoThreadsWaitingForEachOther) {
  const struct {
    const char* what;
    Cell cell;
  } circles[] = {
      {"(a) a second close waits for the first", {2, 0, 3}},
      {"(b) an open joining a reader that is joining the opener's", {10, 2, 2}},
      {"(c) two callbacks closing each other's port", {3, 1, 4}},
      {"(d) two callbacks unregistering each other's", {7, 1, 10}},
  };
  std::vector<CellRun> runs;
  for (const auto& c : circles) {
    EXPECT_TRUE(c.cell.applicable()) << c.what;
    runs.push_back({std::string(c.what) + ": " + c.cell.name(), [c] { run_table_cell(c.cell); }});
  }
  runs.push_back({"(d) the input and trigger lines' callbacks unregistering each other's",
                  run_input_lines_cell});
  if (!report(run_children(runs), runs.size()))
    GTEST_SKIP() << "no sandbox here";
}

}  // namespace

#if defined(__SANITIZE_THREAD__)
// A cell's child ends with _exit, which ThreadSanitizer would put off by a
// second for other threads to finish; the cell has joined its own by then.
extern "C" const char* __tsan_default_options() {
  return "atexit_sleep_ms=0";
}
#endif

// The reopen of the "being reopened" state holds inside its wait for output
// to leave the line: a thread that set tl_hold_output_wait waits at its next
// look at the output queue until everything is released.
extern "C" int ioctl(int fd, unsigned long request, ...) {
  using Ioctl = int (*)(int, unsigned long, void*);
  static Ioctl real = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  if (request == TIOCOUTQ && tl_hold_output_wait) {
    tl_hold_output_wait = false;
    g_output_held = true;
    std::unique_lock<std::mutex> lock(g_output_mutex);
    g_output_cv.wait(lock, [] { return g_output_open; });
  }
  return real(fd, request, arg);
}
