#include "movie/movie_codecs_module.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kelvora {

namespace {

unsigned int fourccTag(const std::string& code) {
  return static_cast<unsigned char>(code[0]) | static_cast<unsigned char>(code[1]) << 8 |
         static_cast<unsigned char>(code[2]) << 16 |
         static_cast<unsigned int>(static_cast<unsigned char>(code[3])) << 24;
}

// The codec a four-character code names: the container's own list first, then the
// AVI and QuickTime lists, then a codec of that name. Where the container knows the
// codec by another code, that code is written instead.
AVCodecID codecFor(const AVOutputFormat* container, unsigned int& tag) {
  const AVCodecID listed = av_codec_get_id(container->codec_tag, tag);
  AVCodecID id = listed;
  if (id == AV_CODEC_ID_NONE) {
    const AVCodecTag* const lists[] = {avformat_get_riff_video_tags(),
                                       avformat_get_mov_video_tags(), nullptr};
    id = av_codec_get_id(lists, tag);
  }
  if (id == AV_CODEC_ID_NONE) {
    char name[5] = {};
    for (int k = 0; k < 4; ++k)
      name[k] = static_cast<char>(std::tolower(static_cast<int>((tag >> (8 * k)) & 0xFF)));
    if (const AVCodecDescriptor* d = avcodec_descriptor_get_by_name(name)) id = d->id;
  }
  if (id != AV_CODEC_ID_NONE && id != listed) {
    const unsigned int own = av_codec_get_tag(container->codec_tag, id);
    if (own != 0) tag = own;
  }
  return id;
}

// The codec's time base for `fps`: the rate as a fraction of a power of ten within a
// thousandth of it, or the nearest rate the codec allows.
AVRational timeBaseFor(const AVCodec* codec, double fps, AVRational& rate) {
  int num = static_cast<int>(fps + 0.5);
  int den = 1;
  while (std::fabs(static_cast<double>(num) / den - fps) > 0.001) {
    den *= 10;
    num = static_cast<int>(fps * den + 0.5);
  }
  rate = AVRational{num, den};
  AVRational base{den, num};
  if (codec->supported_framerates != nullptr) {
    const AVRational* best = nullptr;
    AVRational bestError{INT_MAX, 1};
    for (const AVRational* p = codec->supported_framerates; p->den != 0; ++p) {
      AVRational error = av_sub_q(rate, *p);
      error.num = std::abs(error.num);
      if (av_cmp_q(error, bestError) < 0) {
        bestError = error;
        best = p;
      }
    }
    if (best != nullptr) base = AVRational{best->den, best->num};
  }
  return base;
}

}  // namespace

// An AVI being written, as `MovieWriter` describes it.
class MovieFile : public MovieEncoder {
 public:
  ~MovieFile() override {
    av_packet_free(&packet);
    av_frame_free(&picture);
    sws_freeContext(converter);
    avcodec_free_context(&codec);
    if (format != nullptr) {
      if (fileOpen) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  bool open(const std::string& path, const std::string& code, double fps, cv::Size size) {
    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (container == nullptr || fps <= 0 || code.size() != 4) return false;
    unsigned int tag = fourccTag(code);
    const AVCodecID id = codecFor(container, tag);
    const AVCodec* encoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
    if (encoder == nullptr) return false;
    format = avformat_alloc_context();
    if (format == nullptr) return false;
    format->oformat = container;
    format->url = av_strdup(path.c_str());
    format->max_delay = static_cast<int>(0.7 * AV_TIME_BASE);
    stream = avformat_new_stream(format, nullptr);
    codec = avcodec_alloc_context3(encoder);
    if (format->url == nullptr || stream == nullptr || codec == nullptr) return false;

    const double rate = std::min(fps * size.width * size.height, static_cast<double>(INT_MAX) / 2);
    const int bits = static_cast<int>(rate + 0.5);
    codec->codec_id = encoder->id;
    codec->codec_type = AVMEDIA_TYPE_VIDEO;
    codec->codec_tag = tag;
    codec->bit_rate = std::min<std::int64_t>(std::int64_t{bits} + bits / 2, INT_MAX);
    codec->qmin = 3;
    codec->width = size.width;
    codec->height = size.height;
    AVRational frameRate{};
    codec->time_base = timeBaseFor(encoder, fps, frameRate);
    codec->gop_size = 12;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    if (id == AV_CODEC_ID_MPEG2VIDEO) codec->max_b_frames = 2;
    // Keeps macroblocks whose coefficients would overflow out of these two.
    if (id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MSMPEG4V3) codec->mb_decision = 2;
    if ((container->flags & AVFMT_GLOBALHEADER) != 0) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    stream->avg_frame_rate = frameRate;
    stream->time_base = codec->time_base;
    const std::int64_t allowed =
        std::min<std::int64_t>(codec->bit_rate + static_cast<std::int64_t>(rate / 2), INT_MAX);
    codec->bit_rate_tolerance = static_cast<int>(allowed);
    codec->bit_rate = allowed;
    if (avcodec_open2(codec, encoder, nullptr) < 0 ||
        avcodec_parameters_from_context(stream->codecpar, codec) < 0)
      return false;

    picture = av_frame_alloc();
    packet = av_packet_alloc();
    if (picture == nullptr || packet == nullptr) return false;
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = size.width;
    picture->height = size.height;
    const int bytes = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, size.width, size.height, 1);
    if (bytes <= 0) return false;
    planes.resize(static_cast<size_t>(bytes));
    av_image_fill_arrays(picture->data, picture->linesize, planes.data(), AV_PIX_FMT_YUV420P,
                         size.width, size.height, 1);
    converter = sws_getContext(size.width, size.height, AV_PIX_FMT_BGR24, size.width, size.height,
                               AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (converter == nullptr) return false;
    if ((container->flags & AVFMT_NOFILE) == 0) {
      if (avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
      fileOpen = true;
    }
    headerWritten = avformat_write_header(format, nullptr) >= 0;
    return headerWritten;
  }

  // Sends `frame` (or, with none, the end) to the encoder and writes what comes out.
  bool encode(const AVFrame* frame) {
    if (avcodec_send_frame(codec, frame) < 0) return false;
    for (;;) {
      const int result = avcodec_receive_packet(codec, packet);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
      if (result < 0) return false;
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      const int written = av_write_frame(format, packet);
      av_packet_unref(packet);
      if (written < 0) return false;
    }
  }

  bool write(const cv::Mat& bgr) override {
    if (failed) return false;
    failed = !encodeFrame(bgr);
    return !failed;
  }

  // Flushes the encoder and completes the file.
  bool finish() override {
    bool ok = !failed && headerWritten;
    if (headerWritten) {
      if (next > 0) ok = encode(nullptr) && ok;
      ok = av_write_trailer(format) >= 0 && ok;
    }
    if (fileOpen) {
      ok = avio_closep(&format->pb) >= 0 && ok;
      fileOpen = false;
    }
    return ok;
  }

 private:
  bool encodeFrame(const cv::Mat& bgr) {
    const std::uint8_t* data = bgr.data;
    int step = static_cast<int>(bgr.step);
    // The converter's vector code may read up to 32 bytes past a row; a frame whose
    // rows are not 32-byte multiples, or whose end lies near a page's, is copied first.
    constexpr size_t kOverread = 32;
    constexpr std::uintptr_t kPage = 4096;
    const auto end = reinterpret_cast<std::uintptr_t>(data) + static_cast<size_t>(bgr.rows) * step;
    if (step % 32 != 0 || (end - kOverread) / kPage != (end + kOverread) / kPage) {
      const int paddedStep = (step + 31) & ~31;
      padded.assign(static_cast<size_t>(paddedStep) * bgr.rows + kOverread, 0);
      for (int y = 0; y < bgr.rows; ++y)
        std::memcpy(&padded[static_cast<size_t>(y) * paddedStep], bgr.ptr(y),
                    static_cast<size_t>(bgr.cols) * 3);
      data = padded.data();
      step = paddedStep;
    }
    const std::uint8_t* const source[4] = {data, nullptr, nullptr, nullptr};
    const int strides[4] = {step, 0, 0, 0};
    if (sws_scale(converter, source, strides, 0, bgr.rows, picture->data, picture->linesize) < 0)
      return false;
    picture->pts = next++;
    return encode(picture);
  }

  AVFormatContext* format = nullptr;
  AVStream* stream = nullptr;
  AVCodecContext* codec = nullptr;
  SwsContext* converter = nullptr;
  AVFrame* picture = nullptr;  // the 4:2:0 picture the encoder is given
  AVPacket* packet = nullptr;
  std::vector<std::uint8_t> planes;
  std::vector<std::uint8_t> padded;  // a frame copied where its rows or end would be overread
  std::int64_t next = 0;             // the next frame's number
  bool fileOpen = false;
  bool headerWritten = false;
  bool failed = false;
};

std::unique_ptr<MovieEncoder> openMovieFile(const std::string& path, const std::string& fourcc,
                                            double fps, cv::Size size) {
  auto movie = std::make_unique<MovieFile>();
  if (!movie->open(path, fourcc, fps, size)) return nullptr;
  return movie;
}

int countMovieFileFrames(const std::string& path) {
  // The index a complete AVI ends with gives the count; the last frame must then be
  // there and decode, and nothing follow it (a file cut short by a full disk has no
  // index, or only part of it). Only the pictures from the key frame before the last
  // are decoded.
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return 0;
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::int64_t frames = 0;
  bool lastDecoded = false, beyond = false;
  const int video = avformat_find_stream_info(format, nullptr) < 0
                        ? -1
                        : av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video >= 0 && packet != nullptr && frame != nullptr) {
    const AVStream* stream = format->streams[video];
    frames = stream->nb_frames;
    // The header is completed in place when the file is, even where the disk is full
    // by then; only an index whole to its last entry says the pictures are all there.
    if (avformat_index_get_entries_count(stream) < frames) frames = 0;
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    decoder = codec == nullptr ? nullptr : avcodec_alloc_context3(codec);
    if (frames > 0 && decoder != nullptr &&
        avcodec_parameters_to_context(decoder, stream->codecpar) >= 0 &&
        avcodec_open2(decoder, codec, nullptr) >= 0 &&
        av_seek_frame(format, video, frames - 1, AVSEEK_FLAG_BACKWARD) >= 0) {
      const auto take = [&] {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
          const std::int64_t at = frame->best_effort_timestamp;
          lastDecoded = lastDecoded || at == frames - 1;
          beyond = beyond || at >= frames;
          av_frame_unref(frame);
        }
      };
      while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video) {
          beyond = beyond || packet->pts >= frames;
          if (avcodec_send_packet(decoder, packet) >= 0) take();
        }
        av_packet_unref(packet);
      }
      if (avcodec_send_packet(decoder, nullptr) >= 0) take();
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return lastDecoded && !beyond && frames <= INT_MAX ? static_cast<int>(frames) : 0;
}

}  // namespace kelvora
