#include <clocale>
#include <iostream>

#include "cli/cli.h"
#include "text/catalogue.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <fcntl.h>
#include <io.h>

#include <string>
#include <vector>

#include "platform/platform.h"

// Windows hands the arguments over as UTF-16; the engine takes UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(orvanta::platform::FromWide(wargv[i]));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // Standard output carries the bytes as written: in text mode every "\r\n"
  // of a CSV would gain another "\r".
  _setmode(_fileno(stdout), _O_BINARY);
  // The console shows UTF-8 while the program runs, and gets its own code page back after.
  const UINT consoleCodePage = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  struct RestoreCodePage {
    UINT codePage;
    ~RestoreCodePage() {
      if (codePage != 0) SetConsoleOutputCP(codePage);
    }
  } restore{consoleCodePage};
#else
int main(int argc, char** argv) {
#endif
  std::setlocale(LC_ALL, "");
  std::ios::sync_with_stdio(false);
  orvanta::LoadTranslations();
#ifdef _WIN32
  return orvanta::RunCli(argc, argv.data(), std::cout, std::cerr);
#else
  return orvanta::RunCli(argc, argv, std::cout, std::cerr);
#endif
}
