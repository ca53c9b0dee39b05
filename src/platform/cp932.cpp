#include "platform/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace tovalen {
namespace {

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

// Opening a descriptor costs far more than a short conversion, so each thread keeps one per
// direction; iconv descriptors must not be shared between threads.
iconv_t Descriptor(const char* to, const char* from) {
  struct Entry {
    const char* to;
    const char* from;
    IconvHandle handle;
  };
  thread_local std::vector<Entry> cache;
  for (const Entry& entry : cache) {
    if (entry.to == to && entry.from == from) return entry.handle.get();
  }
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
  cache.push_back({to, from, IconvHandle(cd)});
  return cd;
}

std::optional<std::string> Convert(const char* to, const char* from, std::string_view input) {
  iconv_t cd = Descriptor(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // start from the initial state
  std::string output(input.size() * 2 + 16, '\0');
  char* in_ptr = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::size_t out_used = 0;
  for (;;) {
    char* out_ptr = output.data() + out_used;
    std::size_t out_left = output.size() - out_used;
    const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    out_used = output.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) {
      // Flush any shift state, then done.
      out_ptr = output.data() + out_used;
      out_left = output.size() - out_used;
      if (iconv(cd, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
      }
      out_used = output.size() - out_left;
      break;
    }
    if (errno != E2BIG) return std::nullopt;  // EILSEQ or EINVAL: not representable or malformed
    output.resize(output.size() * 2);
  }
  output.resize(out_used);
  return output;
}

bool IsCp932LeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) { return Convert("CP932", "UTF-8", utf8); }
std::optional<std::string> Cp932ToUtf8(std::string_view cp932) { return Convert("UTF-8", "CP932", cp932); }
std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8) { return Convert("UTF-16LE", "UTF-8", utf8); }
std::optional<std::string> Utf16LeToUtf8(std::string_view utf16le) { return Convert("UTF-8", "UTF-16LE", utf16le); }

bool IsValidUtf8(std::string_view text) { return Utf8ToUtf16Le(text).has_value(); }

std::string_view TruncateUtf8(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t cut = max_bytes;
  // Step back over continuation bytes so the cut falls on a sequence boundary.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::string_view TruncateCp932(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t width = IsCp932LeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1;
    if (pos + width > max_bytes) break;
    pos += width;
  }
  return text.substr(0, pos);
}

std::string TruncateUtf8AsCp932(std::string_view utf8, std::size_t max_bytes) {
  if (const auto cp932 = Utf8ToCp932(utf8)) {
    if (cp932->size() <= max_bytes) return std::string(utf8);
    if (const auto cut = Cp932ToUtf8(TruncateCp932(*cp932, max_bytes))) return *cut;
  }
  return std::string(TruncateUtf8(utf8, max_bytes));
}

}  // namespace tovalen
