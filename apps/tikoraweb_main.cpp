// tikoraweb: the web time clock. Started by the web server once per request (CGI), or once for
// many requests by a FastCGI manager; the program start below is done once per process either way.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "core/system_helpers.h"
#include "web/cgi_main.h"
#include "web/dispatch.h"

int main() {
  std::setlocale(LC_ALL, "");
  // The program folder is the executable's; TIKORA_PROGRAM_FOLDER names another (tests, and
  // installations that keep the program apart from its data).
  if (const char* folder = std::getenv("TIKORA_PROGRAM_FOLDER"); folder != nullptr && *folder)
    tikora::SetProgramFolder(folder);

  std::unique_ptr<tikora::web::WebProgram> program;
  try {
    program = std::make_unique<tikora::web::WebProgram>();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tikoraweb: cannot start: %s\n", error.what());
  }
  const int status = tikora::web::RunWebProgram([&](const tikora::web::Request& request) {
    if (!program) return tikora::web::ErrorResponse(500);
    return program->ExecRequest(request);
  });
#if !defined(__SANITIZE_ADDRESS__)
  // The response is written and every write is committed: the process ends without taking the
  // program apart. Its files, SQLite's locks and the tables' shared locks go with the process,
  // and closing five tables and the database one by one would cost more than the rest of the
  // exit. (Sanitizer builds take the long way, so that leak checks see a clean end.)
  std::fflush(nullptr);
  std::_Exit(status);
#else
  return status;
#endif
}
