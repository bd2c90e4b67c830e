#pragma once

#include <functional>
#include <iosfwd>

#include "actions/removal.h"
#include "actions/removal_record.h"

namespace orvanta {

struct CliHooks {
  // Called at every message pump of the run; tests use it to act mid-run.
  std::function<void()> onPump;
  // Whether standard error is a terminal; unset asks the system.
  int stderrIsTerminal = -1;
  // Whether standard input is a terminal, and where the answer to the removal question comes from (unset: std::cin).
  int stdinIsTerminal = -1;
  std::istream* input = nullptr;
  // Where a removal moves the items; unset: the system's trash.
  TrashMover moveToTrash;
  // Where --undo-last puts an item back from; unset: the system's trash.
  TrashRestorer restore;
};

// orvanta-cli: the scan run driven from a terminal. Returns the exit status:
// 0 done, 1 failed (or an item to remove stayed in place), 2 bad usage, 130 stopped by Ctrl-C.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliHooks& hooks = {});

}  // namespace orvanta
