#include "audio/archive_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "audio/dither.h"

namespace kelvora {

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

// Every WAV over this many data bytes is written as RF64 (the RIFF sizes are 32 bits).
constexpr double kLargestRiffData = 4294967295.0 - 4096.0;

int majorFormat(SoundFormat format, size_t samples) {
  if (format == SoundFormat::Flac) return SF_FORMAT_FLAC;
  const double bytes = static_cast<double>(samples) * bitsOf(format) / 8;
  return bytes > kLargestRiffData ? SF_FORMAT_RF64 : SF_FORMAT_WAV;
}

int subtype(SoundFormat format) {
  switch (format) {
    case SoundFormat::Wav8:
      return SF_FORMAT_PCM_U8;
    case SoundFormat::Wav16:
      return SF_FORMAT_PCM_16;
    case SoundFormat::Wav24:
    case SoundFormat::Flac:
      return SF_FORMAT_PCM_24;
    case SoundFormat::Float:
      return SF_FORMAT_FLOAT;
  }
  return SF_FORMAT_PCM_16;
}

// Copies `text` into a fixed field, cut to fit.
template <size_t N>
void fill(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N));
}

bool setBroadcastInfo(SNDFILE* file, const SoundMetadata& m) {
  // The library's record has room for a coding history of 256 characters; a longer
  // history needs the variable-size form.
  SF_BROADCAST_INFO_VAR(2048) info;
  std::memset(&info, 0, sizeof info);
  fill(info.description, m.description);
  fill(info.originator, m.originator);
  fill(info.origination_date, m.date);
  fill(info.origination_time, m.time);
  info.version = 1;
  const std::string history = m.codingHistory.substr(0, sizeof info.coding_history);
  std::memcpy(info.coding_history, history.data(), history.size());
  info.coding_history_size = static_cast<std::uint32_t>(history.size());
  return sf_command(file, SFC_SET_BROADCAST_INFO, &info, sizeof info) == SF_TRUE;
}

void setComments(SNDFILE* file, const SoundMetadata& m) {
  sf_set_string(file, SF_STR_TITLE, m.description.c_str());
  sf_set_string(file, SF_STR_SOFTWARE, m.originator.c_str());
  sf_set_string(file, SF_STR_DATE, (m.date + " " + m.time).c_str());
  sf_set_string(file, SF_STR_COMMENT, m.codingHistory.c_str());
}

// The cause of a failure: the system's words where the system said what went wrong
// (a full disk, a file too large, no permission), else the library's.
std::string failure(SNDFILE* file) {
  const int e = errno;
  std::string words = sf_strerror(file);
  const bool fromTheSystem = e == ENOSPC || e == EFBIG || e == EDQUOT || e == EIO || e == EROFS ||
                             e == EACCES || e == ENOENT || e == ENAMETOOLONG;
  if (e != 0 && (fromTheSystem || words.find("System error") != std::string::npos))
    words = std::strerror(e);
  return words;
}

std::uint32_t littleEndian32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void appendChunk(std::string& out, const char* id, const std::string& body) {
  const auto size = static_cast<std::uint32_t>(body.size());
  out.append(id, 4);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(size >> shift));
  out += body;
  if (body.size() % 2 != 0) out.push_back('\0');
}

// The sound-file library writes a float WAV's format chunk in 16 bytes, without the
// extension size every format but integer PCM must carry, which strict readers warn
// about. This makes it 18 bytes with an extension size of 0, in place: the library's
// PEAK chunk (optional, seldom read) gives up its room, the rest a JUNK chunk, so the
// samples do not move. Returns "" or why the header could not be completed.
std::string completeFloatFormatChunk(const std::string& path) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!file) return "the float WAV could not be opened again to complete its header";
  std::string header(4096, '\0');
  file.read(header.data(), static_cast<std::streamsize>(header.size()));
  header.resize(static_cast<size_t>(file.gcount()));
  file.clear();
  if (header.size() < 12 || header.compare(0, 4, "RIFF") != 0 || header.compare(8, 4, "WAVE") != 0)
    return "the float WAV's header is not a RIFF WAVE header";
  std::string chunks;
  size_t at = 12;
  bool fmtDone = false;
  while (true) {
    if (at + 8 > header.size()) return "the float WAV's header has no data chunk in its first 4 KB";
    const std::string id = header.substr(at, 4);
    const std::uint32_t size = littleEndian32(header.data() + at + 4);
    if (id == "data") break;
    const size_t next = at + 8 + size + size % 2;
    if (next > header.size()) return "the float WAV's header has no data chunk in its first 4 KB";
    std::string body = header.substr(at + 8, size);
    if (id == "fmt ") {
      if (size >= 18) return "";  // already carries its extension size
      body.append(2, '\0');
      fmtDone = true;
    }
    if (id != "PEAK") appendChunk(chunks, id.c_str(), body);
    at = next;
  }
  const size_t room = at - 12;
  if (!fmtDone || chunks.size() + 8 > room) return "the float WAV's header has no room to complete";
  appendChunk(chunks, "JUNK", std::string(room - chunks.size() - 8, '\0'));
  file.seekp(12);
  file.write(chunks.data(), static_cast<std::streamsize>(chunks.size()));
  file.flush();
  return file ? "" : std::strerror(errno != 0 ? errno : EIO);
}

}  // namespace

SoundMetadata metadataNow(const std::string& reelDirectory, const std::string& settings) {
  SoundMetadata m;
  m.description = "Optical soundtrack of " + reelDirectory + "; " + settings;
  m.originator = std::string("Kelvora ") + KELVORA_VERSION;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[11];
  char time[9];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  m.date = date;
  m.time = time;
  return m;
}

std::string writeArchiveSound(const std::vector<float>& samples, int rate, SoundFormat format,
                              const SoundMetadata& metadata, const std::string& path) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = majorFormat(format, samples.size()) | subtype(format);
  if (sf_format_check(&info) == 0) return "the sound-file library cannot write this format";
  errno = 0;
  Sndfile file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) return failure(nullptr);
  if (format == SoundFormat::Flac) {
    setComments(file.get(), metadata);
  } else if (format != SoundFormat::Wav8 && !setBroadcastInfo(file.get(), metadata)) {
    return "the Broadcast WAV chunk could not be set";
  }
  errno = 0;
  sf_count_t written = 0;
  if (format == SoundFormat::Float) {
    written = sf_write_float(file.get(), samples.data(), static_cast<sf_count_t>(samples.size()));
  } else {
    const std::vector<std::int32_t> whole = quantise(samples, bitsOf(format));
    written = sf_write_int(file.get(), whole.data(), static_cast<sf_count_t>(whole.size()));
  }
  if (written != static_cast<sf_count_t>(samples.size())) return failure(file.get());
  sf_write_sync(file.get());
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) return failure(file.get());
  errno = 0;
  if (sf_close(file.release()) != 0) return std::strerror(errno != 0 ? errno : EIO);
  if (format == SoundFormat::Float && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV)
    return completeFloatFormatChunk(path);
  return "";
}

std::string readSoundSamples(const std::string& path, std::vector<float>& samples, int& rate) {
  SF_INFO info{};
  Sndfile file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) return sf_strerror(nullptr);
  if (info.channels < 1 || info.frames < 0) return "no sound in the file";
  std::vector<float> all(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(file.get(), all.data(), info.frames);
  if (got != info.frames) return "the sound file reads short: " + failure(file.get());
  samples.resize(static_cast<size_t>(info.frames));
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = all[i * info.channels];
  rate = info.samplerate;
  return "";
}

long long readableSamples(const std::string& path) {
  SF_INFO info{};
  Sndfile file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) return -1;
  std::vector<float> block(65536);
  long long total = 0;
  for (;;) {
    const sf_count_t got =
        sf_read_float(file.get(), block.data(), static_cast<sf_count_t>(block.size()));
    if (got <= 0) break;
    total += got;
  }
  return sf_error(file.get()) == SF_ERR_NO_ERROR ? total : -1;
}

}  // namespace kelvora
