#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

namespace tovalen {

// Texts inside the program are UTF-8. wx's implicit conversion would use the C library's locale
// and turn Japanese into an empty string under a C locale, so every text crosses here.
inline wxString ToWx(std::string_view utf8) { return wxString::FromUTF8(utf8.data(), utf8.size()); }

inline std::string ToUtf8(const wxString& text) {
  const wxScopedCharBuffer buffer = text.utf8_str();
  return std::string(buffer.data(), buffer.length());
}

}  // namespace tovalen
