// SPDX-License-Identifier: MIT
// A stand-in's end of its link to the launcher: the Unix stream socket named
// by an environment variable, one report a line, each stamped where the call
// happens (CLOCK_MONOTONIC nanoseconds, the clock the launcher orders events
// by). Used by the GPIO and the strip stand-ins alike.
//
// A report never waits for the launcher: what the socket does not take waits
// in a bounded backlog, which the reporter's thread sends as the launcher
// reads again. Past the bound reports are counted as lost; once the backlog
// is out, "lost <count>" follows, then the stand-in's catch-up lines (the
// state its lost reports would have shown: the level of every line written,
// the strip's last init and render), stamped when the catch-up is made. A
// slow launcher thus costs reports, never the link; only a launcher that hung
// up ends reporting. The stand-in keeps its catch-up lines here, changed in
// the same step as the report that changes them, so that the catch-up's time
// and the reports' times agree on which came first.
//
// Set-up allocates everything; a report allocates nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace kivsim {
namespace link {

class Reporter {
 public:
  struct Setup {
    const char* variable;  // names the socket, e.g. "KIV_SIM_GPIO_SOCKET"
    const char* who;       // the stand-in, in its messages: "[wiringPi stand-in]"
    size_t max_line;       // longest report, with its time and newline
    int catch_up_lines;    // catch-up lines kept
    // Carries out a line the launcher sent (without its newline), on the
    // reporter's thread with no lock held; null for a stand-in that takes
    // no commands.
    void (*on_command)(std::string_view line);
    // Called once the launcher hung up, on the reporter's thread with no lock
    // held; null for none.
    void (*on_hangup)();
  };
  // A change of the catch-up that goes with a report.
  struct Keep {
    int line = -1;          // this catch-up line becomes `text` ("" removes it)
    std::string_view text;  // without time, with its newline
    int remove = -1;        // and this one is removed
  };
  // At most this much waits for the launcher before reports are lost.
  static constexpr size_t kBacklogLimit = 64 * 1024;

  explicit Reporter(const Setup& setup) : setup_(setup) {}
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // Connects to the socket the variable names, once, and starts the thread.
  // Does nothing when the variable is unset. True once a connection was
  // made, also when the launcher has hung up since: the thread is then there
  // for stop() to join.
  bool connect();
  // Cheap: read without the lock, so that an unconnected stand-in reports at
  // no cost.
  bool reporting() const { return reporting_.load(std::memory_order_relaxed); }
  // Sends `line` (an encoded report without time, with its newline) stamped
  // now, and changes the catch-up as `keep` says.
  void report(std::string_view line, const Keep& keep);
  void report(std::string_view line) { report(line, Keep()); }
  // Sends what is left within `flush_ms`, stops the thread and closes the
  // socket; reporting ends for good. The thread itself may call it.
  void stop(int flush_ms);

 private:
  size_t pending() const { return end_ - begin_; }
  void append(int64_t stamp, std::string_view line);
  void keep(const Keep& k);
  void send_backlog();
  void catch_up();
  bool send_pending();
  void run(int sock, int wake, int kick);
  void take_commands(const char* data, size_t n, std::vector<char>& line, bool& overlong);

  const Setup setup_;
  std::atomic<bool> reporting_{false};
  // Guards everything below; taken after any lock of the stand-in's own.
  std::mutex mutex_;
  bool tried_ = false;
  bool connected_ = false;
  bool hung_up_ = false;
  bool stopping_ = false;
  bool thread_sends_ = false;  // the thread waits for room: no need to wake it
  int socket_ = -1;
  int wake_ = -1;  // eventfd that ends the thread
  int kick_ = -1;  // eventfd that has the thread wait for room
  std::thread thread_;
  std::vector<char> backlog_;  // [begin_, end_) not sent yet
  size_t begin_ = 0, end_ = 0;
  long long lost_ = 0;
  std::vector<char> kept_;  // catch_up_lines slots of max_line bytes
  std::vector<size_t> kept_size_;
};

}  // namespace link
}  // namespace kivsim
