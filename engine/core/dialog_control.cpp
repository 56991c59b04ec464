#include "engine/core/dialog_control.h"

#include <charconv>

namespace tavrel {

int DialogControl::Tag() {
  const std::string text = GetPropertyText("Tag").value_or("0");
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

}  // namespace tavrel
