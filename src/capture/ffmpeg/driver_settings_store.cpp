#include "capture/ffmpeg/driver_settings_store.h"

#include <charconv>
#include <sstream>
#include <vector>

#include "capture/ffmpeg/video_codecs.h"
#include "platform/atomic_file.h"
#include "platform/config_folder.h"

namespace tovalen::ffmpeg {
namespace {

constexpr const char* kControlPrefix = "control.";

// Device names come from hardware; they must not break the file's lines or brackets.
std::string SafeKey(std::string key) {
  for (char& c : key)
    if (c == '\n' || c == '\r' || c == ']' || c == '[') c = '_';
  return key;
}

std::optional<int> ParseInt(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

void ApplyValue(DeviceSettings& settings, const std::string& name, const std::string& value) {
  const auto number = ParseInt(value);
  if (name == "size") {
    if (const auto size = FrameSize::Parse(value)) settings.size = *size;
  } else if (name == "pixel_format") {
    settings.pixelFormat = value;
  } else if (name == "input" && number && *number >= 0) {
    settings.input = *number;
  } else if (name == "codec") {
    if (const auto codec = ParseCodecName(value)) settings.codec = *codec;
  } else if (name == "quality" && number && *number >= kMinQuality && *number <= kMaxQuality) {
    settings.quality = *number;
  } else if (name == "scale_to_window" && number) {
    settings.display.scaleToWindow = *number != 0;
  } else if (name == "keep_aspect" && number) {
    settings.display.keepAspect = *number != 0;
  } else if (name.rfind(kControlPrefix, 0) == 0 && number) {
    settings.controls[name.substr(std::string(kControlPrefix).size())] = *number;
  }
}

struct Section {
  std::string key;
  std::string body;
};

std::vector<Section> SplitSections(const std::string& text) {
  std::vector<Section> sections;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      sections.push_back({line.substr(1, line.size() - 2), {}});
    } else if (!sections.empty()) {
      sections.back().body += line + "\n";
    }
  }
  return sections;
}

std::string ReadIfPresent(const std::filesystem::path& file) {
  try {
    return ReadWholeFile(file.string());
  } catch (const FileError&) {
    return {};
  }
}

}  // namespace

std::filesystem::path DriverSettingsStore::DefaultFile() {
  const std::filesystem::path folder = ConfigFolder();
  return folder.empty() ? folder : folder / "capture-devices.conf";
}

std::string FormatDeviceSettings(const DeviceSettings& settings) {
  std::ostringstream out;
  out << "size=" << (settings.size.IsSet() ? settings.size.ToString() : "") << "\n"
      << "pixel_format=" << settings.pixelFormat << "\n"
      << "input=" << settings.input << "\n"
      << "codec=" << CodecName(settings.codec) << "\n"
      << "quality=" << settings.quality << "\n"
      << "scale_to_window=" << (settings.display.scaleToWindow ? 1 : 0) << "\n"
      << "keep_aspect=" << (settings.display.keepAspect ? 1 : 0) << "\n";
  for (const auto& [name, value] : settings.controls) out << kControlPrefix << name << "=" << value << "\n";
  return out.str();
}

DeviceSettings ParseDeviceSettings(const std::string& lines) {
  DeviceSettings settings;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    const auto equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    ApplyValue(settings, line.substr(0, equals), line.substr(equals + 1));
  }
  return settings;
}

std::optional<DeviceSettings> DriverSettingsStore::Load(const std::string& deviceKey) const {
  const std::filesystem::path file = File();
  if (file.empty()) return std::nullopt;
  for (const Section& section : SplitSections(ReadIfPresent(file)))
    if (section.key == SafeKey(deviceKey)) return ParseDeviceSettings(section.body);
  return std::nullopt;
}

Result<> DriverSettingsStore::Save(const std::string& deviceKey, const DeviceSettings& settings) const {
  const std::filesystem::path file = File();
  if (file.empty()) {
    return DriverError{.detail = "cannot save the capture device settings: neither XDG_CONFIG_HOME nor HOME is set"};
  }
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);

  std::string text = "# Tovalen capture device settings, one section per device\n";
  const auto addSection = [&text](const std::string& key, const std::string& body) {
    text.append("[").append(key).append("]\n").append(body);
  };
  bool replaced = false;
  for (const Section& section : SplitSections(ReadIfPresent(file))) {
    const bool mine = section.key == SafeKey(deviceKey);
    addSection(section.key, mine ? FormatDeviceSettings(settings) : section.body);
    replaced = replaced || mine;
  }
  if (!replaced) addSection(SafeKey(deviceKey), FormatDeviceSettings(settings));
  try {
    WriteFileAtomically(file.string(), text);
  } catch (const FileError& error) {
    return DriverError{.detail = error.what()};
  }
  return {};
}

}  // namespace tovalen::ffmpeg
