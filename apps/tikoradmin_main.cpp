// tikoradmin: the administrator program. With a sub-command it runs headless.
#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: tikoradmin COMMAND [--program-folder DIR] [options]\n"
      "\n"
      "Commands:\n"
      "  --help      show this text\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 1 : 0;
  }
  std::fprintf(stderr, "tikoradmin: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 1;
}
