// The baseline of the CGI benchmark: a program that prints a fixed page and does nothing else.
#include <cstdio>

int main() {
  std::fputs("Status: 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
             "<!DOCTYPE html><html><head><title>Time clock</title></head><body><p>Fixed page</p>"
             "</body></html>\n",
             stdout);
  return 0;
}
