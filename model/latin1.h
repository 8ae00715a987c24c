// Names from a unit or a parameters file are Latin-1 bytes; JSON and UTF-8 terminals want UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace corvella {

std::string Latin1ToUtf8(std::string_view text);

}  // namespace corvella
