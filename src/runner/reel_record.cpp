#include "runner/reel_record.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "jobs/staged_file.h"
#include "jobs/start_checks.h"
#include "runner/job_reports.h"

namespace kelvora {

Fingerprint fingerprintOf(const std::string& path) {
  Fingerprint f;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return f;
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::vector<unsigned char> buffer(1 << 16);
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    f.bytes += n;
    for (size_t i = 0; i < n; ++i) hash = (hash ^ buffer[i]) * 0x100000001b3ull;
  }
  const bool read = std::ferror(file) == 0;
  std::fclose(file);
  if (!read) return Fingerprint{};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  f.hash = hex;
  return f;
}

nlohmann::ordered_json readRecord(const std::string& recordPath) {
  std::ifstream in(recordPath, std::ios::binary);
  if (!in) return nullptr;
  return nlohmann::ordered_json::parse(in, nullptr, false);
}

std::string whyNotDone(const std::string& recordPath, const std::string& settings,
                       const std::vector<std::string>& outputs) {
  const nlohmann::ordered_json record = readRecord(recordPath);
  if (record.is_null()) return "no record";
  if (record.is_discarded() || !record.is_object()) return "the record cannot be read";
  try {
    if (record.value("complete", false) != true) return "the reel was not completed";
    if (record.value("settings", std::string()) != settings) return "the settings changed";
    const std::string directory = directoryOf(recordPath);
    for (const std::string& kind : outputs) {
      if (!record.contains(kind) || !record[kind].is_object()) return "no " + kind + " output";
      const auto& output = record[kind];
      const std::string file = output.value("file", std::string());
      const Fingerprint now = fingerprintOf(directory + "/" + file);
      if (file.empty() || now.hash.empty()) return "the " + kind + " output is missing";
      if (now.bytes != output.value("bytes", std::uintmax_t{0}) ||
          now.hash != output.value("fnv1a64", std::string()))
        return file + " is not the file the record names";
    }
  } catch (const nlohmann::json::exception&) {
    return "the record cannot be read";
  }
  return "";
}

std::string writeJsonFile(const std::string& path, const nlohmann::ordered_json& record) {
  StagedFile staged(path, ".json");
  if (!staged.ok()) return staged.error();
  std::ofstream out(staged.tempPath(), std::ios::binary);
  out << dumpJson(record) << '\n';
  out.close();
  if (!out.good()) return probeWriteError(path);
  return staged.commit() ? "" : staged.error();
}

}  // namespace kelvora
