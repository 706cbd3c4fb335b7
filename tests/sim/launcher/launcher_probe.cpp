// SPDX-License-Identifier: MIT
// A program for the launcher's tests, run on the simulated board. It does
// what its arguments say, in order:
//   connect                  connect to the GPIO socket in KIV_SIM_GPIO_SOCKET
//                            and take the launcher's hand-over of the board's
//                            lines, printing "handed LINE" for each
//   report LINE              send a report line to the launcher
//   expect N                 read N command lines, print "got LINE"; an edge
//                            is answered as the stand-in does (read, handler)
//   write1 TEXT, write2 TEXT write TEXT (escapes decoded) to /dev/com1, /dev/com2
//   try-write1 TEXT          write TEXT to com1, print "com1 write ok" or
//                            "com1 write failed: REASON"
//   close1                   close com1: the next use opens it again
//   read1 N, read2 N         read N bytes (5 s at most), print "comN got HEX"
//   quiet1 MS                end with status 5 if anything arrives on com1 in MS
//   sleep MS                 pause
//   print TEXT, eprint TEXT  a line on standard output, standard error
//   print-partial TEXT       text without a newline
//   show-file PATH           print the file's lines as "file: LINE"
//   show-env NAME            print "env NAME=value"
//   i2c-write HEX            write the bytes to 0x18 on "/dev/i2c-5", print the outcome
//   i2c-read REG             read register REG's 4 bytes, print "i2c read HEX"
//   ignore-term              ignore SIGTERM
//   hang                     wait for a signal forever
//   exit CODE                end with CODE
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "byte_text.h"

namespace {

int g_gpio = -1;
int g_ports[3] = {-1, -1, -1};

[[noreturn]] void die(const std::string& why) {
  std::fprintf(stderr, "probe: %s\n", why.c_str());
  std::exit(99);
}

void send_line(const std::string& line) {
  std::string data = line + "\n";
  if (write(g_gpio, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
    die("report failed");
}

std::string read_line() {
  std::string line;
  char c;
  while (read(g_gpio, &c, 1) == 1) {
    if (c == '\n')
      return line;
    line += c;
  }
  die("GPIO socket closed");
}

int port(int n) {
  if (g_ports[n] >= 0)
    return g_ports[n];
  std::string path = "/dev/com" + std::to_string(n);
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0)
    die("cannot open " + path);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return g_ports[n] = fd;
}

void connect_gpio() {
  const char* path = std::getenv("KIV_SIM_GPIO_SOCKET");
  if (!path)
    die("no KIV_SIM_GPIO_SOCKET");
  g_gpio = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path);
  if (connect(g_gpio, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    die("connect failed");
  for (std::string line = read_line(); line != "handed-over"; line = read_line()) {
    std::printf("handed %s\n", line.c_str());
    std::fflush(stdout);
  }
}

void expect(int count) {
  for (int i = 0; i < count; ++i) {
    std::string line = read_line();
    std::printf("got %s\n", line.c_str());
    std::fflush(stdout);
    int pin = 0, level = 0;
    if (std::sscanf(line.c_str(), "edge %d %d", &pin, &level) == 2) {
      send_line("read " + std::to_string(pin) + " " + std::to_string(level));
      send_line("handler-start " + std::to_string(pin));
      send_line("handler-end " + std::to_string(pin));
    }
  }
}

void read_port(int n, int count) {
  std::string got;
  int fd = port(n);
  while (static_cast<int>(got.size()) < count) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0)
      break;
    char buf[256];
    ssize_t r = read(fd, buf, std::min(sizeof buf, static_cast<size_t>(count) - got.size()));
    if (r <= 0)
      break;
    got.append(buf, static_cast<size_t>(r));
  }
  std::printf("com%d got %s\n", n, kivsim::hex_bytes(got).c_str());
  std::fflush(stdout);
}

// One request to the lens controller, as the library makes it.
void i2c_request(i2c_msg* msgs, unsigned count) {
  int fd = open("/dev/i2c-5", O_RDWR);
  if (fd < 0) {
    std::printf("i2c open failed: %s\n", std::strerror(errno));
  } else {
    i2c_rdwr_ioctl_data data = {msgs, count};
    if (ioctl(fd, I2C_RDWR, &data) < 0)
      std::printf("i2c failed: %s\n", std::strerror(errno));
    else if (msgs[count - 1].flags & I2C_M_RD)
      std::printf("i2c read %s\n",
                  kivsim::hex_bytes(std::string(reinterpret_cast<char*>(msgs[count - 1].buf),
                                                msgs[count - 1].len))
                      .c_str());
    else
      std::printf("i2c ok\n");
    close(fd);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string v = i + 1 < argc ? argv[i + 1] : "";
    bool takes = a != "connect" && a != "ignore-term" && a != "hang" && a != "close1";
    if (takes && i + 1 >= argc)
      die(a + " needs a value");
    if (takes)
      ++i;
    std::string bytes, error;
    if (a == "connect") {
      connect_gpio();
    } else if (a == "report") {
      send_line(v);
    } else if (a == "expect") {
      expect(std::atoi(v.c_str()));
    } else if (a == "write1" || a == "write2") {
      if (!kivsim::decode_escapes(v, bytes, error))
        die(error);
      int fd = port(a[5] - '0');
      if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        die("write failed");
    } else if (a == "try-write1") {
      if (!kivsim::decode_escapes(v, bytes, error))
        die(error);
      const bool ok =
          write(port(1), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
      std::printf("com1 write %s\n",
                  ok ? "ok" : ("failed: " + std::string(std::strerror(errno))).c_str());
      std::fflush(stdout);
    } else if (a == "close1") {
      close(port(1));
      g_ports[1] = -1;
    } else if (a == "read1" || a == "read2") {
      read_port(a[4] - '0', std::atoi(v.c_str()));
    } else if (a == "quiet1") {
      pollfd p{port(1), POLLIN, 0};
      if (poll(&p, 1, std::atoi(v.c_str())) > 0)
        return 5;
    } else if (a == "sleep") {
      usleep(static_cast<useconds_t>(std::atoi(v.c_str())) * 1000);
    } else if (a == "print" || a == "eprint" || a == "print-partial") {
      std::FILE* f = a == "eprint" ? stderr : stdout;
      std::fprintf(f, a == "print-partial" ? "%s" : "%s\n", v.c_str());
      std::fflush(f);
    } else if (a == "show-file") {
      std::ifstream in(v);
      if (!in)
        std::printf("file: cannot open %s\n", v.c_str());
      for (std::string line; std::getline(in, line);)
        std::printf("file: %s\n", line.c_str());
      std::fflush(stdout);
    } else if (a == "show-env") {
      const char* value = std::getenv(v.c_str());
      std::printf("env %s=%s\n", v.c_str(), value ? value : "(unset)");
      std::fflush(stdout);
    } else if (a == "i2c-write") {
      std::string frame;
      for (size_t at = 0; at + 1 < v.size(); at += 2)
        frame += static_cast<char>(std::strtol(v.substr(at, 2).c_str(), nullptr, 16));
      i2c_msg msg = {0x18, 0, static_cast<uint16_t>(frame.size()),
                     reinterpret_cast<uint8_t*>(frame.data())};
      i2c_request(&msg, 1);
    } else if (a == "i2c-read") {
      int reg = std::atoi(v.c_str());
      uint8_t address[2] = {static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg)};
      uint8_t word[4] = {};
      i2c_msg msgs[2] = {{0x18, 0, 2, address}, {0x18, I2C_M_RD, 4, word}};
      i2c_request(msgs, 2);
    } else if (a == "ignore-term") {
      signal(SIGTERM, SIG_IGN);
    } else if (a == "hang") {
      for (;;)
        pause();
    } else if (a == "exit") {
      return std::atoi(v.c_str());
    } else {
      die("unknown action " + a);
    }
  }
  return 0;
}
