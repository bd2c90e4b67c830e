// orvanta-cli run in this process with its streams caught, for the tests of
// the command line.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace orvanta::test {

struct CliResult {
  int status;
  std::string out, err;
};

inline CliResult RunCliWith(std::vector<std::string> args, const CliHooks& hooks = {}) {
  args.insert(args.begin(), "orvanta-cli");
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out, err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, hooks);
  return {status, out.str(), err.str()};
}

}  // namespace orvanta::test
