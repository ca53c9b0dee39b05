#pragma once

#include <string>

class wxWindow;

namespace tovalen::gallery {

// Shows the named dialog (or help window) with sample contents; null for an unknown name.
wxWindow* ShowSample(const std::string& name);
// Closes whatever ShowSample opened.
void CloseSample();
// The names ShowSample knows, separated by spaces.
std::string SampleNames();

}  // namespace tovalen::gallery
