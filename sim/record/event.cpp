// SPDX-License-Identifier: MIT
#include "event.h"

namespace kivsim {
namespace {

struct SourceName {
  EventSource source;
  const char* name;
};

const SourceName kSources[] = {
    {EventSource::kSim, "sim"},   {EventSource::kProgram, "program"},
    {EventSource::kGpio, "gpio"}, {EventSource::kCom1, "com1"},
    {EventSource::kCom2, "com2"}, {EventSource::kLight, "light"},
    {EventSource::kI2c, "i2c"},   {EventSource::kStrip, "strip"},
};

// The one table of the kinds' names: the trace's "kind" field, read back by
// the trace reader.
struct KindName {
  EventKind kind;
  const char* name;
  bool has_result;
};

const KindName kKinds[] = {
    {EventKind::kStart, "start", false},
    {EventKind::kCommand, "command", false},
    {EventKind::kNote, "note", false},
    {EventKind::kExit, "exit", true},
    {EventKind::kOut, "out", false},
    {EventKind::kErr, "err", false},
    {EventKind::kSetup, "setup", true},
    {EventKind::kMode, "mode", false},
    {EventKind::kPull, "pull", false},
    {EventKind::kWrite, "write", false},
    {EventKind::kWritten, "written", false},
    {EventKind::kRead, "read", false},
    {EventKind::kIsr, "isr", true},
    {EventKind::kHandlerStart, "handler-start", false},
    {EventKind::kHandlerEnd, "handler-end", false},
    {EventKind::kEdge, "edge", false},
    {EventKind::kLevel, "level", false},
    {EventKind::kLost, "lost", true},
    {EventKind::kReceived, "received", false},
    {EventKind::kSent, "sent", false},
    {EventKind::kFrame, "frame", false},
    {EventKind::kState, "state", false},
    {EventKind::kOpen, "open", false},
    {EventKind::kClose, "close", false},
    {EventKind::kTransfer, "transfer", true},
    {EventKind::kRegisters, "registers", false},
    {EventKind::kBus, "bus", false},
    {EventKind::kInit, "init", true},
    {EventKind::kRender, "render", false},
    {EventKind::kFini, "fini", false},
    {EventKind::kFault, "fault", false},
    {EventKind::kUnknown, "unknown", false},
};

const KindName* kind_entry(EventKind kind) {
  for (const KindName& k : kKinds)
    if (k.kind == kind)
      return &k;
  return nullptr;
}

}  // namespace

const char* source_name(EventSource source) {
  for (const SourceName& s : kSources)
    if (s.source == source)
      return s.name;
  return "?";
}

bool source_named(const std::string& name, EventSource& source) {
  for (const SourceName& s : kSources)
    if (name == s.name) {
      source = s.source;
      return true;
    }
  return false;
}

const char* kind_name(EventKind kind) {
  const KindName* k = kind_entry(kind);
  return k ? k->name : "?";
}

bool kind_named(const std::string& name, EventKind& kind) {
  for (const KindName& k : kKinds)
    if (name == k.name) {
      kind = k.kind;
      return true;
    }
  return false;
}

bool kind_has_result(EventKind kind) {
  const KindName* k = kind_entry(kind);
  return k && k->has_result;
}

}  // namespace kivsim
