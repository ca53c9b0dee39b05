#pragma once

namespace tovalen {

// For the desktop program, whose texts are all Japanese: switches the message and date
// categories of the C locale to ja_JP.UTF-8 so that the toolkit's own texts and its calendar
// match them. Only under a UTF-8 locale (the dates must convert) and only where the Japanese
// locale is installed; otherwise nothing changes. Returns whether both categories are Japanese.
bool PreferJapaneseMessagesAndDates();

}  // namespace tovalen
