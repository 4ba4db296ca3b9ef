#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kelvora {

// What identifies the bytes of a finished output: its size and a 64-bit FNV-1a hash
// of its content, in hex.
struct Fingerprint {
  std::uintmax_t bytes = 0;
  std::string hash;  // empty when the file cannot be read
};

Fingerprint fingerprintOf(const std::string& path);

// The record of a reel's outputs, OUTDIR/REEL.json, is written last, after the
// outputs are in place. It says whether the reel is complete, with which settings,
// and names each output with its fingerprint ("sound" and "movie" entries, each with
// "file", "bytes" and "fnv1a64"). A reel is done when its record says it is complete
// with the same settings and each of `outputs` ("sound", "movie") is there with the
// fingerprint the record gives. Returns "" when it is, or why not.
std::string whyNotDone(const std::string& recordPath, const std::string& settings,
                       const std::vector<std::string>& outputs);

// The record of the reel done before, or null when there is none or it cannot be read.
nlohmann::ordered_json readRecord(const std::string& recordPath);

// Writes `record` to `path` aside and renames it into place. Returns "" or the cause.
std::string writeJsonFile(const std::string& path, const nlohmann::ordered_json& record);

}  // namespace kelvora
