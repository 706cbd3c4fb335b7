// SPDX-License-Identifier: MIT
// kivctl light: the light controller on "/dev/com2".
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <optional>

#include <memory>
#include <string>

#include "argument_checks.h"
#include "byte_words.h"
#include "command_line.h"
#include "kiv_serial.h"
#include "light/light_frame.h"
#include "results.h"
#include "serial/port_table.h"
#include "watch/stop_signals.h"

namespace kivctl {
namespace {

struct LightArgs {
  int section = 0;
  std::string state;
  int mode = 0;
  bool auto_off = false;
  int count = 0;
  int time = 0;
  int brightness = 0;
  std::string frame;
};

int written(const std::string& what, int result) {
  if (result == 0)
    return kDone;
  return complain("light " + what + ": the library answered " + std::to_string(result) +
                  " (refused, or the light controller's port could not be written)");
}

int switch_section(kiv::KivIo& io, const LightArgs& a) {
  int result =
      a.state == "on" ? io.enableLightSection(a.section) : io.disableLightSection(a.section);
  return written("section " + std::to_string(a.section) + " " + a.state, result);
}

// open_light, close_light and the flash calls give no write result: the
// light controller's port counts its failed writes, so a call whose frames
// did not all reach the line is seen.
class FramesWatched {
 public:
  FramesWatched() : failed_before_(kiv::serial::failed_writes(kLightPort)) {}
  int outcome(const std::string& what) const {
    if (kiv::serial::failed_writes(kLightPort) == failed_before_)
      return kDone;
    return complain("light " + what +
                    ": the light controller's port could not be written (its line is down or "
                    "hung up)");
  }

 private:
  static constexpr int kLightPort = 1;
  unsigned failed_before_;
};

// How often the wait for the switch-off looks for a stop signal.
constexpr useconds_t kStopLookUs = 20 * 1000;

int light_on(kiv::KivIo& io, bool auto_off) {
  // With --auto-off, Ctrl-C (or SIGTERM, SIGHUP) from before the light comes
  // on until it is off switches it off at once: the tool never leaves a light
  // on that it promised to switch off.
  std::optional<StopSignals> signals;
  if (auto_off)
    signals.emplace();
  FramesWatched frames;
  if (io.open_light() != 0)
    return complain("light on: the light is on already");
  if (int status = frames.outcome("on"); status != kDone)
    return status;
  if (!auto_off)
    return kDone;
  // The library's own switch-off, on a thread of its own as an application
  // runs it.
  std::atomic<bool> done{false};
  struct Run {
    std::atomic<bool>* done;
    static void* main(void* self) {
      kiv::custom_light_run(nullptr);
      static_cast<Run*>(self)->done->store(true);
      return nullptr;
    }
  } run{&done};
  pthread_t thread;
  if (pthread_create(&thread, nullptr, Run::main, &run) != 0)
    return complain("light on --auto-off: cannot start the switch-off thread");
  FramesWatched off_frames;
  bool stopped = false;
  while (!done.load()) {
    if (!stopped && StopSignals::requested()) {
      // The switch-off thread sees the light off within its next look.
      stopped = true;
      io.close_light();
    }
    usleep(kStopLookUs);
  }
  pthread_join(thread, nullptr);
  if (int status = off_frames.outcome("on --auto-off"); status != kDone)
    return status;
  if (stopped)
    notice("light on --auto-off: stopped early; the light is off");
  return kDone;
}

int light_off(kiv::KivIo& io) {
  // The light-on flag lives in this process: after a light on by another
  // process the library would think the light is off and send nothing.
  if (__atomic_load_n(&kiv::t_light_on, __ATOMIC_RELAXED) != 0) {
    FramesWatched frames;
    io.close_light();
    return frames.outcome("off");
  }
  return written("off", io.callCmd(kiv::light::kLight, kiv::light::kLightOff));
}

// "C-A", the frame as the controller reads it without its CR LF: what is
// wrong with `text`, or "".
std::string frame_fault(const std::string& text) {
  std::string bytes, error;
  if (!unescape(text, bytes, error) || bytes.size() != 3 || bytes[1] != '-')
    return "'" + text + "' is no frame: give its three bytes 'C-A' (such as '1-1' or '9-\\x01')" +
           (error.empty() ? "" : ": " + error);
  return "";
}

int send_frame(kiv::KivIo& io, const std::string& text) {
  std::string bytes, error;
  unescape(text, bytes, error);
  return written("cmd " + text, io.callCmd(bytes[0], bytes[2]));
}

}  // namespace

void add_light_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<LightArgs>();
  CLI::App* light = app.add_subcommand("light", "Commands the light controller on /dev/com2");
  light->require_subcommand(1);
  explain(light,
          "Each command opens /dev/com2 (115200 8N1) in the slot the library's light calls "
          "write to and touches nothing else: no line moves, no other frame is sent.",
          "kivctl light section 1 on; kivctl light on --auto-off");
  auto act = [&set, a](std::function<int(kiv::KivIo&, const LightArgs&)> fn) {
    return [&set, a, fn] {
      set.action = [&set, a, fn] {
        set.session.device.light_port();
        return fn(set.session.device.instance(), *a);
      };
    };
  };

  CLI::App* section = light->add_subcommand(
      "section",
      "Switches light section N (1 to 4) on or off, on the controller channel "
      "that the board variant or /etc/ul-opx3000.ini maps it to.");
  // Arguments are checked as they are read, before anything moves.
  section->add_option("N", a->section, "light section, 1 to 4")
      ->required()
      ->transform(whole_in(1, 4));
  section->add_option("STATE", a->state, "on or off")->required()->check(one_of({"on", "off"}));
  explain(section, "", "kivctl light section 2 on");
  section->callback(act(switch_section));

  CLI::App* mode = light->add_subcommand("mode", "Sets the work mode M (its low 8 bits).");
  mode->add_option("M", a->mode, "work mode")->required()->transform(whole());
  explain(mode, "", "kivctl light mode 3");
  mode->callback(act([](kiv::KivIo& io, const LightArgs& x) {
    return written("mode " + std::to_string(x.mode), io.setWorkMode(x.mode));
  }));

  CLI::App* on = light->add_subcommand(
      "on", "Switches the light on, in work mode 5 (selected first when needed).");
  on->add_flag("--auto-off", a->auto_off,
               "stay until the library's automatic switch-off turns it off (2.9 s)");
  explain(on, "", "kivctl light on --auto-off");
  on->callback(act([](kiv::KivIo& io, const LightArgs& x) { return light_on(io, x.auto_off); }));

  CLI::App* off = light->add_subcommand("off", "Switches the light off.");
  explain(off, "", "kivctl light off");
  off->callback(act([](kiv::KivIo& io, const LightArgs&) { return light_off(io); }));

  CLI::App* flash = light->add_subcommand(
      "flash", "Sets the flash count and time (low 8 bits each) and flashes once.");
  flash->add_option("COUNT", a->count, "flash count")->required()->transform(whole());
  flash->add_option("TIME", a->time, "flash time")->required()->transform(whole());
  explain(flash, "", "kivctl light flash 3 20");
  flash->callback(act([](kiv::KivIo& io, const LightArgs& x) {
    FramesWatched frames;
    io.setLightFlashCount(x.count);
    io.setLightFlashTime(x.time);
    io.callLightFlash();
    return frames.outcome("flash");
  }));

  CLI::App* bright = light->add_subcommand("brightness", "Sets the brightness, 20 to 479.");
  bright->add_option("B", a->brightness, "brightness")->required()->transform(whole_in(20, 479));
  explain(bright, "", "kivctl light brightness 100");
  bright->callback(act([](kiv::KivIo&, const LightArgs& x) {
    return written("brightness " + std::to_string(x.brightness),
                   svSetBrightnessValue(x.brightness));
  }));

  CLI::App* cmd = light->add_subcommand(
      "cmd",
      "Sends any command frame: 'C-A' is its command byte, '-' and argument byte "
      "(\\xHH for a byte that is no character); CR LF follow.");
  cmd->add_option("TEXT", a->frame, "the frame, such as '1-1' or '9-\\x01'")
      ->required()
      ->check(CLI::Validator(frame_fault, "FRAME"));
  explain(cmd, "", "kivctl light cmd '6-1'");
  cmd->callback(act([](kiv::KivIo& io, const LightArgs& x) { return send_frame(io, x.frame); }));
}

}  // namespace kivctl
