// Option words are matched whole and without regard to the case of the
// letters A to Z only: no locale can make another byte match.
#pragma once

namespace segsniff::platform {

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool equal_ignoring_case(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (ascii_lower(*a) != ascii_lower(*b)) return false;
  return *a == *b;
}

}  // namespace segsniff::platform
