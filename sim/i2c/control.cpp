// SPDX-License-Identifier: MIT
// The I2C layer's control interface, over this process's own bus.
#include "i2c_sim.h"
#include "layer.h"

namespace kivsim {
namespace i2c {

using detail::local_bus;
using detail::LocalBus;

namespace {

template <typename Action>
auto with_bus(Action action) {
  LocalBus& local = local_bus();
  std::lock_guard<std::mutex> lock(local.mutex);
  return action(local.bus);
}

}  // namespace

void set_present(bool present) {
  with_bus([present](Bus& bus) { bus.set_present(present); });
}

void set_stuck(bool stuck) {
  with_bus([stuck](Bus& bus) { bus.set_stuck(stuck); });
}

void set_answering(bool answering) {
  with_bus([answering](Bus& bus) { bus.lens().set_answering(answering); });
}

bool set_register(int reg, const LensController::Word& word) {
  return with_bus([reg, &word](Bus& bus) { return bus.lens().set_word(reg, word); });
}

LensController::Word register_word(int reg) {
  return with_bus([reg](Bus& bus) { return bus.lens().word(reg); });
}

std::vector<Transfer> transfers() {
  return with_bus([](Bus& bus) { return bus.transfers(); });
}

void clear_transfers() {
  with_bus([](Bus& bus) { bus.clear_transfers(); });
}

int open_descriptors() {
  return detail::claimed_count();
}

int calls_on_bad_descriptors() {
  return detail::bad_descriptor_calls();
}

void reset() {
  with_bus([](Bus& bus) { bus.reset(); });
}

}  // namespace i2c
}  // namespace kivsim
