// A clean world for each test: empty object table, a map of the test's making, scripted keys.
#pragma once

#include "support/temp_dir.h"
#include "world/Vesk3_chara.h"
#include "world/Vesk3_map.h"
#include "world/Vesk3_obj.h"
#include "world/map_builder.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

class WorldTest : public ::testing::Test {
protected:
  void SetUp() override {
    Reset();
    KeyStateSource = &ScriptedKeys;
    ConversationStarter = [this](int32_t slot) { Conversations.push_back(slot); };
  }
  void TearDown() override {
    Reset();
    KeyStateSource = SavedKeys;
    ConversationStarter = nullptr;
  }

  void UseMap(const MapBuilder& b) {
    WorldMap = std::make_unique<TWorldMap>(Dir.write("t.maf", b.Bytes()));
  }

  // The game's pass over the table: update every slot in order, free those that ask for it.
  void RunFrame(int32_t firstSlot = 0) {
    for (int32_t i = firstSlot; i < ObjectSlotCount; ++i)
      if (Objects[i] && !Objects[i]->Update()) Objects[i].reset();
  }

  template <typename T> T& Put(int32_t slot, std::unique_ptr<T> object) {
    T& ref = *object;
    Objects[slot] = std::move(object);
    return ref;
  }

  static int16_t ScriptedKeys(int32_t key) {
    return Held.count(key) ? int16_t(0x8000) : int16_t(0);
  }

  static void Reset() {
    for (auto& o : Objects)
      o.reset();
    WorldMap.reset();
    Held.clear();
  }

  static inline std::set<int32_t> Held;
  TKeyStateSource SavedKeys = KeyStateSource;
  std::vector<int32_t> Conversations;
  TempDir Dir;
};
