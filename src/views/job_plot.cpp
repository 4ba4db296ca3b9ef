#include "views/job_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "jobs/sound_job.h"
#include "readers/sound_reader.h"

namespace kelvora {

namespace {

constexpr double kFlaggedShare = 0.05;
constexpr double kDoubtfulShare = 0.01;

const cv::Scalar kBackground(28, 28, 28);
const cv::Scalar kWave(210, 210, 210);
const cv::Scalar kText(230, 230, 230);
const cv::Scalar kAxis(150, 150, 150);

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

// A swatch of `colour` and its text, from `x` on the baseline `y`; returns where the
// next may start.
int legendEntry(cv::Mat& image, int x, int y, const cv::Scalar& colour, const std::string& s) {
  cv::rectangle(image, cv::Rect(x, y - 9, 20, 6), colour, cv::FILLED);
  text(image, s, cv::Point(x + 26, y), kText, 0.45);
  int base = 0;
  return x + 26 + cv::getTextSize(s, cv::FONT_HERSHEY_SIMPLEX, 0.45, 1, &base).width + 24;
}

// Ticks down from row `y` across the image's width for the seconds `from` to `to`,
// each labelled below.
void drawTimeAxis(cv::Mat& image, int y, double from, double to) {
  const int w = image.cols;
  cv::line(image, cv::Point(0, y), cv::Point(w - 1, y), kAxis, 1);
  const std::vector<double> ticks = timeTicks(from, to);
  if (ticks.size() < 2) return;
  const double step = ticks[1] - ticks[0];
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 4);
  for (const double t : ticks) {
    const int x = static_cast<int>(std::lround((t - from) / (to - from) * w));
    if (x < 0 || x >= w) continue;
    cv::line(image, cv::Point(x, y), cv::Point(x, y + 6), kAxis, 1);
    char label[32];
    std::snprintf(label, sizeof label, "%.*f s", decimals, t);
    int base = 0;
    const int labelWidth = cv::getTextSize(label, cv::FONT_HERSHEY_SIMPLEX, 0.42, 1, &base).width;
    const int lx = std::clamp(x - labelWidth / 2, 2, w - labelWidth - 2);
    text(image, label, cv::Point(lx, y + 22), kText, 0.42);
  }
}

}  // namespace

std::vector<double> timeTicks(double from, double to, int most) {
  std::vector<double> ticks;
  if (!(to > from) || most < 2) return ticks;
  const double span = to - from;
  double step = std::pow(10.0, std::floor(std::log10(span / most)));
  for (const double f : {1.0, 2.0, 5.0, 10.0, 20.0}) {
    if (std::floor(span / (step * f) + 1e-9) + 1 <= most) {
      step *= f;
      break;
    }
  }
  // Whole multiples of the step, so that 0.3 reads as 0.3 and not 0.30000000000000004.
  const auto first = static_cast<long long>(std::ceil(from / step - 1e-9));
  for (long long i = first;
       i * step <= to + 1e-9 * step && ticks.size() < static_cast<size_t>(most); ++i)
    ticks.push_back(static_cast<double>(i) * step);
  return ticks;
}

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
    j.file = c.file;
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
  return o.frame > 0 ? JoinOverlap{o.frame, o.name, o.match, o.previous, o.present} : JoinOverlap{};
}

std::vector<JoinMark> joinsOfSoundJob(const SoundJobReport& r, bool inverse, size_t samples,
                                      int rate) {
  std::vector<CutPoint> cuts;
  for (const auto& f : r.frames)
    cuts.push_back(
        CutPoint{f.frame, f.name, f.cutPoint, std::isnan(f.overlapMatch) ? 1.0 : f.overlapMatch});
  const double filmSamplesPerSample =
      static_cast<double>(std::max(r.filmRate, 1)) / std::max(rate, 1);
  std::vector<JoinMark> joins =
      classicJoins(cuts, inverse, static_cast<size_t>(samples * filmSamplesPerSample));
  for (JoinMark& j : joins) j.position = static_cast<size_t>(j.position / filmSamplesPerSample);
  return joins;
}

cv::Mat plotSound(const std::vector<float>& s, int rate, const std::vector<JoinMark>& joins,
                  const std::string& title, const JoinOverlap& overlap, int width) {
  cv::Mat image(940, width, CV_8UC3, kBackground);
  text(image, title, cv::Point(12, 24), kText, 0.65);
  int x = legendEntry(image, 12, 48, kCleanJoin, "join within 1 % of the typical advance");
  x = legendEntry(image, x, 48, kDoubtfulJoin, "1 to 5 % off");
  legendEntry(image, x, 48, kFlaggedJoin, "5 % or more off, or the film does not continue");

  // The whole reel, its joins over it, its seconds below.
  const double seconds = static_cast<double>(s.size()) / std::max(rate, 1);
  const cv::Rect whole(0, 60, width, 380);
  drawWave(image(whole), s, 0, s.size());
  drawTimeAxis(image, whole.y + whole.height, 0.0, seconds);
  const double perPixel = s.empty() ? 1.0 : static_cast<double>(s.size()) / width;
  int labelRow = 0;
  for (const JoinMark& j : joins) {
    const int jx = std::clamp(static_cast<int>(j.position / perPixel), 0, width - 1);
    cv::line(image, cv::Point(jx, whole.y), cv::Point(jx, whole.y + whole.height - 1), colourOf(j),
             j.flagged ? 2 : 1);
    if (j.flagged) {
      const std::string label = frameAndFile(j.frame, j.file);
      int base = 0;
      const int labelWidth = cv::getTextSize(label, cv::FONT_HERSHEY_SIMPLEX, 0.55, 1, &base).width;
      text(image, label,
           cv::Point(std::max(0, std::min(jx + 4, width - labelWidth - 4)),
                     whole.y + 16 + 18 * (labelRow % 4)),
           kFlaggedJoin);
      ++labelRow;
    }
  }

  // Large: the two scans' own samples where they agree least, or else the finished
  // sound a tenth of a second either side of the worst join.
  const cv::Rect zoom(0, 510, width, 280);
  const auto worst = std::max_element(joins.begin(), joins.end(), [](const auto& a, const auto& b) {
    return std::pair(a.flagged, a.deviation) < std::pair(b.flagged, b.deviation);
  });
  char line[300];
  if (overlap.frame > 0) {
    drawOverlap(image(zoom), overlap);
    const size_t n = std::min(overlap.previous.size(), overlap.present.size());
    drawTimeAxis(image, zoom.y + zoom.height, 0.0, static_cast<double>(n) / std::max(rate, 1));
    std::snprintf(line, sizeof line,
                  "where two scans agree least: frame %d from its cut point (orange) and %s "
                  "from its start (blue), %zu samples, %.2f alike",
                  overlap.frame - 1, frameAndFile(overlap.frame, overlap.file).c_str(), n,
                  overlap.match);
    text(image, line, cv::Point(12, zoom.y - 12), overlap.match < 0.5 ? kFlaggedJoin : kText);
  } else if (worst != joins.end() && !s.empty()) {
    const size_t reach = static_cast<size_t>(std::max(rate / 10, 50));
    const size_t from = worst->position > reach ? worst->position - reach : 0;
    const size_t to = std::min(s.size(), worst->position + reach);
    drawWave(image(zoom), s, from, to);
    drawTimeAxis(image, zoom.y + zoom.height, static_cast<double>(from) / std::max(rate, 1),
                 static_cast<double>(to) / std::max(rate, 1));
    const int wx =
        static_cast<int>((worst->position - from) * width / std::max<size_t>(to - from, 1));
    cv::line(image, cv::Point(wx, zoom.y), cv::Point(wx, zoom.y + zoom.height - 1),
             colourOf(*worst), 1);
    std::snprintf(line, sizeof line,
                  "the join least like the others: %s, its advance %.1f %% from the reel's "
                  "typical one (0.1 s either side)",
                  frameAndFile(worst->frame, worst->file).c_str(), 100.0 * worst->deviation);
    text(image, line, cv::Point(12, zoom.y - 12), colourOf(*worst));
  }

  // The level: the peak's bar over the RMS's, on a scale from -60 dB to full scale.
  const SoundLevel level = measureLevel(s);
  char meter[200];
  std::snprintf(meter, sizeof meter,
                "peak %.1f dBFS   RMS %.1f dBFS   at full scale: %zu samples   %zu samples at %d "
                "Hz (%.2f s), %zu joins, %zu flagged",
                level.peakDb, level.rmsDb, level.atFullScale, s.size(), rate, seconds, joins.size(),
                static_cast<size_t>(std::count_if(joins.begin(), joins.end(),
                                                  [](const JoinMark& j) { return j.flagged; })));
  text(image, meter, cv::Point(12, 852), kText);
  const cv::Rect bar(0, 864, width, 16);
  const auto barEnd = [&](double db) {
    return std::max(1, static_cast<int>(width * std::clamp((db + 60.0) / 60.0, 0.0, 1.0)));
  };
  cv::rectangle(image, cv::Rect(0, bar.y, barEnd(level.peakDb), bar.height), kPeakLevel, -1);
  cv::rectangle(image, cv::Rect(0, bar.y, barEnd(level.rmsDb), bar.height), kRmsLevel, -1);
  for (int db = -60; db <= 0; db += 12) {
    const int tx = std::min(width - 1, (db + 60) * width / 60);
    cv::line(image, cv::Point(tx, bar.y + bar.height), cv::Point(tx, bar.y + bar.height + 5), kAxis,
             1);
    const std::string label = std::to_string(db) + " dB";
    int base = 0;
    const int labelWidth = cv::getTextSize(label, cv::FONT_HERSHEY_SIMPLEX, 0.42, 1, &base).width;
    text(image, label,
         cv::Point(std::clamp(tx - labelWidth / 2, 2, width - labelWidth - 2), bar.y + 38), kText,
         0.42);
  }
  x = legendEntry(image, 12, 928, kPeakLevel, "peak level");
  legendEntry(image, x, 928, kRmsLevel, "RMS level (the bars run from -60 dB to full scale, 0 dB)");
  return image;
}

}  // namespace kelvora
