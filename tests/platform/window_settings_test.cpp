#ifdef KESTROVE_HAVE_SDL
#include "platform/sdl/window_settings.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

using soft::ParseWindowSettings;
using soft::WindowSettings;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(WindowSettingsTest, BadTextGivesDefaultsWhereBadAndOneProblem) {
  const char elf[] = "\x7F"
                     "ELF\x02\x01\x01\0\0windowed yes\n";
  const std::string junk(elf, sizeof elf - 1);
  for (const std::string& text :
       {junk, std::string(5000, '#'), std::string("windowed maybe\n"), std::string("scale 9\n"),
        std::string("scale 2x\n"), std::string("windowed=yes\n"), std::string("scale\n")}) {
    const auto parsed = ParseWindowSettings(text);
    EXPECT_EQ(parsed.settings, WindowSettings{}) << text;
    EXPECT_FALSE(parsed.problem.empty()) << text;
  }
  // The good lines count; the problem names the first bad one and how many more there are.
  const auto parsed = ParseWindowSettings("scale 0\nwindowed yes\n\x80\x81 x\n");
  EXPECT_EQ(parsed.settings, (WindowSettings{true, 1}));
  EXPECT_NE(parsed.problem.find("line 1:"), std::string::npos) << parsed.problem;
  EXPECT_NE(parsed.problem.find("1 more"), std::string::npos) << parsed.problem;
}

TEST(WindowSettingsTest, WrittenSettingsReadBackWithOtherKeysKept) {
  const auto parsed = ParseWindowSettings("# mine\r\n\r\n  scale\t8 \r\nzoom fast\nwindowed yes");
  EXPECT_EQ(parsed.problem, "");
  EXPECT_EQ(parsed.settings, (WindowSettings{true, 8}));
  const auto again =
      ParseWindowSettings(soft::FormatWindowSettings(parsed.settings, parsed.otherLines));
  EXPECT_EQ(again.problem, "");
  EXPECT_EQ(again.settings, parsed.settings);
  EXPECT_EQ(again.otherLines, std::vector<std::string>{"zoom fast"});
}

TEST(WindowSettingsTest, PathNeedsAnAbsoluteFolder) {
  EXPECT_EQ(soft::SettingsPathFrom("/x", "/h"), "/x/kestrove/settings");
  EXPECT_EQ(soft::SettingsPathFrom("x", "/h"), "/h/.config/kestrove/settings");
  EXPECT_EQ(soft::SettingsPathFrom("", "/h"), "/h/.config/kestrove/settings");
  EXPECT_EQ(soft::SettingsPathFrom(nullptr, "h"), "");
}

// Each trouble with the file is told once, leaves the file as it was until the player changes a
// setting, and never blocks.
TEST(WindowSettingsTest, FileTroubleIsToldOnceAndKeepsTheFile) {
  TempDir dir;
  std::vector<std::string> told;
  auto at = [&](const std::string& path) {
    return soft::WindowSettingsFile(path, [&](const std::string& s) { told.push_back(s); });
  };

  // The player's choice is written even where it equals the defaults a missing file gave.
  auto missing = at(dir.file("new/kestrove/settings"));
  EXPECT_EQ(missing.Load(), WindowSettings{});
  missing.Store({});
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "new/kestrove/settings"));
  missing.Store({true, 3});
  EXPECT_EQ(at(dir.file("new/kestrove/settings")).Load(), (WindowSettings{true, 3}));
  missing.Store({});
  EXPECT_EQ(Read(dir.file("new/kestrove/settings")), soft::FormatWindowSettings({}, {}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "new/kestrove"), {}),
            1); // no temporary file left beside it
  EXPECT_TRUE(told.empty()) << told[0];

  const std::string junk = dir.write("junk", std::string(1 << 20, '\0'));
  auto damaged = at(junk);
  EXPECT_EQ(damaged.Load(), WindowSettings{});
  EXPECT_EQ(told.size(), 1u);
  EXPECT_EQ(Read(junk), std::string(1 << 20, '\0'));
  damaged.Store({});
  EXPECT_EQ(Read(junk), soft::FormatWindowSettings({}, {}));

  std::filesystem::create_directory(dir.path() / "folder");
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  // Unreadable and unwritable; unreadable, then replaced; only unwritable.
  for (auto [name, tells] :
       {std::pair{"folder", 2u}, {"pipe", 1u}, {"junk/kestrove/settings", 1u}}) {
    told.clear();
    auto file = at(dir.file(name));
    EXPECT_EQ(file.Load(), WindowSettings{});
    file.Store({true, 2});
    file.Store({false, 2});
    EXPECT_EQ(told.size(), tells) << name;
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder"));
}

} // namespace
#endif
