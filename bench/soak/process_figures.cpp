// SPDX-License-Identifier: MIT
#include "process_figures.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

namespace soak {
namespace {

// Entries of a /proc folder, without "." and "..".
int count_entries(const char* path) {
  DIR* dir = opendir(path);
  if (dir == nullptr)
    return -1;
  int n = 0;
  while (const dirent* e = readdir(dir))
    if (e->d_name[0] != '.')
      ++n;
  closedir(dir);
  return n;
}

}  // namespace

ProcessFigures process_figures() {
  ProcessFigures f;
  if (FILE* statm = std::fopen("/proc/self/statm", "re")) {
    long size = 0;
    long resident = 0;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) == 2)
      f.rss_kib = resident * (sysconf(_SC_PAGESIZE) / 1024);
    std::fclose(statm);
  }
  // Less the descriptor opendir holds while it counts.
  f.descriptors = count_entries("/proc/self/fd") - 1;
  f.threads = count_entries("/proc/self/task");
  return f;
}

ProcessFigures settled_figures() {
  ProcessFigures least = process_figures();
  for (int i = 0; i < 5; ++i) {
    usleep(20 * 1000);
    const ProcessFigures f = process_figures();
    least.descriptors = f.descriptors < least.descriptors ? f.descriptors : least.descriptors;
    least.threads = f.threads < least.threads ? f.threads : least.threads;
    least.rss_kib = f.rss_kib;
  }
  return least;
}

}  // namespace soak
