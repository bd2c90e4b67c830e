#include <clocale>
#include <iostream>

#include "cli/cli.h"
#include "translation/catalogue.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::ios::sync_with_stdio(false);
  orvanta::LoadTranslations();
  return orvanta::RunCli(argc, argv, std::cout, std::cerr);
}
