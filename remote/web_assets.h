// The web page's files, built into the program from remote/web/ (web_assets.cpp is generated).
#pragma once

#include <span>
#include <string_view>

namespace corvella::remote {

struct WebAsset {
  std::string_view path;  // "/", "/app.js"
  std::string_view type;  // the Content-Type
  std::string_view body;
};
std::span<const WebAsset> WebAssets();

}  // namespace corvella::remote
