#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovalen {

// Conversions between the program's UTF-8 text and code page 932 (Shift-JIS with the
// Windows extensions), the encoding of strings in .yyk files.
// Each returns nothing when the input holds a character the other side cannot represent
// or a malformed byte sequence.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// UTF-8 <-> UTF-16LE bytes, for archived text that code page 932 cannot hold.
std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8);
std::optional<std::string> Utf16LeToUtf8(std::string_view utf16le);

// Whether text is well-formed UTF-8 (no cut, overlong or surrogate sequences).
bool IsValidUtf8(std::string_view text);

// The longest prefix of text, at most max_bytes long, that does not split a UTF-8 sequence.
std::string_view TruncateUtf8(std::string_view text, std::size_t max_bytes);

// The longest prefix of code page 932 text, at most max_bytes long, that does not split
// a double-byte character.
std::string_view TruncateCp932(std::string_view text, std::size_t max_bytes);

// The longest prefix of UTF-8 text whose code page 932 form is at most max_bytes long, never
// splitting a character. Text outside code page 932 is measured in UTF-8.
std::string TruncateUtf8AsCp932(std::string_view utf8, std::size_t max_bytes);

}  // namespace tovalen
