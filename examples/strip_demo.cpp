// SPDX-License-Identifier: MIT
// kiv_strip_demo: the library's own demo. This program defines no main: the
// one it runs is the entry point that libkiv_io.so exports, which cycles the
// LED strip through its palette until the program is ended (Ctrl-C). On the
// simulated board:
//   kiv-sim-run build/examples/kiv_strip_demo
