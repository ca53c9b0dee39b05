#pragma once

namespace tovalen {

// Loads wx's Japanese catalogue for the toolkit's own texts (the help window, stock buttons),
// whatever the process locale. Without the catalogue they stay English and nothing else changes.
void UseJapaneseToolkitTexts();

}  // namespace tovalen
