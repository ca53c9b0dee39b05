#include "capture/stream_url.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tovalen {
namespace {

constexpr std::array<std::string_view, 7> kStreamSchemes = {"http", "https", "rtsp", "rtsps", "rtp", "udp", "srt"};
constexpr std::array<std::string_view, 6> kSecretParameters = {"password", "passwd", "pass", "pwd", "token", "key"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

std::string_view SchemeOf(std::string_view url) {
  const std::size_t colon = url.find("://");
  return colon == std::string_view::npos ? std::string_view{} : url.substr(0, colon);
}

// A query parameter's value is masked when its name is a secret's (srt's "passphrase" too).
bool IsSecretParameter(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "passphrase") return true;
  return std::find(kSecretParameters.begin(), kSecretParameters.end(), lower) != kSecretParameters.end();
}

std::string MaskQuery(std::string_view query) {
  std::string masked;
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string_view pair = query.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    if (!masked.empty() || start > 0) masked += '&';
    if (equals != std::string_view::npos && IsSecretParameter(pair.substr(0, equals)))
      masked.append(pair.substr(0, equals + 1)).append("***");
    else
      masked.append(pair);
    start = end + 1;
  }
  return masked;
}

}  // namespace

std::string MaskedUrl(std::string_view url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return std::string(url);
  const std::size_t authorityStart = schemeEnd + 3;
  const std::size_t authorityEnd = std::min(url.find_first_of("/?#", authorityStart), url.size());
  const std::string_view authority = url.substr(authorityStart, authorityEnd - authorityStart);
  std::string masked(url.substr(0, authorityStart));
  // "udp://@239.0.0.1:1234" names no user: the "@" asks for any local interface.
  const std::size_t at = authority.rfind('@');
  masked +=
      at == std::string_view::npos || at == 0 ? std::string(authority) : "***" + std::string(authority.substr(at));
  const std::string_view rest = url.substr(authorityEnd);
  const std::size_t question = rest.find('?');
  if (question == std::string_view::npos) return masked + std::string(rest);
  const std::size_t hash = std::min(rest.find('#', question), rest.size());
  masked.append(rest.substr(0, question + 1));
  masked += MaskQuery(rest.substr(question + 1, hash - question - 1));
  masked.append(rest.substr(hash));
  return masked;
}

std::string LowerSchemeOf(std::string_view url) { return Lower(SchemeOf(url)); }

bool IsStreamScheme(std::string_view url) {
  const std::string scheme = LowerSchemeOf(url);
  return std::find(kStreamSchemes.begin(), kStreamSchemes.end(), scheme) != kStreamSchemes.end();
}

std::string WithoutCredentials(std::string_view text, std::string_view url) {
  std::string result(text);
  const std::string masked = MaskedUrl(url);
  for (std::size_t at = result.find(url); !url.empty() && at != std::string::npos;
       at = result.find(url, at + masked.size()))
    result.replace(at, url.size(), masked);
  // The credentials alone, as a library may print them.
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return result;
  const std::string_view afterScheme = url.substr(schemeEnd + 3);
  const std::size_t at = afterScheme.substr(0, afterScheme.find_first_of("/?#")).rfind('@');
  if (at == std::string_view::npos || at == 0) return result;
  const std::string userInfo(afterScheme.substr(0, at));
  for (std::size_t pos = result.find(userInfo); pos != std::string::npos; pos = result.find(userInfo, pos + 3))
    result.replace(pos, userInfo.size(), "***");
  return result;
}

}  // namespace tovalen
