// SPDX-License-Identifier: MIT
// Putting a library (the I2C layer) into the program the launcher runs, ahead
// of the C library, in whatever way that program needs:
//   - a program built with a sanitizer needs the sanitizer's runtime first in
//     LD_PRELOAD, so its runtimes (read from the program's ELF file) lead;
//   - a program run through qemu-user ("qemu-aarch64 PROGRAM ...") gets the
//     preload as "-E LD_PRELOAD=..." for the emulated program, since the
//     emulator itself is a program of the host;
//   - an LD_PRELOAD already in the launcher's environment is kept after it
//     (not for an emulated program, for which it would name host libraries).
#pragma once

#include <string>
#include <vector>

namespace kivsim {

// The sanitizer runtimes (libasan.so.8, libtsan.so.2, ...) an ELF file
// needs, in its order; none when it is no ELF file or cannot be read (not a
// regular file, or larger than 256 MiB: a device or a FIFO is never read).
std::vector<std::string> sanitizer_runtimes(const std::string& elf_path);

// Whether `program` names a qemu-user emulator ("qemu-aarch64", ...).
bool is_emulator(const std::string& program);

// Preloads `library` into `program` (its words, changed for an emulator) by
// the rules above; `env` receives the LD_PRELOAD setting when the program is
// not emulated. `current` is the launcher's own LD_PRELOAD ("" for none).
void preload_library(std::vector<std::string>& program, std::vector<std::string>& env,
                     const std::string& library, const std::string& current);

}  // namespace kivsim
