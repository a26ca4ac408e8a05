// tikoradmin: the administrator program. With a sub-command it runs headless; the commands live
// in src/admin/commands.* so that they are testable.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "admin/commands.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!tikora::admin::IsHeadlessCommand(args) && !args.empty()) {
    std::cerr << "tikoradmin: unknown command '" << args[0] << "'\n" << tikora::admin::CommandUsage();
    return 1;
  }
  if (args.empty()) {
    std::cerr << tikora::admin::CommandUsage();
    return 1;
  }
  return tikora::admin::RunAdminCommand(args, std::cout, std::cerr);
}
