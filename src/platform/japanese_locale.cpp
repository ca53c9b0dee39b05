#include "platform/japanese_locale.h"

#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace tovalen {
namespace {

bool IsJapanese(const char* locale) { return locale != nullptr && std::strncmp(locale, "ja", 2) == 0; }

bool UseJapanese(int category) {
  if (IsJapanese(std::setlocale(category, nullptr))) return true;
  for (const char* name : {"ja_JP.UTF-8", "ja_JP.utf8"}) {
    if (std::setlocale(category, name) != nullptr) return true;
  }
  return false;
}

}  // namespace

bool PreferJapaneseMessagesAndDates() {
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) return false;
  const bool messages = UseJapanese(LC_MESSAGES);
  const bool dates = UseJapanese(LC_TIME);
  // A language list would win over LC_MESSAGES for GTK's catalogue.
  if (const char* languages = std::getenv("LANGUAGE"); messages && languages && *languages && !IsJapanese(languages)) {
    setenv("LANGUAGE", "ja", 1);
  }
  return messages && dates;
}

}  // namespace tovalen
