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
  // TurboJPEG reads an odd-sized luma plane as if it were a pixel wider and a row taller.
  m_source.emplace(m_format, m_planeWidths, m_planeHeights, m_fullRange, 1);
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

Result<> TurboJpegEncoder::Encode(const AVFrame& frame, std::vector<PacketPtr>& out) {
  if (frame.format != m_format || frame.width != m_width || frame.height != m_height)
    return DriverError{StopReason::kEncoderFailed, "a frame changed its format or size"};
  const std::array<jpeg::PlaneView, 3> views = m_source->Planes(frame);
  const unsigned char* planes[3];
  int strides[3];
  for (std::size_t plane = 0; plane < 3; ++plane) {
    planes[plane] = views[plane].data;
    strides[plane] = static_cast<int>(views[plane].stride);
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
