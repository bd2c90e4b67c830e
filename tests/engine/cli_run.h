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
  // The closing line of a whole run without -q (time, files read, from the
  // cache), taken out of err so the tests of the other lines see them alone.
  std::string figures;
};

inline CliResult RunCliWith(std::vector<std::string> args, const CliHooks& hooks = {}) {
  args.insert(args.begin(), "orvanta-cli");
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out, err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, hooks);
  std::string errText = err.str(), figures;
  for (std::size_t at = 0; at < errText.size();) {
    const std::size_t lineEnd = errText.find('\n', at);
    const std::size_t end = lineEnd == std::string::npos ? errText.size() : lineEnd + 1;
    if (errText.compare(at, 24, "orvanta-cli: Scanned in ") == 0) {
      figures = errText.substr(at, end - at);
      errText.erase(at, end - at);
      break;
    }
    at = end;
  }
  return {status, out.str(), errText, figures};
}

}  // namespace orvanta::test
