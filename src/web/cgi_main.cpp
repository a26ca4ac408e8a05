#include "web/cgi_main.h"

#include <fcgiapp.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <sstream>
#include <string>

extern char** environ;

namespace tikora::web {
namespace {

std::string Describe(const Environment& env) {
  const auto get = [&](const char* name) {
    const auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
  };
  return get("REQUEST_METHOD") + " " + get("SCRIPT_NAME") + get("PATH_INFO");
}

}  // namespace

Response AnswerRequest(const Environment& env, const BodyReader& body, const Handler& handler,
                       std::ostream& log) {
  try {
    const Request request = Request::Decode(env, body);
    return handler(request);
  } catch (const RequestError& error) {
    log << "tikoraweb: refused " << Describe(env) << ": " << error.what() << std::endl;
    return ErrorResponse(error.status());
  } catch (const std::exception& error) {
    log << "tikoraweb: error in " << Describe(env) << ": " << error.what() << std::endl;
  } catch (...) {
    log << "tikoraweb: unknown error in " << Describe(env) << std::endl;
  }
  return ErrorResponse(500);
}

int RunCgiRequest(const Handler& handler, const Environment& env, std::FILE* in, std::FILE* out,
                  std::ostream& log) {
  const BodyReader body = [in](char* buffer, std::size_t size) {
    return std::fread(buffer, 1, size, in);
  };
  const std::string text = AnswerRequest(env, body, handler, log).Serialize();
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return (std::fflush(out) == 0 && written) ? 0 : 1;
}

int RunWebProgram(const Handler& handler) {
  // The log goes to standard error through C stdio: the program never includes <iostream>,
  // whose eight standard streams would otherwise be set up at every CGI process start.
  if (FCGX_IsCGI()) {
    std::ostringstream log;
    const int status = RunCgiRequest(handler, EnvironmentFromArray(environ), stdin, stdout, log);
    std::fputs(log.str().c_str(), stderr);
    return status;
  }
  if (FCGX_Init() != 0) {
    std::fputs("tikoraweb: FastCGI could not be initialised\n", stderr);
    return 1;
  }
  FCGX_Request request;
  if (FCGX_InitRequest(&request, 0, 0) != 0) {
    std::fputs("tikoraweb: FastCGI request could not be initialised\n", stderr);
    return 1;
  }
  while (FCGX_Accept_r(&request) >= 0) {
    const BodyReader body = [&request](char* buffer, std::size_t size) -> std::size_t {
      const int n = FCGX_GetStr(buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)),
                                request.in);
      return n > 0 ? static_cast<std::size_t>(n) : 0;
    };
    std::ostringstream log;
    const std::string text =
        AnswerRequest(EnvironmentFromArray(request.envp), body, handler, log).Serialize();
    FCGX_PutStr(text.data(), static_cast<int>(text.size()), request.out);
    const std::string details = log.str();
    if (!details.empty()) FCGX_PutStr(details.data(), static_cast<int>(details.size()), request.err);
    FCGX_Finish_r(&request);
  }
  FCGX_Free(&request, 1);
  return 0;
}

}  // namespace tikora::web
