#pragma once

namespace tovalen {

// wx's HTML window wraps lines only at spaces. From the first call on, every .htm page it loads
// is read with the places where Japanese text may break marked, and each marked piece becomes
// a word of its own, so lines break between Japanese characters and source line breaks inside
// Japanese text show no space.
void BreakJapaneseLinesInHtmlPages();

}  // namespace tovalen
