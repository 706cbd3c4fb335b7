// SPDX-License-Identifier: MIT
#include "sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace kivsim {
namespace {

bool g_entered = false;
std::string g_scratch;
std::map<std::string, std::pair<std::string, int>> g_ports;  // dev path -> (slave, slave fd)
bool g_cpuinfo_bound = false;
bool g_cmdline_bound = false;
bool g_modules_mounted = false;

// Every sandbox mounts its own scratch tmpfs over this one mount point, which
// is all it leaves on the host, however its process ends.
const char kSharedMountPoint[] = "/run/kiv-sandbox";
bool g_scratch_is_own_folder = false;

// Where the shared mount point cannot be made (no rights on /run), the
// scratch tmpfs sits on a folder of its own, removed at exit.
void remove_scratch() {
  umount2(g_scratch.c_str(), MNT_DETACH);
  rmdir(g_scratch.c_str());
}

std::string mount_scratch() {
  if ((mkdir(kSharedMountPoint, 0755) == 0 || errno == EEXIST) &&
      mount("tmpfs", kSharedMountPoint, "tmpfs", 0, "mode=0755") == 0) {
    g_scratch = kSharedMountPoint;
    return "";
  }
  char tmpl[] = "/tmp/kiv-sandbox-XXXXXX";
  if (!mkdtemp(tmpl))
    return "mkdtemp: " + std::string(std::strerror(errno));
  g_scratch = tmpl;
  g_scratch_is_own_folder = true;
  if (mount("tmpfs", g_scratch.c_str(), "tmpfs", 0, "mode=0755") != 0)
    return "tmpfs: " + std::string(std::strerror(errno));
  return "";
}

std::string errtext(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

bool write_file(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f)
    return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

// Outside the initial user namespace (not root), a user namespace of our own
// gives the rights to mount; map our own ids into it.
std::string enter_user_namespace() {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
    return errtext("unshare(user, mount)");
  write_file("/proc/self/setgroups", "deny");
  if (!write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n"))
    return errtext("uid_map");
  if (!write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
    return errtext("gid_map");
  return "";
}

std::string overlay(const char* target, const std::string& name) {
  std::string upper = g_scratch + "/" + name + "-upper";
  std::string work = g_scratch + "/" + name + "-work";
  if (mkdir(upper.c_str(), 0755) != 0 || mkdir(work.c_str(), 0755) != 0)
    return errtext("mkdir overlay");
  std::string opts = "lowerdir=" + std::string(target) + ",upperdir=" + upper + ",workdir=" + work;
  if (mount("overlay", target, "overlay", 0, opts.c_str()) != 0)
    return errtext((std::string("overlay on ") + target).c_str());
  return "";
}

// What a Raspberry Pi 4 shows, without the serial number line.
const char kBoardCpuinfo[] =
    "processor\t: 0\n"
    "BogoMIPS\t: 108.00\n"
    "Features\t: fp asimd evtstrm crc32 cpuid\n"
    "CPU implementer\t: 0x41\n"
    "CPU part\t: 0xd08\n"
    "\n"
    "Hardware\t: BCM2835\n"
    "Revision\t: d03114\n"
    "Model\t\t: Raspberry Pi 4 Model B Rev 1.4\n";

// A Pi's kernel command line without a serial console, and a module list
// without the onboard audio driver that would take the strip's PWM unit.
const char kBoardCmdline[] =
    "coherent_pool=1M 8250.nr_uarts=0 console=tty1 root=/dev/mmcblk0p2 rootfstype=ext4 "
    "fsck.repair=yes rootwait\n";
const std::vector<std::string> kBoardModules = {"i2c_dev", "i2c_bcm2835", "vc4"};

// Writes `content` to the scratch file `name` in place and, the first time,
// binds it over `proc_path`: the bind follows the file, not its name.
bool bind_proc_file(const char* proc_path, const char* name, const std::string& content,
                    bool& bound) {
  std::string file = g_scratch + "/" + name;
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  close(fd);
  if (!ok)
    return false;
  if (!bound) {
    if (mount(file.c_str(), proc_path, nullptr, MS_BIND, nullptr) != 0)
      return false;
    bound = true;
  }
  return true;
}

std::string do_enter() {
  if (unshare(CLONE_NEWNS) != 0) {
    std::string reason = enter_user_namespace();
    if (!reason.empty())
      return "no mount namespace: " + reason;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return errtext("private propagation");

  // A tmpfs of the namespace's own: everything in it vanishes with the namespace.
  std::string r = mount_scratch();
  if (!r.empty())
    return r;
  r = overlay("/dev", "dev");
  if (!r.empty())
    return r;
  if (mount("devpts", "/dev/pts", "devpts", 0, "newinstance,ptmxmode=0666,mode=0620") != 0)
    return errtext("devpts");
  unlink("/dev/ptmx");
  if (symlink("pts/ptmx", "/dev/ptmx") != 0)
    return errtext("/dev/ptmx");
  r = overlay("/etc", "etc");
  if (!r.empty())
    return r;
  // A Pi's own "/proc/cpuinfo" names the board's revision, by which the GPIO
  // library knows the board; a PC's does not.
  if (!Sandbox::set_cpuinfo(kBoardCpuinfo))
    return errtext("/proc/cpuinfo");
  if (!Sandbox::set_kernel_cmdline(kBoardCmdline))
    return errtext("/proc/cmdline");
  if (!Sandbox::set_kernel_modules(kBoardModules))
    return errtext("/sys/module");
  return "";
}

}  // namespace

std::string Sandbox::enter() {
  static std::string reason;
  if (g_entered)
    return reason;
  g_entered = true;
  reason = do_enter();
  if (g_scratch_is_own_folder)
    std::atexit(remove_scratch);
  return reason;
}

int Sandbox::add_port(const char* dev_path) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0)
    return -1;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    return -1;
  }
  char name[64];
  if (ptsname_r(master, name, sizeof name) != 0) {
    close(master);
    return -1;
  }
  int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    close(master);
    return -1;
  }
  // The master side plays a device: raw bytes, no echo or line discipline.
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  remove_port(dev_path);
  if (symlink(name, dev_path) != 0) {
    close(slave);
    close(master);
    return -1;
  }
  g_ports[dev_path] = {name, slave};
  return master;
}

void Sandbox::remove_port(const char* dev_path) {
  unlink(dev_path);
  auto it = g_ports.find(dev_path);
  if (it != g_ports.end()) {
    close(it->second.second);
    g_ports.erase(it);
  }
}

std::string Sandbox::port_slave(const char* dev_path) {
  auto it = g_ports.find(dev_path);
  return it == g_ports.end() ? std::string() : it->second.first;
}

bool Sandbox::write_etc_file(const char* name, const std::string& content, int mode) {
  std::string path = std::string("/etc/") + name;
  unlink(path.c_str());
  if (!write_file(path, content))
    return false;
  return chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

void Sandbox::remove_etc_file(const char* name) {
  unlink((std::string("/etc/") + name).c_str());
}

bool Sandbox::set_cpuinfo(const std::string& content) {
  return bind_proc_file("/proc/cpuinfo", "cpuinfo", content, g_cpuinfo_bound);
}

bool Sandbox::set_kernel_cmdline(const std::string& content) {
  return bind_proc_file("/proc/cmdline", "cmdline", content, g_cmdline_bound);
}

bool Sandbox::set_kernel_modules(const std::vector<std::string>& names) {
  // A fresh tmpfs each time: it drops the folders of the former list.
  if (g_modules_mounted)
    umount2("/sys/module", MNT_DETACH);
  g_modules_mounted = mount("tmpfs", "/sys/module", "tmpfs", 0, "mode=0755") == 0;
  if (!g_modules_mounted)
    return false;
  for (const std::string& name : names)
    if (name.find('/') != std::string::npos || name.empty() || name[0] == '.' ||
        mkdir(("/sys/module/" + name).c_str(), 0755) != 0)
      return false;
  return true;
}

bool Sandbox::hide_cpuinfo() {
  // Permissions do not stop root, but opening a socket inode fails (ENXIO)
  // for everyone: bind one over /proc/cpuinfo.
  std::string sock_path = g_scratch + "/cpuinfo.sock";
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock_path.c_str());
  unlink(sock_path.c_str());
  bool ok = bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(s);
  if (!ok)
    return false;
  if (g_cpuinfo_bound)
    umount2("/proc/cpuinfo", MNT_DETACH);
  g_cpuinfo_bound = mount(sock_path.c_str(), "/proc/cpuinfo", nullptr, MS_BIND, nullptr) == 0;
  return g_cpuinfo_bound;
}

std::string Sandbox::scratch_dir() {
  return g_scratch;
}

}  // namespace kivsim
