// The request loop of the web program: one request under CGI, many under FastCGI.
#pragma once

#include <cstdio>
#include <functional>
#include <ostream>

#include "web/request.h"
#include "web/response.h"

namespace tikora::web {

// Answers one decoded request. Construct it once per process: under FastCGI it serves every
// request of the process, so start-up work done before the loop is done once.
using Handler = std::function<Response(const Request& request)>;

// Decodes one request and answers it. A request that cannot be decoded is answered with the error
// page of its status; an exception that escapes the handler is answered with status 500. In both
// cases the details go to `log` and never into the page.
Response AnswerRequest(const Environment& env, const BodyReader& body, const Handler& handler,
                       std::ostream& log);

// Answers the one request of a CGI process: meta-variables `env`, body from `in`, response to
// `out`. Returns the process exit status (0, or 1 when the response could not be written).
int RunCgiRequest(const Handler& handler, const Environment& env, std::FILE* in, std::FILE* out,
                  std::ostream& log);

// The main loop: when started as CGI, answers the request from the environment and standard
// input; when started by a FastCGI manager, answers requests until the manager stops the process.
int RunWebProgram(const Handler& handler);

}  // namespace tikora::web
