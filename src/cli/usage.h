#pragma once

#include <string_view>

namespace ostrel::cli {

// 34 lines, no line break after the last one.
extern const std::string_view usage;

}  // namespace ostrel::cli
