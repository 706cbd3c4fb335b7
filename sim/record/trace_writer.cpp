// SPDX-License-Identifier: MIT
#include "trace_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "byte_text.h"
#include "led_text.h"

namespace kivsim {
namespace {

nlohmann::json light_json(const LightControllerState& s) {
  nlohmann::json channels = nlohmann::json::array();
  for (bool on : s.channel_on)
    channels.push_back(on);
  return {{"channels", channels},
          {"work_mode", s.work_mode},
          {"light", s.light_on},
          {"flash_count", s.flash_count},
          {"flash_time", s.flash_time},
          {"brightness", s.brightness},
          {"flashes", s.flashes},
          {"frames", s.frames},
          {"unknown_frames", s.unknown_frames}};
}

bool carries_result(const Event& e) {
  static const char* const kKinds[] = {"setup", "isr", "lost", "transfer", "init", "exit"};
  for (const char* kind : kKinds)
    if (e.kind == kind)
      return true;
  return false;
}

}  // namespace

std::string trace_line(const Event& e) {
  nlohmann::json j;
  j["seq"] = e.seq;
  j["t"] = static_cast<double>(e.time_ns) / 1e9;
  j["time_ns"] = e.time_ns;
  j["source"] = source_name(e.source);
  j["kind"] = e.kind;
  j["timing"] = e.timing == EventTiming::kSource ? "source" : "arrival";
  if (e.late)
    j["late"] = true;
  j["text"] = e.text;
  if (e.pin >= 0)
    j["pin"] = e.pin;
  if (e.level >= 0)
    j["level"] = e.level;
  if (carries_result(e))
    j["result"] = e.result;
  if (!e.bytes.empty())
    j["bytes"] = hex_bytes(e.bytes);
  if (e.source == EventSource::kStrip && e.kind == "render") {
    nlohmann::json leds = nlohmann::json::array();
    for (uint32_t word : e.leds)
      leds.push_back(led_hex(word));
    j["leds"] = leds;
  }
  if (e.lens_value >= 0)
    j["lens"] = e.lens_value;
  if (e.vtemp >= 0)
    j["vtemp"] = e.vtemp;
  if (e.source == EventSource::kLight)
    j["light"] = light_json(e.light);
  // The program's output may hold any bytes: what is no UTF-8 becomes U+FFFD.
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TraceWriter::~TraceWriter() {
  std::string ignored;
  close(ignored);
}

bool TraceWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  // O_NONBLOCK: a FIFO that no process reads yet would hold the open, and the
  // launcher with it, before the program starts; it fails with ENXIO instead.
  int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) {
    error = "cannot write the trace " + path + ": " +
            (errno == ENXIO ? "a FIFO that nothing has open for reading" : std::strerror(errno));
    return false;
  }
  // Once open, writes wait for a slow reader as they would on any file.
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !(file_ = fdopen(fd, "w"))) {
    error = "cannot write the trace " + path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  return true;
}

void TraceWriter::write(const Event& event) {
  if (!file_ || failed_)
    return;
  std::string line = trace_line(event);
  line += '\n';
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size())
    failed_ = true;
}

bool TraceWriter::close(std::string& error) {
  if (!file_)
    return true;
  bool ok = !failed_ && std::fflush(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok)
    error = "the trace " + path_ + " is incomplete: a write failed";
  return ok;
}

}  // namespace kivsim
