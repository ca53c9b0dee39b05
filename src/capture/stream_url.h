#pragma once

#include <string>
#include <string_view>

namespace tovalen {

// The URL as lists, traces, messages and windows show it: a user name and password become
// "***" ("rtsp://***@host/…"), and so does the value of a query parameter that names one.
std::string MaskedUrl(std::string_view url);

// The scheme a stream may be given with: http, https, rtsp, rtsps, rtp, udp or srt.
bool IsStreamScheme(std::string_view url);
// The URL's scheme in lower case ("http"); empty when it has none.
std::string LowerSchemeOf(std::string_view url);

// Every text shown or traced that may hold the URL goes through this: the URL's credentials,
// wherever in the text they stand, become "***".
std::string WithoutCredentials(std::string_view text, std::string_view url);

}  // namespace tovalen
