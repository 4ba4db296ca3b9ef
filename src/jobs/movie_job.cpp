#include "jobs/movie_job.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "film/orientation.h"
#include "film/resolution.h"
#include "film/settings_check.h"
#include "jobs/frame_listing.h"
#include "jobs/notifications.h"
#include "jobs/scan_reader.h"
#include "jobs/staged_file.h"
#include "jobs/status_log.h"
#include "movie/async_frame_sink.h"
#include "movie/movie_writer.h"
#include "movie/muxed_movie.h"
#include "movie/picture_cut.h"
#include "scans/scan_header.h"
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
  void restart() { count_ = 0; }
  int count() const { return count_; }

 private:
  FrameSink& out_;
  int count_ = 0;
};

}  // namespace

JobOutcome ThreadMovie(Image_Parameters& record, MovieJobReport* report) {
  MovieJobReport scratch;
  MovieJobReport& out = report != nullptr ? *report : scratch;
  out = MovieJobReport{};

  Controls& controls = *record.controls;
  StatusLog statusLog(controls);
  initThreadImage(record);

  out.fps = record.speedIndex == 1 ? 25.0 : 24.0;
  out.width = record.filmSize == 0 ? 640 : 320;
  out.height = record.filmSize == 0 ? 480 : 240;
  out.codec = record.withSound ? record.muxed.videoCodec : codecCode(record.compression);
  // The movie is written aside and put in place once it reads back whole, so a
  // failed job never destroys an older movie of the same name.
  StagedFile staged(
      record.outputPath,
      record.withSound ? std::filesystem::path(record.outputPath).extension().string() : ".avi");
  const auto cannotCreate = [&](const std::string& cause) {
    out.outputError = cause;
    statusLog.replace("Cannot create the movie file!");
    ThreadEndIm(record);
    return JobOutcome::WriteFailed;
  };
  if (!staged.ok()) return cannotCreate(staged.error());
  // The classic silent AVI, or a movie with its sound, which opens at its first picture.
  std::optional<MovieWriter> avi;
  std::optional<MuxedMovieWriter> muxed;
  if (record.withSound) {
    MuxedMovieSettings settings = record.muxed;
    settings.fps = out.fps;
    muxed.emplace(staged.tempPath(), std::move(settings));
  } else {
    avi.emplace(staged.tempPath(), out.codec, out.fps, cv::Size(out.width, out.height));
    if (!avi->isOpened())
      return cannotCreate("the movie writer cannot open it with codec " + out.codec);
  }
  FrameSink& file = avi ? static_cast<FrameSink&>(*avi) : *muxed;
  // Scaling and encoding run on threads of their own, beside the cutting of the next
  // picture. Pictures of their own size are only made colour.
  AsyncFrameSink encoder(file);
  ScalingSink scaler(encoder, record.nativeSize ? cv::Size() : cv::Size(out.width, out.height));
  AsyncFrameSink frames(scaler);
  // Completes the file, checks it and puts it in place; a movie of no frames is not
  // kept. Returns whether the movie is in place.
  const auto completeMovie = [&] {
    frames.finish();
    encoder.finish();
    int readBack = 0;
    if (avi) {
      avi->release();
      out.framesWritten = avi->framesWritten();
    } else {
      muxed->finish();
      out.framesWritten = muxed->framesWritten();
      out.width = muxed->width();
      out.height = muxed->height();
    }
    if (out.framesWritten == 0) {
      staged.discard();
      out.outputError = muxed && !muxed->error().empty() ? muxed->error() : "no frame was written";
      return false;
    }
    if (avi) {
      readBack = countMovieFrames(staged.tempPath());
    } else if (muxed->error().empty()) {
      readBack = readMuxedMovie(staged.tempPath(), false).videoPackets;
    }
    if (readBack != out.framesWritten) {
      out.outputError = probeWriteError(staged.path());
      if (out.outputError.empty() && muxed) out.outputError = muxed->error();
      if (out.outputError.empty())
        out.outputError = "the finished movie reads back with " + std::to_string(readBack) +
                          " of its " + std::to_string(out.framesWritten) + " frames";
      staged.discard();
      return false;
    }
    if (!staged.commit()) {
      out.outputError = staged.error();
      return false;
    }
    out.kept = true;
    return true;
  };

  const FrameListing listing =
      FrameListing::open(JobDirectory(record.inputPath, record.inputPathLength));
  // The reader orients the next scan while this one is cut.
  const int inverse = record.inverse;
  const bool direction = record.direction;
  const bool correction = record.frameCorrection;
  const int filmType = record.filmType;
  const int longstrip = record.longstrip;
  ScanReader reader(listing, record.startFrame, record.stopFrame, [=](const cv::Mat& scan) {
    return RotCor(scan, inverse, direction, correction, filmType, longstrip);
  });

  Resolution res;
  ParametersM area;
  bool measured = false;
  // A bridged scan stands in as black pictures, as many as the scan before it gave.
  CountingSink counted(frames);
  int picturesOfAScan = 1;
  // Filled by the constructor: cv::Mat::zeros starts a lazily made global of the
  // library, which two jobs at once in one process would race to make.
  const cv::Mat black(out.height, out.width, CV_8UC3, cv::Scalar::all(0));
  for (int n = record.startFrame; n <= record.stopFrame; ++n) {
    controls.show(Control::Progress, true);
    controls.stepProgress();
    statusLog.addLine(statusLine("Cutting frame number : %d...", n));

    LoadedScan scan = reader.load(n);
    if (!measured) requireAFrame(scan);
    if (!scan.ok() && record.bridgeUnreadable) {
      out.bridged.push_back(BridgedScan{n, scan.path, scan.error});
      for (int k = 0; k < picturesOfAScan; ++k) frames.write(black);
      if (record.stopRequested) {
        completeMovie();
        statusLog.replace("Operation stopped !!!!");
        killThreadIm(record);
        return JobOutcome::Stopped;
      }
      continue;
    }
    if (!scan.ok()) {
      completeMovie();
      out.failedFrame = n;
      out.failedPath = scan.path;
      out.failure = scan.error;
      errorReadIm(record);
      return JobOutcome::Unreadable;
    }
    const cv::Mat oriented = std::move(scan.image);

    if (!measured) {
      measured = true;
      if (record.manualResolution) {
        res = Resolution{record.resX, record.resY};
      } else {
        resolution(oriented, filmType, res, longstrip != 0, direction);
      }
      filParametersM(oriented, filmType, res, area, record.cutSoundtrack);
      // The settings are checked on the scan as the scanner gave it.
      cv::Mat raw;
      if (inverse != 0) {
        cv::flip(oriented, raw, 0);  // into a new image: the picture is cut from `oriented`
        raw = rot90(raw, 3);
      } else {
        raw = rot90(oriented, 3);
      }
      if (!direction) cv::flip(raw, raw, 0);
      out.warnings = settingsWarnings(
          measureFilm(raw),
          FilmSettings{filmType, longstrip != 0, direction, record.manualResolution,
                       Resolution{record.resX, record.resY}, readScanHeader(scan.path).dpiY});
      statusLog.addLine(statusLine("Picture resolution (dpi) x=%d,y=%d", res.x, res.y));
      out.resolution = res;
      out.area = area;
    }

    if (record.stopRequested) {
      completeMovie();
      statusLog.replace("Operation stopped !!!!");
      killThreadIm(record);
      return JobOutcome::Stopped;
    }

    counted.restart();
    ReversingSink reversed(counted);
    FrameSink& sink = inverse != 0 ? static_cast<FrameSink&>(reversed) : counted;
    const cv::Mat picture = cutBW(oriented, sink, area, filmType, longstrip, record.cutSoundtrack,
                                  out.width, out.height);
    reversed.flush();
    // 16 mm long strips were written by the cut itself; the writer scales every other
    // picture to the frame size with bicubic interpolation.
    if (!picture.empty()) counted.write(picture);
    if (counted.count() > 0) picturesOfAScan = counted.count();
  }
  if (!measured) {
    // Not one scan of the range could be read.
    completeMovie();
    const BridgedScan& last = out.bridged.back();
    out.failedFrame = last.frame;
    out.failedPath = last.path;
    out.failure = last.cause;
    errorReadIm(record);
    return JobOutcome::Unreadable;
  }

  const bool kept = completeMovie();
  controls.setProgressPosition(0);
  statusLog.finish(kept ? "Film was made succesfully!!!\r\n" : "Cannot create the movie file!\r\n");
  ThreadEndIm(record);
  return kept ? JobOutcome::Finished : JobOutcome::WriteFailed;
}

}  // namespace kelvora
