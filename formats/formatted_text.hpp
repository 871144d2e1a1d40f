// printf-style formatting into a string, for fixed report formats and for
// messages.
#pragma once

#include <string>

namespace fieldsearch {

// The text printf would print for `format` and its arguments.
[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...);

}  // namespace fieldsearch
