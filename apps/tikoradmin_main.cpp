// tikoradmin: the administrator program. With a sub-command it runs headless.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/errors.h"
#include "engine/maintenance.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: tikoradmin COMMAND [--program-folder DIR] [options]\n"
      "\n"
      "Commands:\n"
      "  create-data [--layout 1.0|current]   write the table files of the data folder\n"
      "                                        (DIR/TIKData/); existing files are kept\n"
      "  --help                               show this text\n"
      "\n"
      "--program-folder DIR   the installation folder (default: the folder of this program)\n",
      out);
}

std::string ExecutableFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

struct Options {
  std::string command;
  std::string program_folder;
  std::string layout = "current";
  std::vector<std::string> rest;
};

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= argc) return false;
      target = argv[++i];
      return true;
    };
    if (a == "--program-folder") {
      if (!value(o.program_folder)) return false;
    } else if (a == "--layout") {
      if (!value(o.layout)) return false;
    } else if (o.command.empty()) {
      o.command = a;
    } else {
      o.rest.push_back(a);
    }
  }
  if (o.program_folder.empty()) o.program_folder = ExecutableFolder();
  return true;
}

int CreateData(const Options& o) {
  using tikora::engine::Layout;
  if (o.layout != "1.0" && o.layout != "current") {
    std::fprintf(stderr, "tikoradmin: --layout must be 1.0 or current\n");
    return 1;
  }
  std::filesystem::path data = std::filesystem::path(o.program_folder) / "TIKData";
  std::error_code ec;
  std::filesystem::create_directories(data, ec);
  if (ec) {
    std::fprintf(stderr, "tikoradmin: cannot create %s: %s\n", data.c_str(), ec.message().c_str());
    return 1;
  }
  auto written = tikora::engine::CreateDataTables(data.string(),
                                                  o.layout == "1.0" ? Layout::Base : Layout::Current);
  for (const auto& f : written) std::fprintf(stderr, "created %s\n", (data / f).c_str());
  if (written.empty()) std::fprintf(stderr, "every table of %s is already there\n", data.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  Options o;
  if (!Parse(argc, argv, o) || o.command.empty()) {
    PrintUsage(stderr);
    return 1;
  }
  if (o.command == "--help" || o.command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  try {
    if (o.command == "create-data") return CreateData(o);
  } catch (const tikora::engine::EngineError& e) {
    std::fprintf(stderr, "tikoradmin: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tikoradmin: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "tikoradmin: unknown command '%s'\n", o.command.c_str());
  PrintUsage(stderr);
  return 1;
}
