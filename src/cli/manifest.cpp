#include "cli/manifest.h"

#include <filesystem>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>

namespace kelvora {

namespace {

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Splits a text line into words: runs of non-blanks, or quoted with ' or ".
bool splitWords(const std::string& line, std::vector<std::string>& words) {
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (const char c : line) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return quote == 0;
}

// Splits a CSV row: fields separated by commas, a field in double quotes may hold
// commas and doubled quotes.
bool splitFields(const std::string& line, std::vector<std::string>& fields) {
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(trimmed(field));
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(trimmed(field));
  return !quoted;
}

bool skipped(const std::string& line) {
  const std::string t = trimmed(line);
  return t.empty() || t[0] == '#';
}

// A first line of column names, "path,film,down": words of letters, digits, '-' and
// '_', more than one, none of them a directory.
bool looksLikeAHeader(const std::string& line, const std::vector<std::string>& fields) {
  if (fields.size() < 2) return false;
  std::error_code ec;
  if (std::filesystem::exists(trimmed(line), ec)) return false;
  return std::all_of(fields.begin(), fields.end(), [](const std::string& f) {
    return !f.empty() && std::all_of(f.begin(), f.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    });
  });
}

}  // namespace

Manifest parseManifest(std::istream& in) {
  Manifest manifest;
  std::vector<std::string> header;
  size_t dirColumn = 0;
  bool csv = false;
  bool first = true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (skipped(line)) continue;
    if (first) {
      first = false;
      std::vector<std::string> fields;
      if (splitFields(line, fields) && (fields.size() > 1 || lowered(fields[0]) == "dir")) {
        const auto dir = std::find_if(fields.begin(), fields.end(),
                                      [](const std::string& f) { return lowered(f) == "dir"; });
        if (dir != fields.end()) {
          csv = true;
          dirColumn = static_cast<size_t>(dir - fields.begin());
          for (const std::string& f : fields) header.push_back(lowered(f));
          continue;
        }
        if (looksLikeAHeader(line, fields)) {
          manifest.error = "the manifest's first line (" + trimmed(line) +
                           ") reads as a CSV header without a dir column: name the column of "
                           "reel directories dir";
          return manifest;
        }
      }
    }
    ManifestReel reel;
    reel.line = number;
    if (csv) {
      std::vector<std::string> fields;
      if (!splitFields(line, fields)) {
        reel.error = "an unclosed quote";
      } else if (fields.size() != header.size()) {
        reel.error = std::to_string(fields.size()) + " fields where the header has " +
                     std::to_string(header.size());
      } else {
        reel.directory = fields[dirColumn];
        for (size_t c = 0; c < fields.size(); ++c)
          if (c != dirColumn) reel.columns.emplace_back(header[c], fields[c]);
      }
    } else {
      std::vector<std::string> words;
      if (!splitWords(line, words)) {
        reel.error = "an unclosed quote";
      } else {
        reel.directory = words.front();
        reel.options.assign(words.begin() + 1, words.end());
      }
    }
    if (reel.error.empty() && reel.directory.empty()) reel.error = "no reel directory";
    manifest.reels.push_back(std::move(reel));
  }
  if (manifest.reels.empty()) manifest.error = "the manifest lists no reels";
  return manifest;
}

bool flagColumnSet(const std::string& value) {
  const std::string v = lowered(trimmed(value));
  return v == "yes" || v == "true" || v == "1" || v == "x" || v == "y";
}

Manifest readManifest(const std::string& path) {
  if (path == "-") return parseManifest(std::cin);
  Manifest manifest;
  std::ifstream file(path);
  if (file) manifest = parseManifest(file);
  // A reel's directory is taken from where the manifest lies, as its author sees it.
  const std::filesystem::path base = std::filesystem::path(path).parent_path();
  for (ManifestReel& reel : manifest.reels)
    if (!reel.directory.empty() && reel.directory.front() != '/' && !base.empty())
      reel.directory = (base / reel.directory).string();
  if (!file.is_open() || file.bad()) {
    manifest.error = "cannot read the manifest " + path;
  } else if (manifest.reels.empty() && manifest.error.empty()) {
    manifest.error = "the manifest " + path + " lists no reels";
  }
  return manifest;
}

std::string parseShard(const std::string& text, Shard& shard) {
  const size_t slash = text.find('/');
  const auto number = [](const std::string& s, int& value) {
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
      return false;
    value = std::stoi(s);
    return true;
  };
  Shard parsed;
  if (slash == std::string::npos || !number(text.substr(0, slash), parsed.index) ||
      !number(text.substr(slash + 1), parsed.count))
    return "--shard takes I/N, as in 2/8";
  if (parsed.count < 1 || parsed.index < 1 || parsed.index > parsed.count)
    return "--shard I/N needs 1 <= I <= N (" + text + ")";
  shard = parsed;
  return "";
}

std::vector<size_t> reelsOfShard(size_t reels, Shard shard) {
  std::vector<size_t> taken;
  for (size_t k = static_cast<size_t>(shard.index - 1); k < reels;
       k += static_cast<size_t>(shard.count))
    taken.push_back(k);
  return taken;
}

}  // namespace kelvora
