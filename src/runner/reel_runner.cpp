#include "runner/reel_runner.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

#include <opencv2/imgcodecs.hpp>

#include "audio/archive_writer.h"
#include "audio/resample.h"
#include "jobs/frame_listing.h"
#include "jobs/staged_file.h"
#include "jobs/start_checks.h"
#include "movie/muxed_movie.h"
#include "runner/job_reports.h"
#include "runner/reel_input.h"
#include "views/job_plot.h"

namespace kelvora {

namespace {

std::string lowerExtension(const std::string& path) {
  std::string end = std::filesystem::path(path).extension().string();
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end;
}

JobRequest jobRequest(const ReelRequest& reel) {
  JobRequest job;
  job.controls = reel.controls;
  job.inputPath = reel.inputPath;
  job.startFrame = reel.startFrame;
  job.stopFrame = reel.stopFrame;
  job.stopRequested = reel.stopRequested;
  job.bridgeUnreadable = reel.bridgeUnreadable;
  return job;
}

// The film settings the job runs with: with filmFromFirstScan, what the first scan shows.
std::string filmOf(const ReelRequest& reel, FilmSettings& film, std::string& chosen) {
  film = reel.film;
  if (!reel.filmFromFirstScan) return "";
  return filmFromFirstScan(reel.inputPath, reel.startFrame, film, chosen);
}

std::string soundNameProblem(const std::string& path, const SoundOutput& output) {
  const std::string wanted = extensionOf(output.format);
  if (lowerExtension(path) == wanted) return "";
  return "--format " + formatName(output.format) + " is written as " +
         (output.format == SoundFormat::Flac ? "FLAC" : "WAV") + ": the output must end in " +
         wanted + " (" + path + ")";
}

// The finished sound, read back as a player hears it, drawn with its joins.
cv::Mat drawPlot(const SoundJobReport& r, bool inverse, const std::string& input,
                 const std::string& output, const std::string& soundFile, std::string& error) {
  std::vector<float> samples;
  int rate = 0;
  error = readSoundSamples(soundFile, samples, rate);
  if (!error.empty()) return cv::Mat();
  const std::vector<JoinMark> joins = joinsOfSoundJob(r, inverse, samples.size(), rate);
  return plotSound(samples, rate, joins, input + "  ->  " + output, overlapOf(r));
}

std::string writePng(const cv::Mat& image, const std::string& path) {
  try {
    if (cv::imwrite(path, image)) return "";
  } catch (const cv::Exception&) {
  }
  const std::string cause = probeWriteError(path);
  return cause.empty() ? "the image writer failed" : cause;
}

std::string writeText(const std::string& text, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (out.good()) return "";
  const std::string cause = probeWriteError(path);
  return cause.empty() ? "the report could not be written" : cause;
}

// Why a report or plot cannot be written at `path`, named as such.
std::string sideOutputProblem(const std::string& inputPath, const std::string& what,
                              const std::string& path) {
  const FrameListing listing =
      FrameListing::open(JobDirectory(inputPath, static_cast<int>(inputPath.size())));
  if (const std::string scan = scanNamedBy(listing, path); !scan.empty())
    return "the output " + path + " is the input scan " + scan;
  if (const std::string problem = outputPathProblem(path); !problem.empty())
    return "cannot write the " + what + " " + path + ": " + problem;
  return "";
}

}  // namespace

std::string unreadableMessage(const JobReport& report) {
  return "cannot read frame " + std::to_string(report.failedFrame) + " (" + report.failedPath +
         "): " + report.failure;
}

std::string soundRequestProblem(const ReelRequest& reel, const SoundRequest& request) {
  if (std::string e = outputProblem(reel.inputPath, request.output); !e.empty()) return e;
  if (std::string e = soundNameProblem(request.output, request.sound.output); !e.empty()) return e;
  if (!request.report.empty()) {
    if (request.report == request.output) return "the report and the sound cannot be the same file";
    if (std::string e = sideOutputProblem(reel.inputPath, "report", request.report); !e.empty())
      return e;
  }
  if (!request.plot.empty()) {
    if (lowerExtension(request.plot) != ".png")
      return "a plot is written as PNG: --plot must end in .png (" + request.plot + ")";
    if (request.plot == request.output || request.plot == request.report)
      return "the plot must be a file of its own";
    if (std::string e = sideOutputProblem(reel.inputPath, "plot", request.plot); !e.empty())
      return e;
  }
  return "";
}

SoundResult decodeSound(const ReelRequest& reel, const SoundRequest& request) {
  SoundResult result;
  FilmSettings film;
  std::string error = filmOf(reel, film, result.filmChosen);
  if (error.empty()) error = soundRequestProblem(reel, request);
  if (!error.empty()) {
    result.outcome = JobOutcome::WriteFailed;
    result.error = error;
    return result;
  }

  // Every output is written aside and put in place together.
  StagedFile sound(request.output, extensionOf(request.sound.output.format));
  std::optional<StagedFile> report, plot;
  if (!request.report.empty()) report.emplace(request.report, ".json");
  if (!request.plot.empty()) plot.emplace(request.plot, ".png");
  const SoundOrigin origin{JobDirectory(reel.inputPath, static_cast<int>(reel.inputPath.size())),
                           film, request.sound, reel.startFrame, reel.stopFrame};
  const std::unique_ptr<SoundSink> sink = soundFileSink(sound, origin);
  result.outcome = ThreadPicture(jobRequest(reel), film, request.sound, *sink, result.report);

  const auto failed = [&](const std::string& what, const std::string& path,
                          const std::string& cause) {
    result.error = "cannot write the " + what + " " + path + ": " + cause;
    if (result.outcome == JobOutcome::Finished) result.outcome = JobOutcome::WriteFailed;
    return result;
  };
  if (report) {
    if (!report->ok()) return failed("report", request.report, report->error());
    const std::string json = soundReportJson(result.report, result.outcome, request.output);
    if (std::string e = writeText(json, report->tempPath()); !e.empty())
      return failed("report", request.report, e);
  }
  switch (result.outcome) {
    case JobOutcome::Finished:
      break;
    case JobOutcome::Stopped:
      result.error = "stopped; no sound file written";
      break;
    case JobOutcome::Unreadable:
      result.error = unreadableMessage(result.report) + "; nothing written";
      break;
    case JobOutcome::WriteFailed:
      result.error = "cannot write " + request.output + ": " + result.report.failure;
      break;
  }
  // A report says how any job ended; the sound and its plot only come with a finished one.
  if (result.outcome != JobOutcome::Finished) {
    if (report && !report->commit()) failed("report", request.report, report->error());
    return result;
  }
  if (plot || request.drawPlot) {
    std::string e;
    result.plot =
        drawPlot(result.report, film.inverse, reel.inputPath, request.output, sound.tempPath(), e);
    if (plot) {
      if (!plot->ok()) return failed("plot", request.plot, plot->error());
      if (e.empty()) e = writePng(result.plot, plot->tempPath());
      if (!e.empty()) return failed("plot", request.plot, e);
    }
  }
  if (!sound.commit()) return failed("sound", request.output, sound.error());
  if (report && !report->commit()) return failed("report", request.report, report->error());
  if (plot && !plot->commit()) return failed("plot", request.plot, plot->error());
  return result;
}

std::string movieRequestProblem(const ReelRequest& reel, const MovieRequest& request) {
  const MovieSettings& m = request.movie;
  const bool withSound = request.sound.source != MovieSound::Source::None;
  const std::string& output = request.output;
  if (!withSound) {
    if (isMuxedCodec(m.codec) || m.size == FrameSize::Native)
      return (isMuxedCodec(m.codec) ? std::string(codecName(m.codec))
                                    : std::string("--size native")) +
             " is written with the sound in an MKV or MP4: give --with-sound";
    if (lowerExtension(output) != ".avi")
      return "a movie is always written as AVI: the output must end in .avi (" + output + ")";
  } else {
    const std::string container = containerFor(output);
    if (container.empty())
      return "a movie with its sound is written as MKV or MP4: the output must end in .mkv or "
             ".mp4 (" +
             output + ")";
    if (m.codec == MovieCodec::Ffv1 && container != "matroska")
      return "FFV1 is written in MKV: the output must end in .mkv (" + output + ")";
    if (!isMuxedCodec(m.codec) && m.codec != MovieCodec::Mpg4)
      return std::string(codecName(m.codec)) +
             " is written in AVI only; with --with-sound use H264 or FFV1";
    if (request.sound.source == MovieSound::Source::File) {
      std::error_code ec;
      if (!std::filesystem::is_regular_file(request.sound.file, ec))
        return "the sound file " + request.sound.file + " is not there";
    }
  }
  return outputProblem(reel.inputPath, output);
}

std::string soundForMovie(const std::string& path, GivenSound& sound) {
  int rate = 0;
  if (std::string e = readSoundSamples(path, sound.samples, rate); !e.empty())
    return "cannot read the sound " + path + ": " + e;
  if (rate != 48000 && rate != 44100 && rate != 96000) {
    std::string error;
    sound.samples = resample(sound.samples, rate, 48000, &error);
    if (!error.empty()) return "cannot resample the sound " + path + ": " + error;
    rate = 48000;
  }
  sound.rate = rate;
  return "";
}

MovieResult makeMovie(const ReelRequest& reel, const MovieRequest& request) {
  MovieResult result;
  FilmSettings film;
  std::string error = filmOf(reel, film, result.filmChosen);
  if (error.empty()) error = movieRequestProblem(reel, request);
  GivenSound given;
  if (error.empty() && request.sound.source == MovieSound::Source::File)
    error = soundForMovie(request.sound.file, given);
  if (!error.empty()) {
    result.outcome = JobOutcome::WriteFailed;
    result.error = error;
    return result;
  }

  const bool withSound = request.sound.source != MovieSound::Source::None;
  const std::string& path = request.output;
  StagedFile file(path, withSound ? std::filesystem::path(path).extension().string() : ".avi");
  std::optional<StagedFile> pictures;
  if (withSound) pictures.emplace(path, ".pictures");
  MovieOutput output;
  output.file = &file;
  output.pictures = pictures ? &*pictures : nullptr;
  output.container = withSound ? containerFor(path) : "";
  output.title = reel.inputPath;
  const JobRequest job = jobRequest(reel);
  if (request.sound.source == MovieSound::Source::Decode) {
    result.outcome = ThreadMovieWithSound(job, film, request.movie, request.sound.sound, output,
                                          result.report, result.sound);
  } else {
    result.outcome =
        ThreadMovie(job, film, request.movie, output, result.report, withSound ? &given : nullptr);
  }
  // A finished movie goes into place; so does a classic one that was stopped or met a
  // scan it could not read, with the frames it holds.
  MovieJobReport& r = result.report;
  if (r.complete && (result.outcome == JobOutcome::Finished || !withSound)) {
    result.kept = file.commit();
    if (!result.kept) {
      r.outputError = file.error();
      if (result.outcome == JobOutcome::Finished) result.outcome = JobOutcome::WriteFailed;
    }
  }
  const std::string kept =
      result.kept ? path + " keeps the " + std::to_string(r.framesWritten) + " frames written"
                  : "no movie written" + (r.outputError.empty() ? "" : " (" + r.outputError + ")");
  switch (result.outcome) {
    case JobOutcome::Finished:
      break;
    case JobOutcome::Stopped:
      result.error = "stopped; " + kept;
      break;
    case JobOutcome::Unreadable:
      result.error = unreadableMessage(r) + "; " + kept;
      break;
    case JobOutcome::WriteFailed:
      result.error =
          "cannot write " + path + ": " + (r.outputError.empty() ? r.failure : r.outputError);
      break;
  }
  return result;
}

}  // namespace kelvora
