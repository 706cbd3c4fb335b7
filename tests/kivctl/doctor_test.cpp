// SPDX-License-Identifier: MIT
// kivctl doctor on the simulated board: every check has a result, and each
// fails under the fault that should fail it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "kivctl_run.h"

namespace kivtest {
namespace {

const char* const kChecks[] = {"library", "board", "cpu",  "config", "com1",
                               "com2",    "i2c",   "lens", "strip"};

// The report's line of check `name` ("ok       com1     ..."), or "".
std::string check_line(const LauncherRun& run, const std::string& name) {
  for (const std::string& line : program_lines(run))
    if (line.size() > 18 && line.compare(9, name.size() + 1, name + " ") == 0)
      return line;
  return "";
}

TEST(KivctlDoctor, AHealthyBoardIsAllOk) {
  LauncherRun run = run_kivctl({"--cpu-serial", "10000000abcdef01"}, {"doctor", "-v"});
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* name : kChecks)
    EXPECT_EQ(check_line(run, name).rfind("ok ", 0), 0u) << name << "\n" << run.trace_text();
  EXPECT_TRUE(printed(run, "I2C_FUNCS 0x00000001"));
  EXPECT_EQ(program_lines(run).back(), "0 warnings, 0 failures") << run.trace_text();
  // Read-only: no line, port or strip was touched.
  EXPECT_EQ(run.event_with("setup ok"), nullptr);
  EXPECT_EQ(run.event_with("started: 800000 Hz"), nullptr);
}

TEST(KivctlDoctor, ActiveExercisesTheDevice) {
  LauncherRun run =
      run_kivctl({"--cpu-serial", "10000000abcdef01"}, {"doctor", "--active", "--json"});
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* text :
       {"9 LEDs: 0000ff x9", "9 LEDs: ff0000 x9", "39 2D 01 0D 0A", "39 2D 00 0D 0A",
        "\"check\":\"lens-rw\",\"details\":[],"
        "\"result\":\"ok\""})
    EXPECT_NE(run.event_with(text), nullptr) << "missing: " << text << "\n" << run.trace_text();
}

struct Fault {
  const char* name;
  std::vector<std::string> launcher;  // launcher options
  std::string before;                 // shell words run before the doctor
  std::string args;                   // the doctor's
  const char* check;
  const char* line;  // the start of its line, after the check's name
  int status;
};

TEST(KivctlDoctor, EachCheckFailsUnderItsFault) {
  if (emulated())
    GTEST_SKIP() << "faults are made by a shell, which the emulator would not preload";
  ScratchFile ini("ul.ini", "[LIGHT]\nsection_1 = 4\nbogus line\n[CMD]\ntimeout_ns = 3\nx = 1\n");
  ScratchFile lens_off("lens.script", "lens remove\n");
  ScratchFile lens_nack("lens.script", "lens nack\n");
  ScratchFile no_channel("ul.ini", "[LIGHT]\nsection_1 = 7\n");
  ScratchFile long_pause("ul.ini", "[CMD]\ntimeout_ns = 120000\n");
  const Fault faults[] = {
      {"no board revision",
       {},
       "mount --bind /dev/null /proc/cpuinfo",
       "doctor",
       "board",
       "the GPIO library cannot identify the board",
       2},
      {"missing port", {}, "rm /dev/com1", "doctor", "com1", "/dev/com1 is missing", 2},
      {"held port",
       {},
       "sleep 3 </dev/com2 >/dev/null 2>&1 & sleep 0.3",
       "doctor",
       "com2",
       "/dev/com2 is held by process",
       2},
      {"serial console",
       {"--kernel-cmdline", "console=com1,115200 rootwait"},
       "true",
       "doctor",
       "com1",
       "/dev/com1 carries the kernel's serial console (console=com1,115200",
       2},
      {"lens removed",
       {"--script", lens_off.path()},
       "sleep 0.5",
       "doctor",
       "i2c",
       "/dev/i2c-5 cannot be opened: No such file or directory",
       2},
      {"lens silent",
       {"--script", lens_nack.path()},
       "sleep 0.5",
       "doctor",
       "lens",
       "the lens controller does not answer",
       2},
      {"no terminal",
       {},
       "rm /dev/com1; mknod /dev/com1 c 1 3",
       "doctor",
       "com1",
       "/dev/com1 is no terminal (Inappropriate ioctl for device)",
       2},
      // Behind a bus that failed, the lens has the bus's verdict, not advice
      // about its cable.
      {"lens behind a missing bus",
       {"--script", lens_off.path()},
       "sleep 0.5",
       "doctor",
       "lens",
       "not checked: the I2C bus failed its check (see i2c)",
       2},
      {"lens behind a bus without transfers",
       {"--i2c-funcs", "0"},
       "true",
       "doctor",
       "lens",
       "not checked: the I2C bus failed its check (see i2c)",
       2},
      {"section on no channel",
       {"--ini", no_channel.path()},
       "true",
       "doctor",
       "config",
       "/etc/ul-opx3000.ini: [LIGHT] section_1 = 7 names no channel (1 to 4)",
       1},
      {"a pause of minutes",
       {"--ini", long_pause.path()},
       "true",
       "doctor",
       "config",
       "/etc/ul-opx3000.ini: [CMD] timeout_ns = 120000 makes every light controller write wait",
       1},
      {"no combined transfers",
       {"--i2c-funcs", "0x8"},
       "true",
       "doctor",
       "i2c",
       "/dev/i2c-5: the adapter does no combined transfers",
       2},
      {"broken ini lines",
       {"--ini", ini.path()},
       "true",
       "doctor",
       "config",
       "/etc/ul-opx3000.ini: lines 3, 6 refused; the other lines hold (sections to channels "
       "1->4 (ini), 2->2, 3->3, 4->4; pause 3 ms (ini))",
       1},
      {"strip cannot start",
       {},
       "export KIV_SIM_STRIP_INIT_RESULT=-3",
       "doctor --active",
       "strip",
       "the LED library cannot start here: Hardware revision is not supported (-3)",
       2},
      {"audio driver",
       {"--kernel-modules", "i2c_dev,snd_bcm2835"},
       "true",
       "doctor",
       "strip",
       "the onboard audio driver snd_bcm2835 is loaded",
       1},
      {"no library",
       {"--lib-path", "/nonexistent"},
       "unset LD_LIBRARY_PATH",
       "doctor",
       "library",
       "libkiv_io.so does not load",
       2},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    LauncherRun run = run_kivctl_after(f.launcher, f.before, f.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, f.status) << run.out << run.err;
    std::string line = check_line(run, f.check);
    EXPECT_EQ(line.find(f.line), 18u) << line << "\n" << run.trace_text();
    EXPECT_EQ(line.rfind(f.status == 2 ? "failure" : "warning", 0), 0u) << line;
    // The last line counts what the lines above it say.
    int counts[2] = {0, 0};
    for (const std::string& l : program_lines(run))
      for (int i = 0; i < 2; ++i)
        counts[i] += l.rfind(i == 0 ? "warning  " : "failure  ", 0) == 0;
    auto counted = [](int n, const std::string& what) {
      return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    EXPECT_EQ(program_lines(run).back(),
              counted(counts[0], "warning") + ", " + counted(counts[1], "failure"));
  }
}

// The kernel cuts a process name after 15 bytes, also inside a character:
// the report stays valid JSON, with the cut byte replaced.
TEST(KivctlDoctor, AHolderNameCutInsideACharacterStaysValidJson) {
  if (emulated())
    GTEST_SKIP() << "the holder is made by a shell, which the emulator would not preload";
  LauncherRun run = run_kivctl_after(
      {},
      "n=$(printf 'abcdefghijklmn\\303\\251'); cp \"$(command -v sleep)\" \"/tmp/$n\"; "
      "\"/tmp/$n\" 3 </dev/com2 >/dev/null 2>&1 & sleep 0.3",
      "doctor --json");
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.event_with("/dev/com2 is held by process"), nullptr) << run.trace_text();
  EXPECT_NE(run.event_with("abcdefghijklmn\xEF\xBF\xBD"), nullptr) << run.trace_text();
}

// A user who may not look at other users' descriptors cannot tell the port
// free: a root process holds it here, unseen.
TEST(KivctlDoctor, PortsOtherUsersMayHoldAreNotCalledFree) {
  if (emulated())
    GTEST_SKIP() << "the holder is made by a shell, which the emulator would not preload";
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to run the doctor as another user";
  // A build below a folder only root may enter cannot run as another user.
  const std::string probe = "setpriv --reuid 65534 --regid 65534 --clear-groups " + kivctl_path() +
                            " --version >/dev/null 2>&1";
  if (std::system(probe.c_str()) != 0)
    GTEST_SKIP() << "the built kivctl cannot run as another user here";
  const std::string command =
      shell_preload() +
      "chmod 666 /dev/com2; sleep 3 </dev/com2 >/dev/null 2>&1 & sleep 0.3; "
      "exec setpriv --reuid 65534 --regid 65534 --clear-groups " +
      kivctl_path() + " doctor";
  LauncherRun run = run_traced({"/bin/sh", "-c", command});
  KIV_SKIP_WITHOUT_BOARD(run);
  const std::string line = check_line(run, "com2");
  EXPECT_EQ(line.rfind("warning", 0), 0u) << line << "\n" << run.trace_text();
  EXPECT_NE(line.find("processes of other users could not be checked"), std::string::npos) << line;
  EXPECT_EQ(line.find("free"), std::string::npos) << line;
}

// info and doctor read the file alike: the same verdict, and each refused
// line by its number with what was wrong with it.
TEST(KivctlDoctor, EveryRefusedLineOfTheConfigurationByItsNumber) {
  const struct {
    std::string ini;
    const char* line;  // the config check's line, after its name
    std::vector<std::string> why;
  } cases[] = {
      {"\xEF\xBB\xBF[LIGHT]\nsection_2=3 ; three\n",
       "ok       config   /etc/ul-opx3000.ini parsed: sections to channels 1->1, 2->3 (ini)",
       {}},
      // an unknown key, and the indented line that continues it
      {"[LIGHT]\nsection_1 = 2\nfoo = 1\n  more\n",
       "warning  config   /etc/ul-opx3000.ini: lines 3, 4 refused",
       {"line 3: [LIGHT] has no key 'foo' (section_1 to section_4)",
        "line 4: an indented line continues 'foo', which the library does not read"}},
      // a header without its bracket leaves the key after it in no section
      {"[LIGHT\nsection_1 = 2\n",
       "warning  config   /etc/ul-opx3000.ini: lines 1, 2 refused",
       {"line 1: a section's '[' without its ']'",
        "line 2: 'section_1' stands before any section"}},
      {"words\n[cmd]\ntimeout_ns = 5\nno equals\n",
       "warning  config   /etc/ul-opx3000.ini: lines 1, 3, 4 refused",
       {"line 1: no '=' between a key and its value",
        "line 3: [cmd] is no section the library reads ([LIGHT], [CMD])",
        "line 4: no '=' between a key and its value"}},
      // a line longer than the parser takes goes on as a line of its own;
      // the lines after it keep their numbers
      {"[CMD]\ntimeout_ns = " + std::string(250, '1') + "\n",
       "warning  config   /etc/ul-opx3000.ini: line 2 refused",
       {"line 2: longer than the 199 characters the parser reads at once; the rest, read as a "
        "line of its own: no '=' between a key and its value"}},
      {"[LIGHT]\n;" + std::string(210, 'x') + " section_9 = 4\nsection_1 = 2\nbogus = 1\n",
       "warning  config   /etc/ul-opx3000.ini: lines 2, 4 refused",
       {"line 2: longer than the 199 characters the parser reads at once; the rest, read as a "
        "line of its own: [LIGHT] has no key 'xxxxxxxxxxxx section_9' (section_1 to section_4)",
        "line 4: [LIGHT] has no key 'bogus' (section_1 to section_4)"}},
      // an indented line continues the key above it, '=' or not; control
      // bytes are shown escaped
      {"[LIGHT]\nfoo = 1\n  bar = 2\n\x1B[31m = 1\n",
       "warning  config   /etc/ul-opx3000.ini: lines 2, 3, 4 refused",
       {"line 2: [LIGHT] has no key 'foo' (section_1 to section_4)",
        "line 3: an indented line continues 'foo', which the library does not read",
        "line 4: [LIGHT] has no key '\\x1B[31m' (section_1 to section_4)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    ScratchFile ini("ul.ini", c.ini);
    LauncherRun info = run_kivctl({"--ini", ini.path()}, {"info"});
    LauncherRun doctor = run_kivctl({"--ini", ini.path()}, {"doctor"});
    KIV_SKIP_WITHOUT_BOARD(doctor);
    EXPECT_EQ(check_line(doctor, "config").rfind(c.line, 0), 0u) << check_line(doctor, "config");
    // Each reason from info, and the same from the doctor.
    for (const LauncherRun* run : {&info, &doctor}) {
      std::vector<std::string> said;
      for (const std::string& line : program_lines(*run)) {
        const size_t text = line.find_first_not_of(' ');
        if (text != std::string::npos && text >= 12 && line.compare(text, 5, "line ") == 0)
          said.push_back(line.substr(text));
      }
      EXPECT_EQ(said, c.why) << run->trace_text();
    }
    EXPECT_TRUE(printed(info, c.why.empty() ? "config      /etc/ul-opx3000.ini: parsed"
                                            : "config      /etc/ul-opx3000.ini: failed (" +
                                                  std::to_string(c.why.size()) + " refused)"))
        << info.trace_text();
  }
}

}  // namespace
}  // namespace kivtest
