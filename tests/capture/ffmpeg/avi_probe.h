#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovalen::ffmpeg {
class MediaSource;
}

namespace tovalen::testing {

struct ProbedVideo {
  std::string codec;        // FFmpeg's codec name
  std::string pixelFormat;  // of the decoded frames
  int width = 0;
  int height = 0;
  double frameRate = 0;  // frames per second the file declares
  // Frames the file lasts: the last frame's place + 1. A frame dropped during the capture keeps
  // its place as an empty chunk, which readers show as the previous frame.
  std::int64_t frameSlots = 0;
  std::int64_t chunks = 0;         // video chunks that hold a frame (the empty ones are not read)
  std::int64_t decodedFrames = 0;  // frames that decoded
  std::int64_t decodeErrors = 0;
};

struct ProbedAudio {
  std::string codec;
  std::string sampleFormat;
  int sampleRate = 0;
  int channels = 0;
  std::int64_t samples = 0;  // PCM only
  std::int64_t packets = 0;
  double seconds = 0;  // from the first packet's start to the last one's end
};

struct ProbedFile {
  std::string error;  // empty when libavformat opened the file
  // What a player shows as the length, from the headers the finished file carries; 0 when the
  // file was never finished.
  double durationSeconds = 0;
  int streams = 0;
  std::optional<ProbedVideo> video;
  std::optional<ProbedAudio> audio;
};

// Reads the whole file with libavformat as a player would, decoding every video packet.
ProbedFile ProbeFile(const std::string& path);

// How much longer the sound lasts than the picture's frame slots, in seconds; below 0 when shorter.
double SoundPastPicture(const ProbedFile& file);

}  // namespace tovalen::testing

namespace tovalen::testing {

// The bytes of the first `count` non-empty video packets of a file.
std::vector<std::string> VideoPackets(const std::string& path, int count);

// How closely the file's first `frames` frame slots show the source's first frames, as the lowest
// PSNR (dB) of a frame, both seen as RGB; NaN when a slot has no frame or nothing decodes.
double LowestPsnr(const std::string& path, ffmpeg::MediaSource& source, int frames);

// The files in a folder whose names contain the text.
std::vector<std::string> FilesContaining(const std::string& folder, const std::string& text);

}  // namespace tovalen::testing
