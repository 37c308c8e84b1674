#include "app/DataFolder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// An installed tree: the program in games/, its data in share/games/kestrove.
struct Tree {
  TempDir dir;
  fs::path work = dir.path() / "work", games = dir.path() / "games",
           share = dir.path() / "share" / "games" / "kestrove", build = dir.path() / "build";
  Tree() {
    for (const fs::path& p : {work, games, games / "data", share, build})
      fs::create_directories(p);
  }
  DataSearch Search() const { return {"", "", work, games, build}; }
  void Put(const fs::path& folder, const char* name) const {
    dir.write((folder / name).lexically_relative(dir.path()).string(), "x");
  }
};

} // namespace

TEST(DataFolder, EachPlaceInTurnOnlyWhenItHoldsADataFile) {
  Tree t;
  // A folder named like a data file does not make a data folder.
  fs::create_directory(t.work / "H3.MAF");
  DataChoice none = FindDataFolder(t.Search());
  EXPECT_TRUE(none.folder.empty());
  EXPECT_FALSE(none.named);
  const std::vector<fs::path> order{t.work, t.games, t.games / "data", t.share, t.build};
  EXPECT_EQ(none.looked, order);

  // Filled from the last place to the first, each newly filled one wins.
  const char* files[] = {"H01.fnt", "bg_image.jpg", "deja2.kv0", "ascii.fnt", "deja1.kv0"};
  for (int i = 4; i >= 0; --i) {
    t.Put(order[i], files[i]);
    EXPECT_EQ(FindDataFolder(t.Search()).folder, order[i]) << files[i];
  }
}

TEST(DataFolder, TheOptionThenTheEnvironmentAreTakenAsTheyAre) {
  Tree t;
  t.Put(t.work, "H3.MAF");
  DataSearch s = t.Search();
  s.environment = "/nowhere/env";
  DataChoice env = FindDataFolder(s);
  EXPECT_TRUE(env.named);
  EXPECT_EQ(env.folder, "/nowhere/env");
  s.option = "/nowhere/option";
  EXPECT_EQ(FindDataFolder(s).folder, "/nowhere/option");

  // Without a known program folder only the working directory and the build tree remain.
  DataSearch bare{"", "", t.dir.path() / "empty", "", t.build};
  EXPECT_EQ(FindDataFolder(bare).looked, (std::vector<fs::path>{bare.workingDir, t.build}));
}
