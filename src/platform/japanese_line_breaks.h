#pragma once

#include <string>
#include <string_view>

namespace tovalen {

// Tags that carry the pieces of Japanese text, for an HTML viewer that wraps lines only at
// spaces: a line may break before a piece in kBreakablePieceTag, not before one in
// kJoinedPieceTag. The viewer turns each into one word of its own.
inline constexpr const char* kBreakablePieceTag = "JB";
inline constexpr const char* kJoinedPieceTag = "JN";

// The page with every text run that holds Japanese cut into pieces wherever Japanese allows a
// line break (not before closing brackets, small kana and 。、; not after opening brackets),
// and with the source line breaks between two Japanese characters taken out, which the viewer
// would otherwise show as spaces. Tags, entities and the head, pre, script and style elements
// are left as they are; the page must be UTF-8.
std::string MarkJapaneseLineBreaks(std::string_view html);

}  // namespace tovalen
