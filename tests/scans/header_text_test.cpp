// Text from a scan's header reaches reports and messages as valid UTF-8, whatever
// bytes the writer left in it.
#include "scans/header_text.h"

#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "scans/scan_header.h"
#include "support/cli_run.h"
#include "support/dpx_file.h"
#include "support/temp_dir.h"

namespace kelvora {
namespace {

TEST(HeaderTextTest, BytesThatAreNotUtf8AreReplacedAndTextIsKept) {
  const struct {
    const char* text;
    const char* valid;
  } cases[] = {
      {"Academy", "Academy"},
      {"Kodak \xE2\x80\x93 5219 \xF0\x9F\x8E\x9E", "Kodak \xE2\x80\x93 5219 \xF0\x9F\x8E\x9E"},
      {"Acad\xE9mie 35", "Acad\xEF\xBF\xBDmie 35"},                              // Latin-1
      {"\xFF\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // 0xFF fill
      {"ends \xE2\x80", "ends \xEF\xBF\xBD\xEF\xBF\xBD"},                        // cut off
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // a surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
      {"\x80x", "\xEF\xBF\xBDx"},  // a lone continuation
  };
  for (const auto& c : cases) {
    EXPECT_EQ(validUtf8(c.text), c.valid) << c.text;
    EXPECT_NO_THROW((void)nlohmann::json(validUtf8(c.text)).dump()) << c.text;
  }
}

struct HeaderCase {
  const char* name;
  std::string filmFormat;
  std::string manufacturer;
  bool undefinedFilled;
  const char* filmType;  // as read
};

const HeaderCase kHeaders[] = {
    {"latin1", "Acad\xE9mie", "\xE9\xE9", false, "Acad\xEF\xBF\xBDmie"},
    {"ff_fill", "", "", true, ""},
    {"ff_inside", "Vision\xFF\xFF 3\xFF\xFF", "\xFF\xFF", false,
     "Vision\xEF\xBF\xBD\xEF\xBF\xBD 3"},
    {"utf8", "Kodak \xE2\x80\x93 5219", "01", false, "Kodak \xE2\x80\x93 5219"},
};

bool isValidUtf8(const std::string& s) { return validUtf8(s) == s; }

// Header fields are read as valid UTF-8, and the command line writes the report of a
// reel whose headers hold such bytes.
TEST(HeaderTextTest, DpxHeaderFieldsAreReadAsValidUtf8AndReported) {
  test::TempDir dir;
  reel::ReelOptions o;
  o.scans = 3;
  const reel::Reel film = reel::writeReel(o, dir.file("film"));
  for (const HeaderCase& c : kHeaders) {
    SCOPED_TRACE(c.name);
    test::DpxFileLayout l;
    l.filmFormat = c.filmFormat;
    l.manufacturer = c.manufacturer;
    l.undefinedFilled = c.undefinedFilled;
    const std::string scans = dir.file(c.name);
    const ScanHeader h = readScanHeader(test::writeDpxReel(film, l, 3, scans).front());
    ASSERT_TRUE(h.read);
    EXPECT_EQ(h.filmType, c.filmType);
    EXPECT_TRUE(isValidUtf8(h.keycode)) << h.keycode;
    EXPECT_TRUE(isValidUtf8(h.format));
    const std::string report = dir.file(std::string(c.name) + ".json");
    const test::CliResult r =
        test::runCli("sound " + scans + " -o " + dir.file("s.wav") + " --report " + report);
    ASSERT_EQ(r.status, 0) << r.output;
    std::ifstream in(report);
    const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_NE(j.dump().find(nlohmann::json(c.filmType).dump()), std::string::npos) << j.dump();
  }
}

}  // namespace
}  // namespace kelvora
