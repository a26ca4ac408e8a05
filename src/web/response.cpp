#include "web/response.h"

#include <algorithm>
#include <stdexcept>

#include "web/html.h"

namespace tikora::web {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

void CheckHeaderText(std::string_view name, std::string_view value) {
  const auto is_control = [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7f;
  };
  if (name.empty() || name.find_first_of(": \t") != std::string_view::npos ||
      std::any_of(name.begin(), name.end(), is_control) ||
      std::any_of(value.begin(), value.end(), is_control)) {
    throw std::invalid_argument("Invalid response header: " + std::string(name));
  }
}

}  // namespace

std::string_view StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 303: return "See Other";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

Response::Response() {
  SetHeader("Content-Type", "text/html; charset=utf-8");
  SetHeader("Content-Security-Policy", kContentSecurityPolicy);
  SetHeader("Cache-Control", "no-store");
  SetHeader("X-Content-Type-Options", "nosniff");
  SetHeader("Referrer-Policy", "same-origin");
}

void Response::SetHeader(std::string_view name, std::string_view value) {
  CheckHeaderText(name, value);
  RemoveHeader(name);
  headers_.emplace_back(name, value);
}

void Response::AddHeader(std::string_view name, std::string_view value) {
  CheckHeaderText(name, value);
  headers_.emplace_back(name, value);
}

std::optional<std::string> Response::Header(std::string_view name) const {
  for (const auto& [key, value] : headers_) {
    if (EqualsNoCase(key, name)) return value;
  }
  return std::nullopt;
}

void Response::RemoveHeader(std::string_view name) {
  std::erase_if(headers_, [&](const auto& header) { return EqualsNoCase(header.first, name); });
}

std::string Response::Serialize() const {
  std::string out = "Status: " + std::to_string(status_) + " " + std::string(StatusText(status_)) + "\r\n";
  for (const auto& [name, value] : headers_) {
    if (EqualsNoCase(name, "Content-Length")) continue;  // always the real length
    out += name + ": " + value + "\r\n";
  }
  out += "Content-Length: " + std::to_string(body_.size()) + "\r\n\r\n";
  out += body_;
  return out;
}

Response ErrorResponse(int status) {
  Response response;
  response.SetStatus(status);
  const std::string title = std::to_string(status) + " " + std::string(StatusText(status));
  response.Write("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
                 "</title></head>\n<body><h1>" + HtmlEscape(title) +
                 "</h1><p>The request could not be completed.</p></body></html>\n");
  return response;
}

}  // namespace tikora::web
