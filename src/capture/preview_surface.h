#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/capture_driver_records.h"

namespace tovalen {

// One frame to draw: packed RGB, 3 bytes a pixel, rows top to bottom without padding.
struct PreviewImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// Where a capture window's frames are drawn; the GUI implements it on a child window of its
// view. ShowFrame is called on a capture thread, also while the user-interface thread is in
// Resize: an implementation hands the image over to its own thread. The driver stops calling
// ShowFrame before it destroys the surface.
class PreviewSurface {
 public:
  virtual ~PreviewSurface() = default;

  virtual void ShowFrame(std::shared_ptr<const PreviewImage> image) = 0;
  // The capture window's new size (on the user-interface thread).
  virtual void Resize(int width, int height) = 0;
};

// Makes the surfaces of capture windows. A driver without a host draws nothing.
class CaptureWindowHost {
 public:
  virtual ~CaptureWindowHost() = default;

  // The surface for a new capture window under the parent; null when it cannot be made.
  virtual std::unique_ptr<PreviewSurface> CreateSurface(const SCaptureWindowPlacement& placement,
                                                        ParentWindowHandle parent) = 0;
};

}  // namespace tovalen
