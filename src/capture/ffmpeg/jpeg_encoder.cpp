#include "capture/ffmpeg/jpeg_encoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "capture/device_settings_record.h"
#include "capture/ffmpeg/jpeg_writer.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tovalen::ffmpeg {
namespace {

struct SourceLayout {
  AVPixelFormat format;
  int shiftX;
  int shiftY;
  bool fullRange;  // the J formats; the others are limited range unless the source says otherwise
};

constexpr SourceLayout kLayouts[] = {
    {AV_PIX_FMT_YUVJ420P, 1, 1, true}, {AV_PIX_FMT_YUV420P, 1, 1, false}, {AV_PIX_FMT_YUVJ422P, 1, 0, true},
    {AV_PIX_FMT_YUV422P, 1, 0, false}, {AV_PIX_FMT_YUVJ444P, 0, 0, true}, {AV_PIX_FMT_YUV444P, 0, 0, false},
    {AV_PIX_FMT_YUYV422, 1, 0, false},
};

AVPixelFormat JpegFormat(int shiftX, int shiftY) {
  if (shiftY) return AV_PIX_FMT_YUVJ420P;
  return shiftX ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUVJ444P;
}

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

constexpr int kLargestSide = 65500;  // libjpeg's

}  // namespace

std::unique_ptr<JpegEncoder> JpegEncoder::Create(const AVCodecParameters& source, int quality, JpegTuning tuning) {
  const auto* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                    [&](const SourceLayout& l) { return l.format == source.format; });
  if (layout == std::end(kLayouts) || source.width <= 0 || source.height <= 0 || source.width > kLargestSide ||
      source.height > kLargestSide)
    return nullptr;
  const bool fullRange = layout->fullRange || source.color_range == AVCOL_RANGE_JPEG;
  std::unique_ptr<JpegEncoder> encoder(new JpegEncoder(source, layout->shiftX, layout->shiftY, fullRange,
                                                       std::clamp(quality, kMinQuality, kMaxQuality), tuning));
  encoder->m_writer = jpeg::JpegWriter::Create(source.width, source.height, encoder->m_grids, encoder->m_steps);
  if (!encoder->m_coder || !encoder->m_writer) return nullptr;
  return encoder;
}

JpegEncoder::JpegEncoder(const AVCodecParameters& source, int shiftX, int shiftY, bool fullRange, int quality,
                         JpegTuning tuning)
    : m_format(static_cast<AVPixelFormat>(source.format)),
      m_width(source.width),
      m_height(source.height),
      m_chromaShiftX(shiftX),
      m_chromaShiftY(shiftY),
      m_fullRange(fullRange),
      m_tuning(tuning),
      m_aspect(source.sample_aspect_ratio),
      m_steps(jpeg::QuantTablesFor(quality, tuning.shape)),
      m_coder(jpeg::BlockCoder::Create(tuning.rounding)) {
  m_tuning.tablesEvery = std::max(1, m_tuning.tablesEvery);
  for (std::size_t plane = 0; plane < 3; ++plane) {
    m_planeWidths[plane] = plane == 0 ? m_width : AV_CEIL_RSHIFT(m_width, m_chromaShiftX);
    m_planeHeights[plane] = plane == 0 ? m_height : AV_CEIL_RSHIFT(m_height, m_chromaShiftY);
    jpeg::BlockGrid& grid = m_grids[plane];
    grid.wide = CeilDiv(m_planeWidths[plane], 8);
    grid.high = CeilDiv(m_planeHeights[plane], 8);
    grid.perUnitWide = plane == 0 ? 1 << m_chromaShiftX : 1;
    grid.perUnitHigh = plane == 0 ? 1 << m_chromaShiftY : 1;
    grid.unitsWide = CeilDiv(m_width, 8 << m_chromaShiftX);
    grid.unitsHigh = CeilDiv(m_height, 8 << m_chromaShiftY);
  }
  m_source.emplace(m_format, m_planeWidths, m_planeHeights, m_fullRange);
}

JpegEncoder::~JpegEncoder() = default;

void JpegEncoder::DescribeOutput(AVCodecParameters& output) const {
  output.codec_type = AVMEDIA_TYPE_VIDEO;
  output.codec_id = AV_CODEC_ID_MJPEG;
  output.codec_tag = 0;
  output.width = m_width;
  output.height = m_height;
  output.format = JpegFormat(m_chromaShiftX, m_chromaShiftY);
  output.color_range = AVCOL_RANGE_JPEG;
  output.sample_aspect_ratio = m_aspect;
}

bool JpegEncoder::Compress(const std::array<jpeg::PlaneView, 3>& planes) {
  const std::array<jpeg::BlockRows, 3> blocks = m_writer->Blocks();
  const bool counting = m_countNext || m_frames % m_tuning.tablesEvery == 0;
  // Luma DC, luma AC, chroma DC, chroma AC: the chroma components share their tables.
  std::array<jpeg::SymbolCounts, 4> counts{};
  for (std::size_t component = 0; component < 3; ++component) {
    const std::size_t table = component == 0 ? 0 : 2;
    m_coder->Code(planes[component], component == 0 ? m_steps.luma : m_steps.chroma, m_grids[component],
                  blocks[component], counting ? &counts[table + 1] : nullptr);
    if (counting) jpeg::CountDcSymbols(m_grids[component], blocks[component], counts[table]);
  }
  if (counting) SetHuffmanTables(counts);
  if (!m_writer->WritePicture()) return false;
  ++m_frames;
  // A frame far larger or smaller than the counted one: the picture has changed.
  const std::size_t bytes = m_writer->Bytes().size();
  if (counting) m_countedFrameBytes = bytes;
  m_countNext = !counting && (bytes > m_countedFrameBytes + m_countedFrameBytes / 4 ||
                              bytes < m_countedFrameBytes - m_countedFrameBytes / 4);
  return true;
}

// The tables are used for the frames after this one too, whose blocks may have symbols this
// one has not: every symbol gets a code.
void JpegEncoder::SetHuffmanTables(const std::array<jpeg::SymbolCounts, 4>& counts) {
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const bool dc = i % 2 == 0;
    jpeg::SymbolCounts used = counts[i];
    for (int symbol = 0; symbol < 256; ++symbol)
      if (dc ? jpeg::IsDcSymbol(symbol) : jpeg::IsAcSymbol(symbol))
        used[static_cast<std::size_t>(symbol)] = std::max(used[static_cast<std::size_t>(symbol)], 1u);
    m_writer->SetHuffmanTable(static_cast<int>(i / 2), dc, jpeg::OptimalHuffman(used));
  }
}

Result<> JpegEncoder::Encode(const AVFrame& frame, std::vector<PacketPtr>& out) {
  if (frame.format != m_format || frame.width != m_width || frame.height != m_height)
    return DriverError{StopReason::kEncoderFailed, "a frame changed its format or size"};
  if (!Compress(m_source->Planes(frame)))
    return DriverError{StopReason::kEncoderFailed, std::string("libjpeg: ") + m_writer->Error()};
  const std::span<const std::uint8_t> jpeg = m_writer->Bytes();
  PacketPtr packet = MakePacket();
  if (jpeg.size() > INT_MAX || av_new_packet(packet.get(), static_cast<int>(jpeg.size())) < 0) throw std::bad_alloc();
  std::memcpy(packet->data, jpeg.data(), jpeg.size());
  packet->pts = packet->dts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  packet->duration = 1;
  packet->flags |= AV_PKT_FLAG_KEY;
  out.push_back(std::move(packet));
  return {};
}

}  // namespace tovalen::ffmpeg
