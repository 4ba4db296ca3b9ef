#pragma once

#include <string>
#include <vector>

#include "film/film_geometry.h"
#include "jobs/bridged_scan.h"
#include "jobs/job_outcome.h"
#include "jobs/job_records.h"
#include "jobs/reader.h"
#include "precise/scan_joins.h"
#include "scans/scan_header.h"

namespace kelvora {

// What one soundtrack job measured and did, frame by frame.
struct SoundJobReport {
  struct Frame {
    int number = 0;
    int samples = 0;                  // rows of its soundtrack area
    int cutPoint = -1;                // where it starts in the previous frame; -1 for the first
    double overlapMatch = 0.0;        // how alike the film both scans hold there is (see join.h)
    JoinKind join = JoinKind::Clean;  // the precise reader's verdict on the join
  };
  Resolution resolution;
  Parameters parameters;
  int sampleRate = 0;  // of the file written
  int filmRate = 0;    // a sample a scanned row: frames per second times the frame pitch
  SoundFormat format = SoundFormat::Wav8;
  std::vector<Frame> frames;
  size_t samplesWritten = 0;
  int failedFrame = 0;  // the frame that could not be loaded, if any
  std::string failedPath;
  std::string failure;
  std::vector<BridgedScan> bridged;   // scans left out, with bridgeUnreadable
  ScanHeader firstScan;               // what the first readable scan says of itself
  std::vector<std::string> warnings;  // settings the first scan disagrees with, joins that fail
  Reader reader = Reader::Classic;
  // What the precise reader measured of the film.
  struct Reading {
    double framePitch = 0.0;    // rows from frame to frame on the film, measured
    double shrinkage = 0.0;     // against the pitch the resolution gives (0.01: 1 % short)
    int typicalAdvance = 0;     // rows from scan to scan
    double largestWeave = 0.0;  // the film's largest sideways offset, columns
    double skewDegrees = 0.0;   // the largest turn of a scan in the gate
    bool negative = false;
    int scratchColumns = 0;             // the most left out of one scan
    int flaggedJoins = 0;               // joins that are not clean (missing scans, no match)
    std::vector<double> spliceSeconds;  // where film splices cross the track, in the sound
  } reading;
  // The join whose scans hold the least alike film, with what each holds there: the
  // previous frame's samples from the cut point on and the present frame's first ones.
  struct Overlap {
    int frame = 0;  // the scan that takes over; 0 when no join was measured
    double match = 2.0;
    std::vector<float> previous;
    std::vector<float> present;
  } leastAlikeJoin;
};

// The soundtrack job: decodes frames startFrame..stopFrame of the record's input
// directory into one mono sound file at `outputPath`: the classic 8-bit WAV, or the
// record's archive format and rate. It drives the window only through the record's controls and the
// job notifications, checks `stopRequested` once per frame, and writes nothing when stopped or when
// a scan cannot be read (with `bridgeUnreadable`, such a scan is bridged with silence instead).
// `report`, when given, receives the measurements.
JobOutcome ThreadPicture(Picture_Parameters& record, SoundJobReport* report = nullptr);

}  // namespace kelvora
