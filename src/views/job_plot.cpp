#include "views/job_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "jobs/sound_job.h"

namespace kelvora {

namespace {

constexpr double kFlaggedShare = 0.05;
constexpr double kDoubtfulShare = 0.01;

const cv::Scalar kBackground(28, 28, 28);
const cv::Scalar kWave(210, 210, 210);
const cv::Scalar kText(230, 230, 230);

cv::Scalar colourOf(const JoinMark& j) {
  if (j.flagged) return kFlaggedJoin;
  return j.deviation >= kDoubtfulShare ? kDoubtfulJoin : kCleanJoin;
}

void text(cv::Mat& image, const std::string& s, cv::Point at, const cv::Scalar& colour,
          double size = 0.55) {
  cv::putText(image, s, at, cv::FONT_HERSHEY_SIMPLEX, size, colour, 1, cv::LINE_AA);
}

// Samples [from, to) drawn into `panel` as their min/max in each pixel column, or as a
// line where there are fewer samples than columns.
void drawWave(cv::Mat panel, const std::vector<float>& s, size_t from, size_t to) {
  const int w = panel.cols, h = panel.rows;
  const auto yOf = [h](float v) {
    return std::clamp(static_cast<int>(std::lround((1.0 - v) * 0.5 * (h - 1))), 0, h - 1);
  };
  cv::line(panel, cv::Point(0, h / 2), cv::Point(w - 1, h / 2), cv::Scalar(70, 70, 70), 1);
  if (to <= from) return;
  const double perColumn = static_cast<double>(to - from) / w;
  if (perColumn < 1.0) {
    for (size_t i = from + 1; i < to; ++i) {
      const int x0 = static_cast<int>((i - 1 - from) / perColumn);
      const int x1 = static_cast<int>((i - from) / perColumn);
      cv::line(panel, cv::Point(x0, yOf(s[i - 1])), cv::Point(x1, yOf(s[i])), kWave, 1,
               cv::LINE_AA);
    }
    return;
  }
  for (int x = 0; x < w; ++x) {
    const size_t a = from + static_cast<size_t>(x * perColumn);
    const size_t b = std::min(to, from + static_cast<size_t>((x + 1) * perColumn) + 1);
    const auto [lo, hi] = std::minmax_element(s.begin() + a, s.begin() + b);
    cv::line(panel, cv::Point(x, yOf(*hi)), cv::Point(x, yOf(*lo)), kWave, 1);
  }
}

}  // namespace

std::vector<JoinMark> classicJoins(const std::vector<CutPoint>& cuts, bool inverse,
                                   size_t samples) {
  std::vector<int> advances;
  for (const CutPoint& c : cuts)
    if (c.cutPoint > 0) advances.push_back(c.cutPoint);
  if (advances.empty()) return {};
  std::vector<int> sorted = advances;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const double typical = sorted[sorted.size() / 2];
  std::vector<JoinMark> joins;
  size_t at = 0;
  for (const CutPoint& c : cuts) {
    if (c.cutPoint < 0) continue;  // a run starts: nothing was joined
    at += static_cast<size_t>(c.cutPoint);
    JoinMark j;
    j.frame = c.frame;
    j.position = inverse && at <= samples ? samples - at : at;
    j.deviation = std::abs(c.cutPoint - typical) / typical;
    j.match = c.overlapMatch;
    j.flagged = j.deviation >= kFlaggedShare || j.match < 0.5;
    joins.push_back(j);
  }
  return joins;
}

SoundLevel measureLevel(const std::vector<float>& samples) {
  SoundLevel l;
  if (samples.empty()) return l;
  double peak = 0.0, sum = 0.0;
  for (const float v : samples) {
    const double a = std::abs(static_cast<double>(v));
    peak = std::max(peak, a);
    sum += a * a;
    if (a >= 0.995) ++l.atFullScale;
  }
  l.peakDb = peak > 0 ? 20 * std::log10(peak) : -200.0;
  l.rmsDb = sum > 0 ? 10 * std::log10(sum / samples.size()) : -200.0;
  return l;
}

namespace {

// The two scans' samples over one another, each about its own mean, on one scale.
void drawOverlap(cv::Mat panel, const JoinOverlap& o) {
  const size_t n = std::min(o.previous.size(), o.present.size());
  if (n < 2) return;
  const auto centred = [n](const std::vector<float>& v) {
    double mean = 0;
    for (size_t i = 0; i < n; ++i) mean += v[i];
    mean /= n;
    std::vector<double> c(n);
    for (size_t i = 0; i < n; ++i) c[i] = v[i] - mean;
    return c;
  };
  const std::vector<double> a = centred(o.previous), b = centred(o.present);
  double reach = 1e-9;
  for (size_t i = 0; i < n; ++i) reach = std::max({reach, std::abs(a[i]), std::abs(b[i])});
  const int w = panel.cols, h = panel.rows;
  cv::line(panel, cv::Point(0, h / 2), cv::Point(w - 1, h / 2), cv::Scalar(70, 70, 70), 1);
  const auto point = [&](size_t i, double v) {
    return cv::Point(static_cast<int>(i * (w - 1) / (n - 1)),
                     static_cast<int>(std::lround((1.0 - v / reach) * 0.5 * (h - 1))));
  };
  for (size_t i = 1; i < n; ++i) {
    cv::line(panel, point(i - 1, a[i - 1]), point(i, a[i]), kPreviousScan, 1, cv::LINE_AA);
    cv::line(panel, point(i - 1, b[i - 1]), point(i, b[i]), kPresentScan, 1, cv::LINE_AA);
  }
}

}  // namespace

JoinOverlap overlapOf(const SoundJobReport& r) {
  const auto& o = r.leastAlikeJoin;
  return o.frame > 0 ? JoinOverlap{o.frame, o.match, o.previous, o.present} : JoinOverlap{};
}

std::vector<JoinMark> joinsOfSoundJob(const SoundJobReport& r, bool inverse, size_t samples,
                                      int rate) {
  std::vector<CutPoint> cuts;
  for (const auto& f : r.frames)
    cuts.push_back(
        CutPoint{f.frame, f.cutPoint, std::isnan(f.overlapMatch) ? 1.0 : f.overlapMatch});
  const double filmSamplesPerSample =
      static_cast<double>(std::max(r.filmRate, 1)) / std::max(rate, 1);
  std::vector<JoinMark> joins =
      classicJoins(cuts, inverse, static_cast<size_t>(samples * filmSamplesPerSample));
  for (JoinMark& j : joins) j.position = static_cast<size_t>(j.position / filmSamplesPerSample);
  return joins;
}

cv::Mat plotSound(const std::vector<float>& s, int rate, const std::vector<JoinMark>& joins,
                  const std::string& title, const JoinOverlap& overlap, int width) {
  cv::Mat image(900, width, CV_8UC3, kBackground);
  text(image, title, cv::Point(12, 26), kText, 0.65);

  // The whole reel, its joins over it.
  const cv::Rect whole(0, 50, width, 380);
  drawWave(image(whole), s, 0, s.size());
  const double perPixel = s.empty() ? 1.0 : static_cast<double>(s.size()) / width;
  int labelRow = 0;
  for (const JoinMark& j : joins) {
    const int x = std::clamp(static_cast<int>(j.position / perPixel), 0, width - 1);
    cv::line(image, cv::Point(x, whole.y), cv::Point(x, whole.y + whole.height - 1), colourOf(j),
             j.flagged ? 2 : 1);
    if (j.flagged) {
      text(image, "frame " + std::to_string(j.frame),
           cv::Point(std::min(x + 4, width - 90), whole.y + 16 + 18 * (labelRow % 4)),
           kFlaggedJoin);
      ++labelRow;
    }
  }

  // Large: the two scans' own samples where they agree least, or else the finished
  // sound a tenth of a second either side of the worst join.
  const cv::Rect zoom(0, 480, width, 300);
  const auto worst = std::max_element(joins.begin(), joins.end(), [](const auto& a, const auto& b) {
    return std::pair(a.flagged, a.deviation) < std::pair(b.flagged, b.deviation);
  });
  char line[200];
  if (overlap.frame > 0) {
    drawOverlap(image(zoom), overlap);
    std::snprintf(line, sizeof line,
                  "where two scans agree least: frame %d from its cut point (orange) and frame %d "
                  "from its start (blue), %zu samples, %.2f alike",
                  overlap.frame - 1, overlap.frame,
                  std::min(overlap.previous.size(), overlap.present.size()), overlap.match);
    text(image, line, cv::Point(12, zoom.y - 10), overlap.match < 0.5 ? kFlaggedJoin : kText);
  } else if (worst != joins.end() && !s.empty()) {
    const size_t reach = static_cast<size_t>(std::max(rate / 10, 50));
    const size_t from = worst->position > reach ? worst->position - reach : 0;
    const size_t to = std::min(s.size(), worst->position + reach);
    drawWave(image(zoom), s, from, to);
    const int x =
        static_cast<int>((worst->position - from) * width / std::max<size_t>(to - from, 1));
    cv::line(image, cv::Point(x, zoom.y), cv::Point(x, zoom.y + zoom.height - 1), colourOf(*worst),
             1);
    std::snprintf(line, sizeof line,
                  "the join least like the others: frame %d, its advance %.1f %% from the reel's "
                  "typical one (0.1 s either side)",
                  worst->frame, 100.0 * worst->deviation);
    text(image, line, cv::Point(12, zoom.y - 10), colourOf(*worst));
  }

  // The meter.
  const SoundLevel level = measureLevel(s);
  char meter[200];
  std::snprintf(meter, sizeof meter,
                "peak %.1f dBFS   RMS %.1f dBFS   at full scale: %zu samples   %zu samples at %d "
                "Hz, %zu joins, %zu flagged",
                level.peakDb, level.rmsDb, level.atFullScale, s.size(), rate, joins.size(),
                static_cast<size_t>(std::count_if(joins.begin(), joins.end(),
                                                  [](const JoinMark& j) { return j.flagged; })));
  text(image, meter, cv::Point(12, 820), kText);
  const int barEnd = static_cast<int>(width * std::clamp((level.peakDb + 60.0) / 60.0, 0.0, 1.0));
  const int rmsEnd = static_cast<int>(width * std::clamp((level.rmsDb + 60.0) / 60.0, 0.0, 1.0));
  cv::rectangle(image, cv::Rect(0, 840, std::max(barEnd, 1), 16), cv::Scalar(0, 140, 255), -1);
  cv::rectangle(image, cv::Rect(0, 840, std::max(rmsEnd, 1), 16), cv::Scalar(0, 170, 0), -1);
  text(image, "-60 dB", cv::Point(4, 880), kText, 0.45);
  text(image, "0 dBFS", cv::Point(width - 60, 880), kText, 0.45);
  return image;
}

}  // namespace kelvora
