#include "turbojpeg_encoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "capture/device_settings_record.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tovalen::ffmpeg {
namespace {

struct SourceLayout {
  AVPixelFormat format;
  int subsampling;
  bool fullRange;  // the J formats; the others are limited range unless the source says otherwise
};

constexpr SourceLayout kLayouts[] = {
    {AV_PIX_FMT_YUVJ420P, TJSAMP_420, true}, {AV_PIX_FMT_YUV420P, TJSAMP_420, false},
    {AV_PIX_FMT_YUVJ422P, TJSAMP_422, true}, {AV_PIX_FMT_YUV422P, TJSAMP_422, false},
    {AV_PIX_FMT_YUVJ444P, TJSAMP_444, true}, {AV_PIX_FMT_YUV444P, TJSAMP_444, false},
    {AV_PIX_FMT_YUYV422, TJSAMP_422, false},
};

AVPixelFormat JpegFormat(int subsampling) {
  switch (subsampling) {
    case TJSAMP_420:
      return AV_PIX_FMT_YUVJ420P;
    case TJSAMP_422:
      return AV_PIX_FMT_YUVJ422P;
    default:
      return AV_PIX_FMT_YUVJ444P;
  }
}

// Each level of the limited range (luma 16-235, chroma 16-240 around 128) on the full range.
std::array<std::uint8_t, 256> FullRangeLevels(int limitedZero, int fullZero, double scale) {
  std::array<std::uint8_t, 256> levels{};
  for (int level = 0; level < 256; ++level) {
    const long full = std::lround((level - limitedZero) * scale) + fullZero;
    levels[static_cast<std::size_t>(level)] = static_cast<std::uint8_t>(std::clamp(full, 0L, 255L));
  }
  return levels;
}

}  // namespace

void TurboJpegEncoder::HandleDeleter::operator()(void* handle) const { tjDestroy(handle); }

void TurboJpegEncoder::BufferDeleter::operator()(unsigned char* buffer) const { tjFree(buffer); }

std::unique_ptr<TurboJpegEncoder> TurboJpegEncoder::Create(const AVCodecParameters& source, int quality) {
  const auto* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                    [&](const SourceLayout& l) { return l.format == source.format; });
  if (layout == std::end(kLayouts) || source.width <= 0 || source.height <= 0) return nullptr;
  const bool fullRange = layout->fullRange || source.color_range == AVCOL_RANGE_JPEG;
  std::unique_ptr<TurboJpegEncoder> encoder(
      new TurboJpegEncoder(source, layout->subsampling, fullRange, std::clamp(quality, kMinQuality, kMaxQuality)));
  if (!encoder->m_handle || !encoder->m_jpeg) return nullptr;
  return encoder;
}

TurboJpegEncoder::TurboJpegEncoder(const AVCodecParameters& source, int subsampling, bool fullRange, int quality)
    : m_format(static_cast<AVPixelFormat>(source.format)),
      m_width(source.width),
      m_height(source.height),
      m_subsampling(subsampling),
      m_fullRange(fullRange),
      m_quality(quality),
      m_aspect(source.sample_aspect_ratio),
      m_handle(tjInitCompress()) {
  const unsigned long capacity = tjBufSize(m_width, m_height, m_subsampling);
  if (capacity == static_cast<unsigned long>(-1) || capacity > INT_MAX) return;
  m_jpeg.reset(tjAlloc(static_cast<int>(capacity)));
  if (!m_jpeg) throw std::bad_alloc();
  m_jpegCapacity = capacity;
  const AVPixFmtDescriptor& jpeg = *av_pix_fmt_desc_get(JpegFormat(m_subsampling));
  for (std::size_t plane = 0; plane < 3; ++plane) {
    m_planeWidths[plane] = plane == 0 ? m_width : AV_CEIL_RSHIFT(m_width, jpeg.log2_chroma_w);
    m_planeHeights[plane] = plane == 0 ? m_height : AV_CEIL_RSHIFT(m_height, jpeg.log2_chroma_h);
  }
  const bool packed = m_format == AV_PIX_FMT_YUYV422;
  if (!packed && m_fullRange) return;  // the frame's own planes go to TurboJPEG as they are
  // TurboJPEG reads an odd-sized luma plane as if it were a pixel wider and a row taller.
  for (std::size_t plane = 0; plane < 3; ++plane)
    m_planes[plane].resize(static_cast<std::size_t>(m_planeWidths[plane]) * (m_planeHeights[plane] + 1) + 1);
  if (m_fullRange) {
    for (int level = 0; level < 256; ++level)
      m_lumaLevels[static_cast<std::size_t>(level)] = m_chromaLevels[static_cast<std::size_t>(level)] =
          static_cast<std::uint8_t>(level);
  } else {
    m_lumaLevels = FullRangeLevels(16, 0, 255.0 / 219);
    m_chromaLevels = FullRangeLevels(128, 128, 255.0 / 224);
  }
}

TurboJpegEncoder::~TurboJpegEncoder() = default;

void TurboJpegEncoder::DescribeOutput(AVCodecParameters& output) const {
  output.codec_type = AVMEDIA_TYPE_VIDEO;
  output.codec_id = AV_CODEC_ID_MJPEG;
  output.codec_tag = 0;
  output.width = m_width;
  output.height = m_height;
  output.format = JpegFormat(m_subsampling);
  output.color_range = AVCOL_RANGE_JPEG;
  output.sample_aspect_ratio = m_aspect;
}

void TurboJpegEncoder::Stretch(const AVFrame& frame) {
  for (std::size_t plane = 0; plane < 3; ++plane) {
    const auto& levels = plane == 0 ? m_lumaLevels : m_chromaLevels;
    const auto width = static_cast<std::size_t>(m_planeWidths[plane]);
    for (int row = 0; row < m_planeHeights[plane]; ++row) {
      const std::uint8_t* source = frame.data[plane] + static_cast<std::ptrdiff_t>(row) * frame.linesize[plane];
      std::uint8_t* target = m_planes[plane].data() + row * width;
      for (std::size_t x = 0; x < width; ++x) target[x] = levels[source[x]];
    }
  }
}

// Y0 U Y1 V per pair of pixels into three planes; the chroma keeps its horizontal resolution.
void TurboJpegEncoder::SplitPacked(const AVFrame& frame) {
  const auto width = static_cast<std::size_t>(m_width);
  const auto chromaWidth = static_cast<std::size_t>(m_planeWidths[1]);
  for (int row = 0; row < m_height; ++row) {
    const std::uint8_t* pair = frame.data[0] + static_cast<std::ptrdiff_t>(row) * frame.linesize[0];
    std::uint8_t* luma = m_planes[0].data() + row * width;
    std::uint8_t* blue = m_planes[1].data() + row * chromaWidth;
    std::uint8_t* red = m_planes[2].data() + row * chromaWidth;
    for (std::size_t x = 0; x < chromaWidth; ++x, pair += 4) {
      luma[2 * x] = m_lumaLevels[pair[0]];
      if (2 * x + 1 < width) luma[2 * x + 1] = m_lumaLevels[pair[2]];
      blue[x] = m_chromaLevels[pair[1]];
      red[x] = m_chromaLevels[pair[3]];
    }
  }
}

Result<> TurboJpegEncoder::Encode(const AVFrame& frame, std::vector<PacketPtr>& out) {
  if (frame.format != m_format || frame.width != m_width || frame.height != m_height)
    return DriverError{StopReason::kEncoderFailed, "a frame changed its format or size"};
  if (m_format == AV_PIX_FMT_YUYV422)
    SplitPacked(frame);
  else if (!m_fullRange)
    Stretch(frame);
  const unsigned char* planes[3];
  int strides[3];
  for (std::size_t plane = 0; plane < 3; ++plane) {
    const bool converted = !m_planes[plane].empty();
    planes[plane] = converted ? m_planes[plane].data() : frame.data[plane];
    strides[plane] = converted ? m_planeWidths[plane] : frame.linesize[plane];
  }
  unsigned char* jpeg = m_jpeg.get();
  unsigned long size = m_jpegCapacity;
  if (tjCompressFromYUVPlanes(m_handle.get(), planes, m_width, strides, m_height, m_subsampling, &jpeg, &size,
                              m_quality, TJFLAG_NOREALLOC) != 0)
    return DriverError{StopReason::kEncoderFailed, std::string("TurboJPEG: ") + tjGetErrorStr2(m_handle.get())};
  PacketPtr packet = MakePacket();
  if (av_new_packet(packet.get(), static_cast<int>(size)) < 0) throw std::bad_alloc();
  std::memcpy(packet->data, jpeg, size);
  packet->pts = packet->dts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  packet->duration = 1;
  packet->flags |= AV_PKT_FLAG_KEY;
  out.push_back(std::move(packet));
  return {};
}

}  // namespace tovalen::ffmpeg
