#include "movie/movie_codecs_module.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include <opencv2/imgproc.hpp>

#include "audio/dither.h"

namespace kelvora {

namespace {

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

// A movie with its sound: the pictures encoded as they come into a file of their own,
// the movie itself written once the sound is known.
class MuxedMovieFile : public MuxedMovieEncoder {
 public:
  MuxedMovieFile(std::string path, std::string picturesPath, MuxedMovieSettings settings);
  ~MuxedMovieFile() override;
  MuxedMovieFile(const MuxedMovieFile&) = delete;
  MuxedMovieFile& operator=(const MuxedMovieFile&) = delete;

  bool write(const cv::Mat& frame) override;
  bool finish(const std::vector<float>& sound, int rate) override;
  int framesWritten() const override { return frames_; }
  int picturesGiven() const override { return given_; }
  double soundOverrun() const override { return overrun_; }
  int width() const override;
  int height() const override;
  const std::string& error() const override { return error_; }

  struct State;  // the libraries' contexts

 private:
  std::string path_;
  std::string picturesPath_;
  MuxedMovieSettings settings_;
  std::unique_ptr<State> state_;
  int frames_ = 0;
  int given_ = 0;
  double overrun_ = 0.0;
  std::string error_;
  bool finished_ = false;
};

struct MuxedMovieFile::State {
  const AVOutputFormat* container = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* picture = nullptr;  // the last picture given, kept to be held
  AVFrame* samples = nullptr;
  AVPacket* packet = nullptr;
  std::FILE* pictures = nullptr;  // the encoded pictures, until the sound comes
  size_t soundWritten = 0;
  bool fileOpen = false;

  ~State() {
    if (pictures != nullptr) std::fclose(pictures);
    av_packet_free(&packet);
    av_frame_free(&picture);
    av_frame_free(&samples);
    sws_freeContext(scaler);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (format != nullptr) {
      if (fileOpen) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  // Sends `frame` (or, with none, the end) to the picture encoder and keeps what comes
  // out in the pictures' file. Returns "" or the cause.
  std::string encodePicture(const AVFrame* frame) {
    int result = avcodec_send_frame(video, frame);
    if (result < 0) return "the encoder refused a picture: " + avError(result);
    for (;;) {
      result = avcodec_receive_packet(video, packet);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return "";
      if (result < 0) return "the encoder failed: " + avError(result);
      const EncodedPicture head{packet->pts, packet->dts, packet->duration, packet->flags,
                                packet->size};
      const bool stored = std::fwrite(&head, sizeof head, 1, pictures) == 1 &&
                          std::fwrite(packet->data, 1, static_cast<size_t>(packet->size),
                                      pictures) == static_cast<size_t>(packet->size);
      av_packet_unref(packet);
      if (!stored) return std::generic_category().message(errno);
    }
  }

  // Sends `frame` (or, with none, the end) to the sound encoder and writes what comes
  // out. Returns "" or the cause.
  std::string encodeSound(const AVFrame* frame) {
    int result = avcodec_send_frame(audio, frame);
    if (result < 0) return "the encoder refused sound: " + avError(result);
    for (;;) {
      result = avcodec_receive_packet(audio, packet);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return "";
      if (result < 0) return "the encoder failed: " + avError(result);
      av_packet_rescale_ts(packet, audio->time_base, audioStream->time_base);
      packet->stream_index = audioStream->index;
      result = av_interleaved_write_frame(format, packet);
      if (result < 0) return avError(result);
    }
  }

  // What the pictures' file holds before each encoded picture.
  struct EncodedPicture {
    std::int64_t pts;
    std::int64_t dts;
    std::int64_t duration;
    std::int32_t flags;
    std::int32_t size;
  };
};

MuxedMovieFile::MuxedMovieFile(std::string path, std::string picturesPath,
                               MuxedMovieSettings settings)
    : path_(std::move(path)),
      picturesPath_(std::move(picturesPath)),
      settings_(std::move(settings)) {}

MuxedMovieFile::~MuxedMovieFile() = default;

int MuxedMovieFile::width() const { return state_ && state_->video ? state_->video->width : 0; }
int MuxedMovieFile::height() const { return state_ && state_->video ? state_->video->height : 0; }

namespace {

// Opens the picture encoder for pictures of `size` and the file the encoded pictures
// wait in. Returns "" or the cause.
std::string openPictures(MuxedMovieFile::State& s, const std::string& picturesPath,
                         const MuxedMovieSettings& m, cv::Size size) {
  s.container = av_guess_format(m.container.c_str(), nullptr, nullptr);
  if (s.container == nullptr) return "no " + m.container + " writer in this FFmpeg";
  const bool globalHeader = (s.container->flags & AVFMT_GLOBALHEADER) != 0;
  const int fps = static_cast<int>(std::lround(m.fps));

  const bool lossless = m.videoCodec == MovieCodec::Ffv1;
  const AVCodec* videoCodec =
      lossless ? avcodec_find_encoder(AV_CODEC_ID_FFV1) : avcodec_find_encoder_by_name("libx264");
  if (videoCodec == nullptr && !lossless) videoCodec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (videoCodec == nullptr)
    return std::string("no ") + (lossless ? "FFV1" : "H264") + " encoder in this FFmpeg";
  s.video = avcodec_alloc_context3(videoCodec);
  // 4:2:0 pictures need even sides; the lossless copy keeps every pixel as RGB.
  s.video->width = lossless ? size.width : size.width & ~1;
  s.video->height = lossless ? size.height : size.height & ~1;
  s.video->pix_fmt = lossless ? AV_PIX_FMT_RGB32 : AV_PIX_FMT_YUV420P;
  s.video->time_base = AVRational{1, fps};
  s.video->framerate = AVRational{fps, 1};
  s.video->gop_size = fps;
  if (lossless) {
    s.video->level = 3;  // FFV1 version 3: slices with their own checksums, as archives use
  } else {
    av_opt_set(s.video->priv_data, "preset", "medium", 0);
    av_opt_set(s.video->priv_data, "crf", "18", 0);
  }
  if (globalHeader) s.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int result = avcodec_open2(s.video, videoCodec, nullptr);
  if (result < 0) return "the picture encoder does not open: " + avError(result);

  s.pictures = std::fopen(picturesPath.c_str(), "wb");
  if (s.pictures == nullptr) return std::generic_category().message(errno);
  s.packet = av_packet_alloc();
  s.picture = av_frame_alloc();
  s.picture->format = s.video->pix_fmt;
  s.picture->width = s.video->width;
  s.picture->height = s.video->height;
  if (av_frame_get_buffer(s.picture, 0) < 0) return "out of memory";
  return "";
}

// Opens the movie file, its two streams and the sound encoder at `rate`, and writes the
// header. Returns "" or the cause.
std::string openMovie(MuxedMovieFile::State& s, const std::string& path,
                      const MuxedMovieSettings& m, int rate) {
  int result =
      avformat_alloc_output_context2(&s.format, nullptr, m.container.c_str(), path.c_str());
  if (result < 0 || s.format == nullptr) return "no " + m.container + " writer: " + avError(result);
  const bool globalHeader = (s.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;
  s.videoStream = avformat_new_stream(s.format, nullptr);
  avcodec_parameters_from_context(s.videoStream->codecpar, s.video);
  s.videoStream->time_base = s.video->time_base;
  s.videoStream->avg_frame_rate = s.video->framerate;

  const bool aac = m.container == "mp4";
  const AVCodec* audioCodec = avcodec_find_encoder(aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_FLAC);
  if (audioCodec == nullptr) return "no sound encoder in this FFmpeg";
  s.audio = avcodec_alloc_context3(audioCodec);
  s.audio->sample_rate = rate;
  av_channel_layout_default(&s.audio->ch_layout, 1);
  s.audio->sample_fmt = aac ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S32;
  s.audio->time_base = AVRational{1, rate};
  if (aac) {
    s.audio->bit_rate = 192000;
  } else {
    s.audio->bits_per_raw_sample = 24;
  }
  if (globalHeader) s.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((result = avcodec_open2(s.audio, audioCodec, nullptr)) < 0)
    return "the sound encoder does not open: " + avError(result);
  s.audioStream = avformat_new_stream(s.format, nullptr);
  avcodec_parameters_from_context(s.audioStream->codecpar, s.audio);
  s.audioStream->time_base = s.audio->time_base;

  if (!m.title.empty()) av_dict_set(&s.format->metadata, "title", m.title.c_str(), 0);
  av_dict_set(&s.format->metadata, "encoder", "Kelvora " KELVORA_VERSION, 0);
  if ((result = avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0)
    return avError(result);
  s.fileOpen = true;
  if ((result = avformat_write_header(s.format, nullptr)) < 0) return avError(result);

  s.samples = av_frame_alloc();
  s.samples->format = s.audio->sample_fmt;
  s.samples->sample_rate = s.audio->sample_rate;
  av_channel_layout_copy(&s.samples->ch_layout, &s.audio->ch_layout);
  s.samples->nb_samples = s.audio->frame_size > 0 ? s.audio->frame_size : 4096;
  if (av_frame_get_buffer(s.samples, 0) < 0) return "out of memory";
  return "";
}

// Encodes the sound up to sample `until` (at most the sound's end). Returns "" or the
// cause.
std::string writeSound(MuxedMovieFile::State& s, const std::vector<float>& sound, size_t until) {
  until = std::min(until, sound.size());
  const size_t block = static_cast<size_t>(s.samples->nb_samples);
  while (s.soundWritten < until) {
    const size_t n = std::min(block, sound.size() - s.soundWritten);
    if (s.soundWritten + n > until && n == block) break;  // wait for a whole block
    if (av_frame_make_writable(s.samples) < 0) return "out of memory";
    const std::vector<float> part(sound.begin() + static_cast<std::ptrdiff_t>(s.soundWritten),
                                  sound.begin() + static_cast<std::ptrdiff_t>(s.soundWritten + n));
    if (s.audio->sample_fmt == AV_SAMPLE_FMT_S32) {
      const std::vector<std::int32_t> whole = quantise(part, 24);
      std::copy(whole.begin(), whole.end(), reinterpret_cast<std::int32_t*>(s.samples->data[0]));
    } else {
      std::copy(part.begin(), part.end(), reinterpret_cast<float*>(s.samples->data[0]));
    }
    s.samples->nb_samples = static_cast<int>(n);
    s.samples->pts = static_cast<std::int64_t>(s.soundWritten);
    if (std::string e = s.encodeSound(s.samples); !e.empty()) return e;
    s.soundWritten += n;
    s.samples->nb_samples = static_cast<int>(block);
  }
  return "";
}

// Writes the encoded pictures from their file into the movie, each after the sound
// that plays while the one before it shows. Returns "" or the cause.
std::string muxPictures(MuxedMovieFile::State& s, const std::string& picturesPath,
                        const std::vector<float>& sound, double fps) {
  std::FILE* in = std::fopen(picturesPath.c_str(), "rb");
  if (in == nullptr) return std::generic_category().message(errno);
  std::string error;
  MuxedMovieFile::State::EncodedPicture head{};
  long long shown = 0;
  while (error.empty() && std::fread(&head, sizeof head, 1, in) == 1) {
    // The sound first: its encoder hands its packets over in the same packet.
    ++shown;
    const auto until = static_cast<size_t>(std::llround(shown * s.audio->sample_rate / fps));
    error = writeSound(s, sound, until);
    if (!error.empty()) break;
    if (head.size < 0 || av_new_packet(s.packet, head.size) < 0 ||
        std::fread(s.packet->data, 1, static_cast<size_t>(head.size), in) !=
            static_cast<size_t>(head.size)) {
      error = "the encoded pictures do not read back";
      break;
    }
    s.packet->pts = head.pts;
    s.packet->dts = head.dts;
    s.packet->duration = head.duration;
    s.packet->flags = head.flags;
    av_packet_rescale_ts(s.packet, s.video->time_base, s.videoStream->time_base);
    s.packet->stream_index = s.videoStream->index;
    const int result = av_interleaved_write_frame(s.format, s.packet);
    if (result < 0) error = avError(result);
  }
  av_packet_unref(s.packet);
  std::fclose(in);
  return error;
}

}  // namespace

bool MuxedMovieFile::write(const cv::Mat& frame) {
  if (frame.empty() || finished_ || !error_.empty()) return false;
  cv::Mat bgr = frame;
  if (frame.channels() == 1) cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
  if (frame.channels() == 4) cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
  if (!bgr.isContinuous()) bgr = bgr.clone();
  if (!state_) {
    state_ = std::make_unique<State>();
    error_ = openPictures(*state_, picturesPath_, settings_, bgr.size());
    if (!error_.empty()) return false;
  }
  State& s = *state_;
  s.scaler = sws_getCachedContext(s.scaler, bgr.cols, bgr.rows, AV_PIX_FMT_BGR24, s.video->width,
                                  s.video->height, s.video->pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                                  nullptr);
  if (s.scaler == nullptr || av_frame_make_writable(s.picture) < 0) {
    error_ = "the picture cannot be converted";
    return false;
  }
  const std::uint8_t* source[1] = {bgr.data};
  const int stride[1] = {static_cast<int>(bgr.step)};
  sws_scale(s.scaler, source, stride, 0, bgr.rows, s.picture->data, s.picture->linesize);
  s.picture->pts = frames_;
  error_ = s.encodePicture(s.picture);
  if (!error_.empty()) return false;
  ++frames_;
  ++given_;
  return true;
}

bool MuxedMovieFile::finish(const std::vector<float>& given, int rate) {
  if (finished_) return error_.empty();
  finished_ = true;
  if (!state_) {
    if (error_.empty()) error_ = "no frame was written";
    return false;
  }
  State& s = *state_;
  if (!error_.empty()) return false;
  if (rate <= 0) {
    error_ = "the sound has no rate";
    return false;
  }
  // Both streams end together: the last picture is held while the sound goes on, and
  // silence follows a sound that ends first.
  const double fps = settings_.fps;
  overrun_ = static_cast<double>(given.size()) / rate - frames_ / fps;
  const double overrunFrames = overrun_ * fps;
  const int held =
      overrunFrames > 1.0 + 1e-6 ? static_cast<int>(std::ceil(overrunFrames - 1e-6)) : 0;
  for (int k = 0; k < held && error_.empty(); ++k) {
    s.picture->pts = frames_;
    error_ = s.encodePicture(s.picture);
    if (error_.empty()) ++frames_;
  }
  std::vector<float> sound = given;
  const auto picturesLast = static_cast<size_t>(std::llround(frames_ * rate / fps));
  if (sound.size() < picturesLast) sound.resize(picturesLast, 0.0f);

  if (error_.empty()) error_ = s.encodePicture(nullptr);
  if (error_.empty() && std::fclose(s.pictures) != 0)
    error_ = std::generic_category().message(errno);
  s.pictures = nullptr;
  if (error_.empty()) error_ = openMovie(s, path_, settings_, rate);
  if (error_.empty()) error_ = muxPictures(s, picturesPath_, sound, fps);
  if (error_.empty()) error_ = writeSound(s, sound, sound.size());
  if (error_.empty()) error_ = s.encodeSound(nullptr);
  if (error_.empty()) {
    const int result = av_write_trailer(s.format);
    if (result < 0) error_ = avError(result);
  }
  if (s.fileOpen) {
    const int result = avio_closep(&s.format->pb);
    s.fileOpen = false;
    if (result < 0 && error_.empty()) error_ = avError(result);
  }
  return error_.empty();
}

void letLibrariesSpeak(bool speak) { av_log_set_level(speak ? AV_LOG_INFO : AV_LOG_QUIET); }

std::unique_ptr<MuxedMovieEncoder> openMuxedMovieFile(const std::string& path,
                                                      const std::string& picturesPath,
                                                      const MuxedMovieSettings& settings) {
  return std::make_unique<MuxedMovieFile>(path, picturesPath, settings);
}

namespace {

void appendSamples(const AVFrame* f, std::vector<float>& out) {
  const int n = f->nb_samples;
  switch (f->format) {
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S32P:
      for (int i = 0; i < n; ++i)
        out.push_back(static_cast<float>(reinterpret_cast<const std::int32_t*>(f->data[0])[i] /
                                         2147483648.0));
      break;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
      for (int i = 0; i < n; ++i)
        out.push_back(reinterpret_cast<const std::int16_t*>(f->data[0])[i] / 32768.0f);
      break;
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
      for (int i = 0; i < n; ++i) out.push_back(reinterpret_cast<const float*>(f->data[0])[i]);
      break;
    default:
      break;
  }
}

}  // namespace

MuxedMovieContents readMuxedMovieFile(const std::string& path, bool decodeSound) {
  MuxedMovieContents c;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return c;
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    c.opened = true;
    int video = -1, audio = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVCodecParameters* p = format->streams[i]->codecpar;
      if (p->codec_type == AVMEDIA_TYPE_VIDEO && video < 0) {
        video = static_cast<int>(i);
        c.width = p->width;
        c.height = p->height;
        c.videoCodec = avcodec_get_name(p->codec_id);
        c.fps = av_q2d(format->streams[i]->avg_frame_rate);
      } else if (p->codec_type == AVMEDIA_TYPE_AUDIO && audio < 0) {
        audio = static_cast<int>(i);
        c.audioCodec = avcodec_get_name(p->codec_id);
        c.audioRate = p->sample_rate;
        if (decodeSound) {
          const AVCodec* codec = avcodec_find_decoder(p->codec_id);
          decoder = avcodec_alloc_context3(codec);
          avcodec_parameters_to_context(decoder, p);
          if (avcodec_open2(decoder, codec, nullptr) < 0) avcodec_free_context(&decoder);
        }
      }
    }
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == video) {
        ++c.videoPackets;
        const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (at != AV_NOPTS_VALUE)
          c.videoSeconds = std::max(c.videoSeconds, static_cast<double>(at + packet->duration) *
                                                        av_q2d(format->streams[video]->time_base));
      }
      if (packet->stream_index == audio && decoder != nullptr &&
          avcodec_send_packet(decoder, packet) >= 0)
        while (avcodec_receive_frame(decoder, frame) >= 0) appendSamples(frame, c.sound);
      av_packet_unref(packet);
    }
    if (decoder != nullptr && avcodec_send_packet(decoder, nullptr) >= 0)
      while (avcodec_receive_frame(decoder, frame) >= 0) appendSamples(frame, c.sound);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return c;
}

}  // namespace kelvora
