// SPDX-License-Identifier: MIT
// The library loaded as a plug-in: dlopen, set up, close, dlclose. The input
// interrupts outlive all of it, so the library must stay mapped for the next
// edge. The program does not link the library; it finds the facade by its
// exported (mangled) names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "test_support.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;

namespace {

// The facade seen from outside: an opaque instance, and its member functions
// called with the instance as their first argument, as the C++ ABI passes it.
struct Instance;
using GetInstanceFn = Instance* (*)();
using CloseIoFn = void (*)();
using SetupFn = void (*)(Instance*);
using RegisterFn = void (*)(Instance*, void (*)(int));

std::atomic<int> g_calls{0};
void on_edge(int) {
  ++g_calls;
}

// An exported function of the library. A missing one ends the program with
// the loader's reason on standard error (standard output is captured), where
// calling it would crash without one.
template <typename Fn>
Fn symbol(void* library, const char* name) {
  void* address = dlsym(library, name);
  if (!address) {
    std::fprintf(stderr, "%s\n", dlerror());
    std::abort();
  }
  return reinterpret_cast<Fn>(address);
}

}  // namespace

TEST(FacadeUnload, EdgesAfterDlcloseFindTheLibraryInPlaceAndNoOldCallback) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  kivtest::StdoutCapture out;

  void* library = dlopen(KIV_IO_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  Instance* io = symbol<GetInstanceFn>(library, "_ZN3kiv5KivIo11getInstanceEv")();
  ASSERT_NE(io, nullptr);
  for (const char* name :
       {"_ZN3kiv5KivIo13registerInputEPFviE", "_ZN3kiv5KivIo15registerTriggerEPFviE",
        "_ZN3kiv5KivIo12registerTuneEPFviE"})
    symbol<RegisterFn>(library, name)(io, on_edge);
  symbol<SetupFn>(library, "_ZN3kiv5KivIo5setupEv")(io);
  symbol<CloseIoFn>(library, "_ZN3kiv5KivIo8close_ioEv")();
  ASSERT_EQ(dlclose(library), 0) << dlerror();

  // Unmapped, the handlers would jump into nothing here.
  for (int pin : {17, 12, 20}) {
    ASSERT_TRUE(gpio::inject_edge(pin, 1)) << pin;
    ASSERT_TRUE(gpio::wait_handler_idle(pin)) << pin;
    EXPECT_EQ(gpio::handler_ends(pin), 1) << pin;
  }
  EXPECT_EQ(g_calls, 0);

  // The instance the handlers made is the library's to delete.
  void* again = dlopen(KIV_IO_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(again, nullptr) << dlerror();
  symbol<CloseIoFn>(again, "_ZN3kiv5KivIo8close_ioEv")();
  EXPECT_EQ(dlclose(again), 0);
  EXPECT_NE(out.text().find("[IO] setup ok!\n"), std::string::npos) << out.text();
}
