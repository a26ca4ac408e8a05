// Escaping of values written into HTML pages.
#pragma once

#include <string>
#include <string_view>

namespace tikora::web {

// `text` with & < > " ' replaced by character references: safe as element text and as the value
// of an attribute written between double or single quotes.
std::string HtmlEscape(std::string_view text);

}  // namespace tikora::web
