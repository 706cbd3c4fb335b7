// SPDX-License-Identifier: MIT
// Helpers of the lens tests: the bus's record as text.
#pragma once

#include <string>
#include <vector>

#include "i2c_sim.h"

namespace kivtest {

// Every transfer carried so far, one "write 18 [..] -> ok" per line.
inline std::vector<std::string> transfer_texts() {
  std::vector<std::string> out;
  for (const kivsim::i2c::Transfer& t : kivsim::i2c::transfers())
    out.push_back(kivsim::i2c::describe_transfer(t));
  return out;
}

}  // namespace kivtest
