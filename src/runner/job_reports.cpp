#include "runner/job_reports.h"

#include <cmath>

namespace kelvora {

namespace {

nlohmann::ordered_json scanHeader(const ScanHeader& h) {
  if (!h.read) return nullptr;
  nlohmann::ordered_json j;
  j["format"] = h.format;
  j["width"] = h.width;
  j["height"] = h.height;
  j["channels"] = h.channels;
  j["bits"] = h.bits;
  j["dpi"] = h.dpiX > 0 ? nlohmann::ordered_json{{"x", h.dpiX}, {"y", h.dpiY}}
                        : nlohmann::ordered_json(nullptr);
  if (h.format == "dpx") {
    j["frame_rate"] = h.frameRate;
    j["film_type"] = h.filmType;
    j["keycode"] = h.keycode;
  }
  return j;
}

}  // namespace

nlohmann::ordered_json soundMeasurements(const SoundJobReport& r) {
  nlohmann::ordered_json j;
  j["resolution"] = {{"x", r.resolution.x}, {"y", r.resolution.y}};
  j["track_width"] = r.parameters.trackWidth;
  j["frame_pitch"] = r.parameters.framePitch;
  j["format"] = formatName(r.format);
  j["sample_rate"] = r.sampleRate;
  j["film_rate"] = r.filmRate;
  j["samples_written"] = r.samplesWritten;
  j["reader"] = readerName(r.reader);
  // The same fields for both readers; what the classic reader does not measure is null.
  const FilmReading& m = r.reading;
  const bool precise = r.reader == Reader::Precise;
  const auto measured = [precise](nlohmann::ordered_json value) {
    return precise ? value : nlohmann::ordered_json(nullptr);
  };
  const auto rounded = [](double v, double unit) { return std::round(v / unit) * unit; };
  j["reading"] = {{"frame_pitch", rounded(m.framePitch, 0.001)},
                  {"shrinkage", measured(rounded(m.shrinkage, 0.00001))},
                  {"typical_advance", m.typicalAdvance},
                  {"largest_weave", measured(rounded(m.largestWeave, 0.01))},
                  {"skew_degrees", measured(rounded(m.skewDegrees, 0.001))},
                  {"negative", measured(m.negative)},
                  {"scratch_columns", measured(m.scratchColumns)},
                  {"flagged_joins", m.flaggedJoins},
                  {"splices", measured(m.spliceSeconds)}};
  nlohmann::ordered_json frames = nlohmann::ordered_json::array();
  for (const auto& f : r.frames) {
    nlohmann::ordered_json frame;
    frame["frame"] = f.frame;
    frame["file"] = f.name;
    frame["samples"] = f.samples;
    frame["cut_point"] =
        f.cutPoint < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(f.cutPoint);
    if (f.cutPoint >= 0 && !std::isnan(f.overlapMatch))
      frame["overlap_match"] = std::round(f.overlapMatch * 1000) / 1000;
    if (f.cutPoint >= 0) frame["join"] = joinKindName(f.join);
    frames.push_back(std::move(frame));
  }
  j["frames"] = std::move(frames);
  j["scan"] = scanHeader(r.firstScan);
  j["warnings"] = r.warnings;
  return j;
}

nlohmann::ordered_json movieMeasurements(const MovieJobReport& r) {
  nlohmann::ordered_json j;
  j["frames_written"] = r.framesWritten;
  j["width"] = r.width;
  j["height"] = r.height;
  j["fps"] = r.fps;
  j["codec"] = r.codec;
  j["warnings"] = r.warnings;
  return j;
}

std::string soundReportJson(const SoundJobReport& r, JobOutcome outcome,
                            const std::string& output) {
  nlohmann::ordered_json j;
  j["outcome"] = describe(outcome);
  j["output"] = output;
  j.update(soundMeasurements(r));
  return dumpJson(j) + "\n";
}

std::string dumpJson(const nlohmann::ordered_json& j) {
  // Text from a file's header may hold bytes that are not UTF-8; they are replaced.
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json bridgedScans(const std::vector<BridgedScan>& bridged) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const BridgedScan& b : bridged)
    list.push_back({{"frame", b.frame}, {"path", b.path}, {"cause", b.cause}});
  return list;
}

}  // namespace kelvora
