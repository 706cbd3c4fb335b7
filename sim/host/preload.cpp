// SPDX-License-Identifier: MIT
#include "preload.h"

#include <elf.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "bounded_file.h"

namespace kivsim {
namespace {

// The largest program file read for its needs: several times our largest
// (a sanitised launcher, about 30 MiB).
constexpr size_t kProgramFileLimit = size_t{256} << 20;

// qemu-user options followed by a value; the first other word is the program.
const char* const kEmulatorValueOptions[] = {"-E",     "-U",      "-L", "-cpu", "-B", "-R",
                                             "-d",     "-D",      "-p", "-0",   "-g", "-seed",
                                             "-trace", "-plugin", "-s", "-r"};

bool takes_value(const std::string& option) {
  for (const char* o : kEmulatorValueOptions)
    if (option == o)
      return true;
  return false;
}

bool is_sanitizer_runtime(const std::string& name) {
  for (const char* prefix :
       {"libasan.so", "libtsan.so", "libubsan.so", "liblsan.so", "libhwasan.so"})
    if (name.compare(0, std::strlen(prefix), prefix) == 0)
      return true;
  return false;
}

// The program file exec would run: a path as given, a bare name from PATH.
std::string find_program(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return name;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t end = dirs.find(':', start);
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (end == std::string::npos)
      return name;
    start = end + 1;
  }
}

template <typename T>
bool at(const std::string& file, size_t offset, T& out) {
  if (offset > file.size() || file.size() - offset < sizeof(T))
    return false;
  std::memcpy(&out, file.data() + offset, sizeof(T));
  return true;
}

}  // namespace

std::vector<std::string> sanitizer_runtimes(const std::string& elf_path) {
  std::vector<std::string> out;
  std::string file;
  if (!read_bounded_file(elf_path, kProgramFileLimit, file).empty())
    return out;
  Elf64_Ehdr eh;
  // Our boards and PCs are 64-bit little-endian; other files need nothing.
  if (!at(file, 0, eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
      eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB)
    return out;
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr dyn, strtab;
    if (!at(file, eh.e_shoff + i * sizeof(Elf64_Shdr), dyn) || dyn.sh_type != SHT_DYNAMIC ||
        !at(file, eh.e_shoff + dyn.sh_link * sizeof(Elf64_Shdr), strtab))
      continue;
    for (size_t off = dyn.sh_offset; off + sizeof(Elf64_Dyn) <= dyn.sh_offset + dyn.sh_size;
         off += sizeof(Elf64_Dyn)) {
      Elf64_Dyn d;
      if (!at(file, off, d) || d.d_tag == DT_NULL)
        break;
      size_t name_at = strtab.sh_offset + d.d_un.d_val;
      if (d.d_tag != DT_NEEDED || name_at >= file.size())
        continue;
      std::string name(file.c_str() + name_at);
      if (is_sanitizer_runtime(name))
        out.push_back(name);
    }
  }
  return out;
}

bool is_emulator(const std::string& program) {
  std::string base = program.substr(program.rfind('/') + 1);
  return base.compare(0, 5, "qemu-") == 0;
}

void preload_library(std::vector<std::string>& program, std::vector<std::string>& env,
                     const std::string& library, const std::string& current) {
  if (program.empty())
    return;
  const bool emulated = is_emulator(program[0]);
  std::string target = program[0];
  if (emulated) {
    target.clear();
    for (size_t i = 1; i < program.size() && target.empty(); ++i) {
      if (program[i][0] != '-')
        target = program[i];
      else if (takes_value(program[i]))
        ++i;
    }
  }
  std::string value;
  for (const std::string& runtime : sanitizer_runtimes(find_program(target)))
    value += runtime + ":";
  value += library;
  // The launcher's own preload is the host's; an emulated program keeps to its own.
  if (!current.empty() && !emulated)
    value += ":" + current;
  if (emulated)
    program.insert(program.begin() + 1, {"-E", "LD_PRELOAD=" + value});
  else
    env.push_back("LD_PRELOAD=" + value);
}

}  // namespace kivsim
