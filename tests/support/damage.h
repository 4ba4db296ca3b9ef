#pragma once

#include <string>

namespace kelvora::test {

// The ways a scan on disk goes bad, as archives meet them.
void replaceWithText(const std::string& path);   // not an image at all
void truncateToAThird(const std::string& path);  // a copy cut short
void corruptImageData(const std::string& path);  // bit rot in an LZW strip
void replaceWithTinyScan(const std::string& path, int width, int height);

// The whole text of a file, "" when it cannot be read.
std::string fileText(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// Files in `directory` whose names begin with '.': what a job left behind.
int hiddenFiles(const std::string& directory);

}  // namespace kelvora::test
