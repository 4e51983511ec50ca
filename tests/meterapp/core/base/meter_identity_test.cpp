#include "meter_identity.h"

#include <gtest/gtest.h>

#include <string>

#include "device_fixtures.h"
#include "text_field.h"

namespace {

using test_support::ScratchRoot;

constexpr const char* kIdentity = "/etc/meterapp/meterIdentity.conf";
constexpr const char* kBuild = "/usr/local/etc/defconfig/buildInstalled";

TEST(MeterIdentity, FileLinesAndDefaults) {
  struct Case {
    const char* file;  // null: no file
    const char* model;
    const char* serial;
  };
  const Case cases[] = {
      {nullptr, "R9050", "000000000"},
      {"model R90508\nserial 123456789\n", "R90508", "123456789"},
      {"# provisioned\n\nserial  42 \r\n", "R9050", "42"},
      {"model\nserial 7\n", "R9050", "7"},
      {"model R9050-ABCDEFGHIJKLMNOP\n", "R9050-ABCDEFGHI", "000000000"},
  };
  for (const Case& c : cases) {
    ScratchRoot root;
    if (c.file != nullptr) root.write(kIdentity, c.file);
    const MeterIdentity& identity = MeterIdentity_reload();
    EXPECT_EQ(TextField_view(identity.model), c.model) << (c.file ? c.file : "<none>");
    EXPECT_EQ(TextField_view(identity.serial), c.serial) << (c.file ? c.file : "<none>");
  }
}

TEST(MeterIdentity, FirmwareTextFromTheBuildRecord) {
  struct Case {
    const char* record;  // null: no file
    const char* text;    // null: the program's own default
    bool fromRecord;
  };
  const Case cases[] = {
      {nullptr, nullptr, false},
      {"BUILD_HOSTNAME=dev\nBUILD_DATE=2026-11-02T10:20:30\nBUILD_UUID=abc-123\n", "2026-11-02 10:20:30  abc-123", true},
      // A record written on another system: no CR may reach *IDN?.
      {"BUILD_DATE=2026-11-02T10:20:30\r\nBUILD_UUID=abc-123\r\n\r\n", "2026-11-02 10:20:30  abc-123", true},
      {"BUILD_UUID=first\nBUILD_DATE=2026-01-01T00:00:00\n", "2026-01-01 00:00:00", true},
      {"nothing here\n", nullptr, false},
  };
  for (const Case& c : cases) {
    ScratchRoot root;
    if (c.record != nullptr) root.write(kBuild, c.record);
    std::array<char, 128> text{};
    EXPECT_EQ(getFwVersion(text), c.fromRecord);
    const std::string_view got = TextField_view(text);
    if (c.text != nullptr) {
      EXPECT_EQ(got, c.text);
    } else {
      EXPECT_TRUE(got.starts_with("unknown: ")) << got;
    }
    EXPECT_EQ(got.find_first_of("\r\n"), std::string_view::npos);
  }
}

TEST(MeterIdentity, AnOverlongBuildRecordIsCutToTheBuffer) {
  ScratchRoot root;
  root.write(kBuild, "BUILD_DATE=" + std::string(300, 'x') + "\n");
  std::array<char, 128> text{};
  EXPECT_TRUE(getFwVersion(text));
  EXPECT_EQ(TextField_view(text), std::string(127, 'x'));
}

}  // namespace
