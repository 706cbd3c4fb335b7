// SPDX-License-Identifier: MIT
// The program the browser test watches: it sets every part of the device to
// a known state, then answers the view's actions: an input edge turns the
// alarm on and the strip red, text on com1 comes back as "pong: <text>",
// the light controller's notification switches DO2 off; "quit" on com1 ends
// it (exit status 0), as does a minute without it (status 1).
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "kiv_io.h"

namespace {

std::atomic<bool> g_quit{false};
kiv::KivIo* g_io = nullptr;

void say(const char* text) {
  std::printf("[probe] %s\n", text);
  std::fflush(stdout);
}

// On the input line's interrupt thread.
void on_input(int level) {
  std::printf("[probe] input callback: level %d\n", level);
  std::fflush(stdout);
  if (level == 1) {
    g_io->openAlarm();
    g_io->setRgbLight(3);  // red
  }
}

// On com1's reader thread.
void on_com1(char* chunk) {
  std::string text(chunk);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  std::printf("[probe] com1 sent \"%s\"\n", text.c_str());
  std::fflush(stdout);
  if (text == "quit") {
    g_quit = true;
    return;
  }
  std::string reply = "pong: " + text + "\r\n";
  g_io->writeAMA1(&reply[0], static_cast<int>(reply.size()));
}

// On com2's reader thread.
void on_notification() {
  say("notification");
  g_io->setDo2High(false);
}

}  // namespace

int main() {
  g_io = kiv::KivIo::getInstance();
  g_io->setup();
  g_io->registerInput(on_input);
  g_io->setAMA1Callback(on_com1);
  g_io->registerHardware(on_notification);

  g_io->openLaser();
  g_io->setScanStat(true);
  g_io->setDo1High(false);
  g_io->enableLightSection(1);
  g_io->setLightFlashCount(4);
  g_io->setLightFlashTime(25);
  g_io->open_light();  // work mode 5, then the light on
  g_io->setLiquid(1234);
  g_io->openVTemp();
  g_io->setRgbLight(2);  // green
  say("ready");

  int waited_ms = 0;
  while (!g_quit && waited_ms < 60000) {
    usleep(50 * 1000);
    waited_ms += 50;
  }
  kiv::KivIo::close_io();
  say(g_quit ? "done" : "nobody said quit");
  return g_quit ? 0 : 1;
}
