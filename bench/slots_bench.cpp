// How long the character tables take: the start-up reads (the ten "Game
// Chars" records and the four slot tables), and one place's claim, record
// and release of a slot of every kind, on files of the real size.
#include <benchmark/benchmark.h>

#include "slots/slot_scan.h"
#include "slots/slot_usage.h"
#include "slots/slot_write.h"
#include "tests/support/files.h"

namespace korva {
namespace {

// The four table files holding only placeholders (paths of 48 bytes, names
// of 24), the character file with its records.
void WriteTables(const TempFolder& game) {
  for (SlotKind kind : kAllSlotKinds) {
    const SlotKindInfo& info = KindInfo(kind);
    std::string bytes(static_cast<size_t>(info.tableStart), 'x');
    for (int i = 0; i < kSlotsPerTable; ++i) {
      std::string path = info.pathPrefix + std::to_string(i);
      std::string name = info.namePrefix + std::to_string(i);
      path.resize(48, '\0');
      name.resize(24, '\0');
      bytes += std::string(16, 'x') + '\x30' + "xxx" + path + '\x18' + "xxx" + name;
      bytes += std::string(static_cast<size_t>(info.gap), 'x');
    }
    bytes += std::string(1024, 'x');
    WriteBytes(game.path() + info.file, bytes);
  }
}

void BM_StartUpReads(benchmark::State& state) {
  TempFolder game;
  WriteTables(game);
  SlotTables tables;
  std::vector<std::string> rows;
  for (auto _ : state) {
    FillGameCharsList(SystemPlatform(), game.path(), &rows);
    for (SlotKind kind : kAllSlotKinds) {
      ScanSlots(SystemPlatform(), game.path(), kind, &tables[static_cast<size_t>(kind)]);
    }
    benchmark::DoNotOptimize(tables);
  }
}
BENCHMARK(BM_StartUpReads)->Unit(benchmark::kMicrosecond);

void BM_ClaimRecordAndReleaseEveryKind(benchmark::State& state) {
  TempFolder game;
  WriteTables(game);
  SlotTables tables;
  for (auto _ : state) {
    for (SlotKind kind : kAllSlotKinds) {
      ClaimFreeSlot(SystemPlatform(), game.path(), kind, "Chars\\Hero", "Hero",
                    &tables[static_cast<size_t>(kind)]);
      RecordSlotUse(SystemPlatform(), game.path(), 0, "Chars\\Hero", "Hero", kind);
    }
    if (!ReleaseCharacterSlots(SystemPlatform(), game.path(), 0, &tables).ok()) {
      state.SkipWithError("release failed");
    }
  }
}
BENCHMARK(BM_ClaimRecordAndReleaseEveryKind)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korva
