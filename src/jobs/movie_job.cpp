#include "jobs/movie_job.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "film/orientation.h"
#include "film/resolution.h"
#include "movie/async_frame_sink.h"
#include "movie/image_parameters.h"
#include "movie/movie_codecs.h"
#include "movie/movie_writer.h"
#include "movie/muxed_movie.h"
#include "movie/picture_cut.h"
#include "signal/image_ops.h"

namespace kelvora {

namespace {

// Holds the frames one long strip gives and passes them on last first. A reel scanned
// tail first runs backwards through the listing; its strips' frames, turned upright,
// run forwards within each strip, so they are reversed to keep the movie stepping
// back one frame at a time, as it does for scans of single frames.
class ReversingSink : public FrameSink {
 public:
  explicit ReversingSink(FrameSink& out) : out_(out) {}
  bool write(const cv::Mat& frame) override {
    held_.push_back(frame.clone());
    return true;
  }
  void flush() {
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) out_.write(*it);
    held_.clear();
  }

 private:
  FrameSink& out_;
  std::vector<cv::Mat> held_;
};

// Passes frames on and counts those of the present scan.
class CountingSink : public FrameSink {
 public:
  explicit CountingSink(FrameSink& out) : out_(out) {}
  bool write(const cv::Mat& frame) override {
    ++count_;
    return out_.write(frame);
  }
  bool writePicture(const ScanPicture& picture) override {
    ++count_;
    return out_.writePicture(picture);
  }
  void restart() { count_ = 0; }
  int count() const { return count_; }

 private:
  FrameSink& out_;
  int count_ = 0;
};

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// The movie as a consumer of the frame loop: each scan trimmed on the loading thread,
// measured turned on the first, its picture found on the scan as loaded, then turned
// upright and scaled in one step and encoded on threads of their own. For a movie
// with its sound decoded in the same pass, a sound consumer is fed the same scans alongside.
class MovieConsumer : public FrameConsumer {
 public:
  MovieConsumer(const FilmSettings& film, const MovieSettings& movie, const MovieOutput& output,
                MovieJobReport& report, int startFrame, int stopFrame, Warn warn)
      : record_(imageParametersFor(film, movie, startFrame, stopFrame)),
        film_(film),
        output_(output),
        report_(report),
        warn_(std::move(warn)),
        nativeSize_(movie.size == FrameSize::Native) {
    report_.fps = record_.speedIndex == 1 ? 25.0 : 24.0;
    const cv::Size size = record_.filmSize == 0 ? cv::Size(640, 480) : cv::Size(320, 240);
    report_.width = size.width;
    report_.height = size.height;
    report_.codec = output_.withSound() ? codecName(movie.codec) : codecCode(record_.compression);
  }

  // The sound decoded alongside the pictures, into `decoded`.
  void decodeSoundAlongside(FrameConsumer& sound, const SoundInMemory& decoded) {
    alongside_ = &sound;
    decoded_ = &decoded;
  }
  void giveSound(const GivenSound& sound) { given_ = &sound; }

  std::vector<ScanNeeds> needs() const override {
    ScanNeeds needs;
    // The loading thread trims the next scan while this one is cut; the scan is turned
    // only where its pictures lie.
    needs.prepare = [r = record_](const cv::Mat& scan) {
      return trimmedScan(scan, r.direction, r.frameCorrection, r.filmType, r.longstrip);
    };
    std::vector<ScanNeeds> all{needs};
    if (alongside_ != nullptr)
      for (const ScanNeeds& n : alongside_->needs()) all.push_back(n);
    return all;
  }

  std::string ready() override {
    const StagedFile& file = *output_.file;
    if (!file.ok()) return file.error();
    if (output_.withSound()) {
      if (!output_.pictures->ok()) return output_.pictures->error();
      MuxedMovieSettings settings;
      settings.container = output_.container;
      settings.videoCodec = report_.codec == "FFV1" ? MovieCodec::Ffv1 : MovieCodec::H264;
      settings.fps = report_.fps;
      settings.title = output_.title;
      muxed_.emplace(file.tempPath(), output_.pictures->tempPath(), std::move(settings));
    } else {
      // Opened at the first picture, once the codecs, loading meanwhile, are in.
      avi_.emplace(file.tempPath(), report_.codec, report_.fps,
                   cv::Size(report_.width, report_.height));
    }
    // Turning, scaling and encoding run on threads of their own, beside the cutting of
    // the next picture.
    FrameSink& sink = avi_ ? static_cast<FrameSink&>(*avi_) : *muxed_;
    encoder_.emplace(sink);
    scaler_.emplace(*encoder_, nativeSize_ ? cv::Size() : cv::Size(report_.width, report_.height));
    frames_.emplace(*scaler_);
    counted_.emplace(*frames_);
    // Filled here: cv::Mat::zeros starts a lazily made global of the library, which two
    // jobs at once in one process would race to make.
    black_ = cv::Mat(report_.height, report_.width, CV_8UC3, cv::Scalar::all(0));
    return alongside_ != nullptr ? alongside_->ready() : "";
  }

  Resolution first(const std::vector<ScanInput>& scans, const FirstScan& first) override {
    // The codecs load beside the measuring and cutting of the first scans. Not before:
    // threads cannot start while a library loads, and the first scan's loading starts
    // some.
    loadMovieCodecsAhead();
    // The first scan is measured turned whole.
    const cv::Mat oriented =
        turnQuarter(scans.front().image, !record_.direction, record_.inverse != 0);
    Resolution res;
    if (record_.manualResolution) {
      res = Resolution{record_.resX, record_.resY};
    } else {
      resolution(oriented, record_.filmType, res, record_.longstrip != 0, record_.direction);
    }
    filParametersM(oriented, record_.filmType, res, area_, record_.cutSoundtrack);
    report_.area = area_;
    if (alongside_ != nullptr) {
      alongside_->first(rest(scans), first);  // says what the resolution means for the sound
    } else {
      for (const std::string& w :
           resolutionWarnings(first.measured, film_, first.tagged, res, false))
        warn_(w);
    }
    return res;
  }

  ReaderFailure next(std::vector<ScanInput> scans) override {
    const cv::Mat trimmed = std::move(scans.front().image);
    counted_->restart();
    ReversingSink reversed(*counted_);
    FrameSink& sink = record_.inverse != 0 ? static_cast<FrameSink&>(reversed) : *counted_;
    const ScanPicture picture = cutUnturned(trimmed, !record_.direction, record_.inverse != 0, sink,
                                            area_, record_.filmType, record_.longstrip,
                                            record_.cutSoundtrack, report_.width, report_.height);
    reversed.flush();
    // 16 mm long strips were written by the cut itself; every other picture goes as it
    // lies, to be turned upright and scaled to the frame size in one step on the
    // scaling thread.
    if (!picture.pixels.empty()) counted_->writePicture(picture);
    if (counted_->count() > 0) picturesOfAScan_ = counted_->count();
    return alongside_ != nullptr ? alongside_->next(rest(std::move(scans))) : ReaderFailure{};
  }

  // A bridged scan stands in as black pictures, as many as the scan before it gave.
  void gap(int frame) override {
    for (int k = 0; k < picturesOfAScan_; ++k) frames_->write(black_);
    if (alongside_ != nullptr) alongside_->gap(frame);
  }

  Finish finish() override {
    if (alongside_ != nullptr) {
      const Finish sound = alongside_->finish();
      if (sound.outcome != JobOutcome::Finished) {
        discard();
        return sound;
      }
    }
    if (!completeMovie()) return Finish{JobOutcome::WriteFailed, {}, report_.outputError};
    return Finish{};
  }

  // A classic movie keeps the frames written so far; a movie with its sound is whole
  // or nothing.
  void stopped() override { endEarly(); }
  void unreadable() override { endEarly(); }

 private:
  static std::vector<ScanInput> rest(std::vector<ScanInput> scans) {
    scans.erase(scans.begin());
    return scans;
  }

  void endEarly() {
    if (output_.withSound())
      discard();
    else
      completeMovie();
  }

  void discard() {
    if (frames_) frames_->finish();
    if (encoder_) encoder_->finish();
    output_.file->discard();
  }

  // Completes the file and reads it back. Returns whether it holds every frame written;
  // a movie of no frames is not kept.
  bool completeMovie() {
    if (frames_) frames_->finish();
    if (encoder_) encoder_->finish();
    int readBack = 0;
    if (avi_) {
      avi_->release();
      report_.framesWritten = avi_->framesWritten();
      if (!avi_->error().empty()) {
        output_.file->discard();
        report_.outputError = avi_->error();
        return false;
      }
    } else if (muxed_) {
      const bool decoded = decoded_ != nullptr;
      const std::vector<float>& sound = decoded ? decoded_->samples : given_->samples;
      muxed_->finish(sound, decoded ? decoded_->rate : given_->rate);
      report_.framesWritten = muxed_->framesWritten();
      report_.width = muxed_->width();
      report_.height = muxed_->height();
      report_.soundOverrun = muxed_->soundOverrun();
      if (muxed_->error().empty() && std::abs(report_.soundOverrun) > 1.0 / report_.fps) {
        const double pictures = muxed_->picturesGiven() / report_.fps;
        warn_(report_.soundOverrun > 0 ? "the sound is " + secondsText(report_.soundOverrun) +
                                             " longer than the pictures (" + secondsText(pictures) +
                                             "): the last picture is held to its end"
                                       : "the sound is " + secondsText(-report_.soundOverrun) +
                                             " shorter than the pictures (" +
                                             secondsText(pictures) + "): silence follows it");
      }
    }
    if (report_.framesWritten == 0) {
      output_.file->discard();
      report_.outputError =
          muxed_ && !muxed_->error().empty() ? muxed_->error() : "no frame was written";
      return false;
    }
    if (avi_) {
      readBack = avi_->completed() ? countMovieFrames(output_.file->tempPath()) : 0;
    } else if (muxed_->error().empty()) {
      readBack = readMuxedMovie(output_.file->tempPath(), false).videoPackets;
    }
    if (readBack != report_.framesWritten) {
      report_.outputError = probeWriteError(output_.file->path());
      if (report_.outputError.empty() && muxed_) report_.outputError = muxed_->error();
      if (report_.outputError.empty())
        report_.outputError = "the finished movie reads back with " + std::to_string(readBack) +
                              " of its " + std::to_string(report_.framesWritten) + " frames";
      output_.file->discard();
      return false;
    }
    report_.complete = true;
    return true;
  }

  const Image_Parameters record_;
  const FilmSettings film_;
  const MovieOutput output_;
  MovieJobReport& report_;
  Warn warn_;
  bool nativeSize_;
  FrameConsumer* alongside_ = nullptr;
  const SoundInMemory* decoded_ = nullptr;
  const GivenSound* given_ = nullptr;
  ParametersM area_;
  int picturesOfAScan_ = 1;
  cv::Mat black_;
  // The classic silent AVI, or a movie with its sound, which opens at its first picture.
  std::optional<MovieWriter> avi_;
  std::optional<MuxedMovieWriter> muxed_;
  std::optional<AsyncFrameSink> encoder_;
  std::optional<ScalingSink> scaler_;
  std::optional<AsyncFrameSink> frames_;
  std::optional<CountingSink> counted_;
};

}  // namespace

JobOutcome ThreadMovie(const JobRequest& request, const FilmSettings& film,
                       const MovieSettings& movie, const MovieOutput& output,
                       MovieJobReport& report, const GivenSound* sound) {
  report = MovieJobReport{};
  FrameLoop loop(JobKind::Movie, request, film, report);
  MovieConsumer consumer(film, movie, output, report, request.startFrame, request.stopFrame,
                         loop.warner());
  if (sound != nullptr) consumer.giveSound(*sound);
  return loop.run(consumer);
}

JobOutcome ThreadMovieWithSound(const JobRequest& request, const FilmSettings& film,
                                const MovieSettings& movie, const SoundSettings& sound,
                                const MovieOutput& output, MovieJobReport& report,
                                SoundJobReport& soundReport) {
  report = MovieJobReport{};
  soundReport = SoundJobReport{};
  FrameLoop loop(JobKind::Movie, request, film, report);
  MovieConsumer pictures(film, movie, output, report, request.startFrame, request.stopFrame,
                         loop.warner());
  // Both containers' sound codecs take 48 kHz.
  SoundInMemory decoded(sound.removeDC, 48000);
  const std::unique_ptr<SoundReader> reader =
      makeSoundReader(film, sound, request.startFrame, request.stopFrame, loop.warner());
  SoundConsumer soundConsumer(*reader, decoded, film, sound, soundReport, loop.warner());
  pictures.decodeSoundAlongside(soundConsumer, decoded);
  return loop.run(pictures);
}

}  // namespace kelvora
