// SPDX-License-Identifier: MIT
// Runs a fuzz target's input function on every file named, and every file in
// every folder named, as libFuzzer would run its corpus, without libFuzzer:
// a fault ends the process (the sanitised builds) or fails the target's own
// checks. Prints how many inputs ran; no input at all is a failure, since an
// empty corpus tests nothing.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> inputs_in(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return {};
  if (!S_ISDIR(st.st_mode))
    return {path};
  std::vector<std::string> files;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..")
        files.push_back(path + "/" + name);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  size_t ran = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::string& file : inputs_in(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++ran;
    }
  }
  std::printf("%zu inputs replayed\n", ran);
  return ran > 0 ? 0 : 1;
}
