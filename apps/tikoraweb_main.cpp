// tikoraweb: the web time clock, started by the web server once per request (CGI).
#include <clocale>
#include <cstdio>

int main() {
  std::setlocale(LC_ALL, "");
  std::fputs("Status: 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
             "The Tikora web time clock is being installed.\n",
             stdout);
  return 0;
}
