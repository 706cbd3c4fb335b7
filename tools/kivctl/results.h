// SPDX-License-Identifier: MIT
// Where kivctl's output goes. The library writes its own log lines ("[KIV-IO]
// ...") to standard output; the tool moves them to standard error, so that
// what it prints as results (and as JSON) stays one clean stream.
#pragma once

#include <cstdio>
#include <string>

namespace kivctl {

// Exit statuses of every command (doctor adds its own: 1 warnings, 2 failures).
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// Keeps the standard output the tool was started with for its results and
// points descriptor 1 at standard error. Call once, before the library runs.
void separate_results();
// The results stream, line buffered so that watched events leave at once.
FILE* results();
// Flushes the results and closes the descriptor kept for them.
void close_results();
// Keeps the library's log lines (standard output and error alike) out of
// sight: both descriptors go to /dev/null, and the tool's own complaints
// keep the standard error it was started with. Call after
// separate_results(). loud_library() gives the log its place back.
void quiet_library();
void loud_library();
bool library_quiet();
// What became of the results written so far.
enum class Delivery {
  kTaken,        // written (or buffered by the system)
  kReaderGone,   // the reader has gone: a pipe into head that ended
  kWriteFailed,  // another write error (a full disk, say), said by complain()
};
// Flushes the results and says what became of them.
Delivery deliver_results();

// Writes `line` and a newline to the results.
void result_line(const std::string& line);
// Writes `bytes` as they are to the results.
void result_bytes(const std::string& bytes);
// One line "kivctl: <context><text>" on standard error; returns kFailed.
int complain(const std::string& text);
// What complaints start with until it is set again ("line 3: " in a shell).
void set_complaint_context(const std::string& context);
// A line of the tool's own about what it is doing ("watching com1"), on
// standard error; none under quiet_library().
void notice(const std::string& text);

}  // namespace kivctl
