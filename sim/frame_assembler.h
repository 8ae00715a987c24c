// Collects received bytes into frames the way the unit does: "(" starts a frame (dropping whatever
// was collected), ")" ends it, bytes outside a frame are ignored.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace corvella::sim {

class FrameAssembler {
 public:
  // No command is longer than a few dozen characters; a frame that runs past this without its ")"
  // is noise and is dropped rather than left to grow.
  static constexpr std::size_t kMaxFrameLength = 256;

  std::optional<std::string> Feed(char byte) {
    if (byte == '(') {
      buffer_.assign(1, '(');
      inFrame_ = true;
      return std::nullopt;
    }
    if (!inFrame_) return std::nullopt;
    buffer_.push_back(byte);
    if (byte == ')') {
      inFrame_ = false;
      std::string frame;
      frame.swap(buffer_);
      return frame;
    }
    if (buffer_.size() >= kMaxFrameLength) {
      inFrame_ = false;
      buffer_.clear();
    }
    return std::nullopt;
  }

 private:
  std::string buffer_;
  bool inFrame_ = false;
};

}  // namespace corvella::sim
