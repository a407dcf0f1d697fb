#include <gtest/gtest.h>

#include <filesystem>

#include "installer/import.h"
#include "installer/mod_database.h"
#include "installer/mod_manager.h"
#include "installer/package_fingerprint.h"
#include "installer/roster_share.h"
#include "tests/support/files.h"
#include "tests/support/system.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_archives.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// The files of one package named `name`, below `prefix` in an archive.
std::vector<TestEntry> PackageEntries(const std::string& prefix, const std::string& name) {
  const std::string p = prefix.empty() ? "" : prefix + "/";
  return {File(p + "modfile.ini", "name=" + name + "\r\ndataname=" + name + "\r\n"),
          File(p + "sounddata.ini", "sound " + name + "\r\n"),
          File(p + "files/chars/" + name + ".tex", NoiseBytes(3000, static_cast<uint32_t>(name.size())))};
}

// What the mods folder holds for that package in the folder `folder`.
Files PackageFiles(const std::string& folder, const std::string& name) {
  return {{folder, "<folder>"},
          {folder + "/modfile.ini", "name=" + name + "\r\ndataname=" + name + "\r\n"},
          {folder + "/sounddata.ini", "sound " + name + "\r\n"},
          {folder + "/files", "<folder>"},
          {folder + "/files/chars", "<folder>"},
          {folder + "/files/chars/" + name + ".tex", NoiseBytes(3000, static_cast<uint32_t>(name.size()))}};
}

std::vector<TestEntry> Concat(std::vector<TestEntry> a, const std::vector<TestEntry>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Files Merge(Files a, const Files& b) {
  a.insert(b.begin(), b.end());
  return a;
}

// A shared roster's archive: roster `roster` naming `packages` in places 1
// on, each package's files as PackageEntries gives them below mods/, and the
// manifest with their fingerprints; `tamper` changes the manifest or the
// entries after the fingerprints are taken.
using Tamper = std::function<void(RosterManifest&, std::vector<TestEntry>&)>;
std::vector<TestEntry> RosterArchive(const std::string& roster, const std::vector<std::string>& packages,
                                     const Tamper& tamper = nullptr) {
  RosterManifest manifest{roster, {}};
  std::string places;
  for (size_t i = 0; i < 10; ++i) places += std::to_string(i + 1) + "=" + (i < packages.size() ? packages[i] : "") + "\r\n";
  std::vector<TestEntry> entries = {File("rosters/" + roster + ".txt", places)};
  for (const std::string& package : packages) {
    ContentFingerprint content;
    for (const TestEntry& entry : PackageEntries("mods/" + package, package)) {
      BytesHash hash;
      hash.Add(entry.bytes);
      content.AddFile(entry.name.substr(6 + package.size()), entry.bytes.size(), hash.Digest());
      entries.push_back(entry);
    }
    manifest.packages.push_back({package, content.Hex()});
  }
  if (tamper) tamper(manifest, entries);
  entries.push_back(File(kRosterManifestName, RosterManifestText(manifest)));
  return entries;
}

const char* const kFormats[] = {"zip", "7z", "tar.gz", "tar.xz", "tar.bz2", "rar4", "rar5"};

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() { fs::create_directories(downloads); }

  std::string Archive(const std::string& name, const std::string& format,
                      const std::vector<TestEntry>& entries) {
    std::string path = downloads + "/" + name;
    WriteTestArchive(path, format, entries);
    return path;
  }
  ImportReport Import(const std::vector<std::string>& sources, const ImportOptions& options = {}) {
    return ImportMods(platform, mods, sources, options);
  }
  Files Mods() { return fs::exists(mods) ? Snapshot(mods) : Files(); }
  // The mods folder and the rosters folder beside it.
  Files ModsAndRosters() {
    Files files = Mods();
    if (fs::exists(dir / "rosters")) {
      for (const auto& [path, bytes] : Snapshot(dir / "rosters")) files["rosters/" + path] = bytes;
    }
    return files;
  }

  TempFolder dir;
  const std::string mods = dir / "mods";
  const std::string downloads = dir / "downloads";
  TestPlatform platform;
};

TEST_F(ImportTest, EachFormatGivesOneFolderPerPackageNamedAfterItsFolderOrTheArchive) {
  struct Layout {
    const char* name;
    std::vector<TestEntry> entries;
    Files expected;
  } layouts[] = {
      {"at the top: named after the archive", PackageEntries("", "Runner"),
       PackageFiles("Blue Runner v2", "Runner")},
      {"one folder down", Concat({File("readme.txt", "hi")}, PackageEntries("Red Runner", "Red")),
       PackageFiles("Red Runner", "Red")},
      {"two in one archive, two folders down",
       Concat(PackageEntries("pack/Alpha", "A"), PackageEntries("pack/Beta (big)", "B")),
       Merge(PackageFiles("Alpha", "A"), PackageFiles("Beta (big)", "B"))},
  };
  for (const char* format : kFormats) {
    for (const Layout& layout : layouts) {
      std::string name = std::string(layout.name) + " in " + format;
      fs::remove_all(mods);
      std::string ext = std::string(format).substr(0, 3) == "rar" ? "rar" : format;
      std::string archive = Archive("Blue Runner v2." + ext, format, layout.entries);
      ImportReport report = Import({archive});
      EXPECT_TRUE(report.refused.empty()) << name << ": " << ImportMessage(report);
      EXPECT_EQ(Mods(), layout.expected) << name;
      EXPECT_EQ(report.imported.size(), layout.expected.count("Alpha") ? 2u : 1u) << name;
    }
  }
}

TEST_F(ImportTest, HostileOrUnsafeEntriesRefuseTheWholeArchiveAndSayWhy) {
  auto with = [](std::vector<TestEntry> bad) { return Concat(PackageEntries("Pack", "P"), bad); };
  TestEntry link{"Pack/files/link", "", TestEntry::kSymlink, "/etc/passwd"};
  TestEntry hard{"Pack/files/hard", "", TestEntry::kHardlink, "Pack/modfile.ini"};
  TestEntry device{"Pack/files/tty", "", TestEntry::kDevice};
  struct Case {
    const char* format;
    std::vector<TestEntry> entries;
    ImportRule rule;
    std::string reason;
  } cases[] = {
      {"zip", with({File("../x", "x")}), ImportRule::kClimbsOut, "entry \"../x\" climbs out with \"..\""},
      {"7z", with({File("Pack/files/../../../x", "x")}), ImportRule::kClimbsOut,
       "entry \"Pack/files/../../../x\" climbs out with \"..\""},
      {"tar.gz", with({File("Pack\\..\\..\\x", "x")}), ImportRule::kClimbsOut,
#ifdef _WIN32
       // libarchive on Windows gives a "\\" in a name as "/".
       "entry \"Pack/../../x\" climbs out with \"..\""},
#else
       "entry \"Pack\\..\\..\\x\" climbs out with \"..\""},
#endif
      {"tar.xz", with({File("/abs", "x")}), ImportRule::kAbsoluteName, "entry \"/abs\" has an absolute name"},
      {"zip", with({File("C:/Windows/x", "x")}), ImportRule::kAbsoluteName,
       "entry \"C:/Windows/x\" has an absolute name"},
      {"rar5", with({File("../x", "x")}), ImportRule::kClimbsOut, "entry \"../x\" climbs out with \"..\""},
      {"tar.gz", with({link}), ImportRule::kLink, "entry \"Pack/files/link\" is a link"},
      {"zip", with({link}), ImportRule::kLink, "entry \"Pack/files/link\" is a link"},
      {"tar.xz", with({hard}), ImportRule::kHardLink, "entry \"Pack/files/hard\" is a hard link"},
      {"tar.gz", with({device}), ImportRule::kSpecialFile,
       "entry \"Pack/files/tty\" is a device or another special file"},
      {"zip", with({File("Pack/files/a:b", "x")}), ImportRule::kBadName,
       "entry \"Pack/files/a:b\" has a name that Windows cannot hold"},
      {"7z", with({File("Pack/files/aux.txt", "x")}), ImportRule::kBadName,
       "entry \"Pack/files/aux.txt\" has a name that Windows cannot hold"},
      {"zip", with({File("Pack/files/Hair.TEX", "x"), File("Pack/files/hair.tex", "y")}),
       ImportRule::kSameName,
       "entries \"Pack/files/Hair.TEX\" and \"Pack/files/hair.tex\" would be one file on Windows, "
       "where case does not count"},
      {"tar.gz", with({File("Pack/files", "a file where a folder is")}), ImportRule::kSameName,
       "entry \"Pack/files\" is in it twice"},
  };
  for (const Case& c : cases) {
    std::string archive = Archive("bad.pkg", c.format, c.entries);
    ImportReport report = Import({archive});
    ASSERT_EQ(report.refused.size(), 1u) << c.reason;
    EXPECT_EQ(report.refused[0].rule, c.rule) << c.reason;
    EXPECT_EQ(report.refused[0].reason, c.reason);
    EXPECT_EQ(report.refused[0].source, archive);
    EXPECT_TRUE(report.imported.empty()) << c.reason;
    EXPECT_EQ(Mods(), Files()) << c.reason;
  }
  // A name Windows cannot hold outside every package is never written, so
  // it refuses nothing.
  Import({Archive("mac.zip", "zip", with({File("__MACOSX/Icon\r", "")}))});
  EXPECT_EQ(Mods(), PackageFiles("Pack", "P"));
}

TEST_F(ImportTest, RatioBombsAndOversizedEntriesAreRefusedWithoutFillingTheDisk) {
  TestEntry zeros = File("Pack/files/zeros.bin", "");
  zeros.zeros = 70 * 1000 * 1000;
  struct Case {
    const char* format;
    std::vector<TestEntry> entries;
    ImportRule rule;
    std::string reason;
  } cases[] = {
      {"zip", Concat(PackageEntries("Pack", "P"), {zeros}), ImportRule::kRatio,
       "entry \"Pack/files/zeros.bin\" unpacks to more than 1000 times its compressed size"},
      {"7z", Concat(PackageEntries("Pack", "P"), {zeros}), ImportRule::kRatio,
       "it unpacks to more than 1000 times its own size"},
      {"tar.xz", Concat(PackageEntries("Pack", "P"), {zeros}), ImportRule::kRatio,
       "it unpacks to more than 1000 times its own size"},
  };
  for (const Case& c : cases) {
    ImportReport report = Import({Archive("bomb", c.format, c.entries)});
    ASSERT_EQ(report.refused.size(), 1u) << c.format;
    EXPECT_EQ(report.refused[0].rule, c.rule) << c.format;
    EXPECT_EQ(report.refused[0].reason, c.reason) << c.format;
    EXPECT_EQ(Mods(), Files()) << c.format;
  }

  // Well compressible data short of 1000 to 1 goes in.
  std::string text;
  while (text.size() < 3000000) text += "slot " + std::to_string(text.size() % 977) + " = pawnik\r\n";
  ImportReport report = Import({Archive("text.7z", "7z", Concat(PackageEntries("Pack", "P"),
                                                                 {File("Pack/files/text.txt", text)}))});
  EXPECT_TRUE(report.refused.empty()) << ImportMessage(report);
  EXPECT_EQ(ReadBytes(mods + "/Pack/files/text.txt"), text);
}

TEST_F(ImportTest, EntryAndSizeLimits) {
  // A tar header that claims 3 GiB: refused before anything is read.
  std::string header(512, '\0');
  header.replace(0, 8, "Pack/big");
  header.replace(100, 8, "0000644");
  header.replace(124, 12, "30000000000");  // octal 3 GiB
  header.replace(136, 12, "14000000000");
  header[156] = '0';
  header.replace(257, 6, std::string("ustar\0", 6));
  header.replace(263, 2, "00");
  header.replace(148, 8, "        ");
  unsigned sum = 0;
  for (char c : header) sum += static_cast<unsigned char>(c);
  char checksum[8];
  snprintf(checksum, sizeof checksum, "%06o", sum);
  header.replace(148, 7, std::string(checksum, 6) + '\0');
  WriteBytes(downloads + "/big.tar", header + std::string(1024, '\0'));
  ImportReport big = Import({downloads + "/big.tar"});
  ASSERT_EQ(big.refused.size(), 1u);
  EXPECT_EQ(big.refused[0].rule, ImportRule::kTooLarge);
  EXPECT_EQ(big.refused[0].reason, "it would unpack to more than 2 GiB");

  std::vector<TestEntry> many = PackageEntries("Pack", "P");
  for (uint64_t i = 0; i < kImportMaxEntries; ++i) many.push_back(File("Pack/e/" + std::to_string(i), ""));
  ImportReport crowded = Import({Archive("many.zip", "zip-store", many)});
  ASSERT_EQ(crowded.refused.size(), 1u);
  EXPECT_EQ(crowded.refused[0].rule, ImportRule::kTooManyEntries);
  EXPECT_EQ(crowded.refused[0].reason, "it holds more than 100000 entries");
  EXPECT_EQ(Mods(), Files());
}

TEST_F(ImportTest, WhatIsNoModPackageIsRefusedSayingWhatItHolds) {
  struct Case {
    const char* name;
    std::string path;
    ImportRule rule;
    std::string reason;
  } cases[] = {
      {"no modfile.ini", Archive("docs.zip", "zip", {File("readme.txt", "r"), File("pics/a.png", "p"),
                                                     File("a/b/c/modfile.ini", "three down")}),
       ImportRule::kNoModfile,
       "there is no modfile.ini in it, at its top or up to two folders down, so it holds no mod "
       "package. Its top holds: a/, pics/, readme.txt"},
      {"an empty archive", Archive("empty.tar.gz", "tar.gz", {}), ImportRule::kNoModfile,
       "there is no modfile.ini in it, at its top or up to two folders down, so it holds no mod "
       "package. It is empty"},
      {"not an archive", downloads + "/notes.zip", ImportRule::kNotArchive,
       "it is not an archive that can be read (zip, 7z, rar, tar.gz, tar.bz2 or tar.xz)"},
      {"missing", downloads + "/gone.zip", ImportRule::kMissing,
       "it is neither a file nor a folder that can be read"},
  };
  WriteBytes(downloads + "/notes.zip", "just some text, not an archive at all\n");
  for (const Case& c : cases) {
    ImportReport report = Import({c.path});
    ASSERT_EQ(report.refused.size(), 1u) << c.name;
    EXPECT_EQ(report.refused[0].rule, c.rule) << c.name;
    EXPECT_EQ(report.refused[0].reason, c.reason) << c.name;
  }
  EXPECT_EQ(Mods(), Files());
}

TEST_F(ImportTest, ArchivesCutShortHalfWayLeaveNothing) {
  for (const char* format : {"zip", "7z", "tar.gz", "tar.xz", "rar5"}) {
    std::vector<TestEntry> entries = PackageEntries("Pack", "P");
    entries.push_back(File("Pack/files/big.bin", NoiseBytes(200000, 7)));
    entries.push_back(File("Pack/files/zz_last.txt", "last"));
    std::string path = Archive(std::string("cut.") + format, format, entries);
    fs::resize_file(path, fs::file_size(path) / 2);
    ImportReport report = Import({path});
    ASSERT_EQ(report.refused.size(), 1u) << format;
    EXPECT_EQ(report.refused[0].rule, ImportRule::kUnreadable) << format;
    EXPECT_NE(report.refused[0].reason.find("cut short"), std::string::npos) << report.refused[0].reason;
    EXPECT_EQ(Mods(), Files()) << format;
  }
}

TEST_F(ImportTest, AnExistingPackageIsKeptUnlessReplacingIsAnswered) {
  WriteBytes(mods + "/pack/modfile.ini", "name=Old\r\n");
  WriteBytes(mods + "/pack/old_only.txt", "old");
  const Files old = Mods();
  std::string archive = Archive("new.7z", "7z", PackageEntries("Pack", "P"));

  ImportReport kept = Import({archive});  // no one to ask: nothing is replaced
  ASSERT_EQ(kept.refused.size(), 1u);
  EXPECT_EQ(kept.refused[0].rule, ImportRule::kKept);
  EXPECT_EQ(kept.refused[0].reason,
            "the package (from \"Pack\") was not imported: the mods folder has a \"Pack\" already, "
            "and it was kept");
  EXPECT_EQ(Mods(), old);

  std::vector<std::string> asked;
  bool answer = false;
  ImportOptions options;
  options.replace = [&](const std::string& folder, const std::string& source) {
    asked.push_back(folder + " from " + source);
    return answer;
  };
  EXPECT_EQ(Import({archive}, options).refused.size(), 1u);
  EXPECT_EQ(Mods(), old);
  answer = true;
  ImportReport replaced = Import({archive}, options);
  EXPECT_TRUE(replaced.refused.empty());
  ASSERT_EQ(replaced.imported.size(), 1u);
  EXPECT_TRUE(replaced.imported[0].replaced);
  EXPECT_EQ(Mods(), PackageFiles("Pack", "P"));
  EXPECT_EQ(asked, std::vector<std::string>(2, "Pack from " + archive));

  // When the new one cannot take the place, the old one is put back.
  WriteBytes(mods + "/Pack/old_only.txt", "old");
  const Files before = Mods();
  platform.Fail(Op::Rename, "/new-");
  ImportReport failed = Import({archive}, options);
  ASSERT_EQ(failed.refused.size(), 1u);
  EXPECT_EQ(failed.refused[0].rule, ImportRule::kWriteFailed);
  EXPECT_EQ(Mods(), before);
}

// A roster archive brings its packages and its roster, reusing a package
// that mods holds with the same files; one with other files, and a roster
// of the same name with other lines, are kept unless replacing is
// answered. A failed or cancelled roster import leaves everything as it was.
TEST_F(ImportTest, ARosterArchiveBringsItsRosterAndItsPackagesOrNothing) {
  const std::string zip = Archive("weekend.zip", "zip", RosterArchive("weekend", {"Alpha", "Beta"}));
  const Files both = Merge(PackageFiles("Alpha", "Alpha"), PackageFiles("Beta", "Beta"));
  ImportReport first = Import({zip});
  EXPECT_EQ(ImportMessage(first), "Imported into \"Mod Database\":\n- Alpha, from weekend.zip\n- Beta, from weekend.zip\n"
                                  "The roster \"weekend\" was imported from weekend.zip, with 2 packages.");
  EXPECT_EQ(Mods(), both);
  EXPECT_EQ(ReadBytes(dir / "rosters/weekend.txt").substr(0, 21), "1=Alpha\r\n2=Beta\r\n3=\r\n");
  EXPECT_EQ(ImportMessage(Import({zip})),
            "The roster \"weekend\" was imported from weekend.zip, with 2 packages. The mods folder held Alpha and "
            "Beta already, with the same files.");

  WriteBytes(mods + "/Alpha/sounddata.ini", "mine");
  WriteBytes(dir / "rosters/weekend.txt", "1=Beta\r\n");
  const Files before = ModsAndRosters();
  std::vector<std::string> asked;
  bool replaceRoster = false, replacePackage = false;
  ImportOptions options;
  options.replace_roster = [&](const std::string& name, const std::string&) { asked.push_back("roster " + name); return replaceRoster; };
  options.replace = [&](const std::string& folder, const std::string&) { asked.push_back(folder); return replacePackage; };
  struct Case {
    bool roster, package;
    Op fail;  // a call that fails, or CanRead for none
    std::string reason;
  } cases[] = {
      {false, true, Op::CanRead, "there is a roster \"weekend\" already, and it was kept; nothing of the archive was imported"},
      {true, false, Op::CanRead, "the mods folder has a package \"Alpha\" already, with other files, and it was kept; "
                                 "nothing of the archive was imported"},
      {true, true, Op::ReplaceFile, "the roster \"weekend\" could not be saved ("},
      {true, true, Op::Rename, "\"Alpha\" could not be put in place ("},
  };
  for (const Case& c : cases) {
    replaceRoster = c.roster;
    replacePackage = c.package;
    if (c.fail != Op::CanRead) platform.Fail(c.fail, c.fail == Op::Rename ? "/new-" : "");
    ImportReport refused = Import({zip}, options);
    platform.ClearFailures();
    ASSERT_EQ(refused.refused.size(), 1u) << c.reason;
    EXPECT_EQ(refused.refused[0].reason.rfind(c.reason, 0), 0u) << refused.refused[0].reason;
    EXPECT_EQ(ModsAndRosters(), before) << c.reason;
  }
  int reports = 0;
  options.progress = [&](double, const std::string&) { return ++reports < 3; };
  EXPECT_TRUE(Import({zip}, options).cancelled);
  EXPECT_EQ(ModsAndRosters(), before);

  options.progress = nullptr;
  asked.clear();
  ImportReport replaced = Import({zip}, options);
  EXPECT_EQ(asked, (std::vector<std::string>{"roster weekend", "Alpha"}));
  EXPECT_EQ(ImportMessage(replaced), "Imported into \"Mod Database\":\n- Alpha, from weekend.zip (it replaced the package "
                                     "of that name)\nThe roster \"weekend\" was imported from weekend.zip, in place of the "
                                     "roster of that name, with 2 packages. The mods folder held Beta already, with the same files.");
  EXPECT_EQ(Mods(), both);
}

// Hostile roster archives are refused whole, saying why, before anything is
// written.
TEST_F(ImportTest, HostileRosterArchivesAreRefusedWholeBeforeAnythingIsWritten) {
  TestEntry zeros = File("mods/Alpha/files/zeros.bin", "");
  zeros.zeros = 70 * 1000 * 1000;
  struct Case {
    const char* name;
    Tamper tamper;
    ImportRule rule;
    std::string reason;
  } cases[] = {
      {"a package it does not carry",
       [](RosterManifest&, std::vector<TestEntry>& e) { e.resize(4); },
       ImportRule::kMissingPackage, "its manifest names the package \"Beta\", which it does not carry (it has no \"mods/Beta/modfile.ini\")"},
      {"a fingerprint that does not match", [](RosterManifest&, std::vector<TestEntry>& e) { e[3].bytes[7] ^= 1; },
       ImportRule::kFingerprint, "the files of the package \"Alpha\" do not match its fingerprint in the manifest: they "
                                 "were changed after the roster was shared, or the archive is damaged"},
      {"a package named by a path", [](RosterManifest& m, std::vector<TestEntry>&) { m.packages[0].folder = "../Alpha"; },
       ImportRule::kBadManifest, "its manifest \"korva-zid-roster.ini\" names the package \"../Alpha\", which is a path; a "
                                 "roster names a package by its folder name under mods only"},
      {"an entry that climbs out of mods",
       [](RosterManifest&, std::vector<TestEntry>& e) { e.push_back(File("mods/Alpha/../../evil.txt", "x")); },
       ImportRule::kClimbsOut, "entry \"mods/Alpha/../../evil.txt\" climbs out with \"..\""},
      {"a file of no package", [](RosterManifest&, std::vector<TestEntry>& e) { e.push_back(File("chars/evil.tex", "x")); },
       ImportRule::kBadManifest, "entry \"chars/evil.tex\" is neither its roster nor in a package its manifest names"},
      {"a roster name with path characters", [](RosterManifest& m, std::vector<TestEntry>&) { m.roster = "../weekend"; },
       ImportRule::kBadManifest, "its manifest \"korva-zid-roster.ini\" names the roster \"../weekend\", which holds \"/\""},
      {"past the size limits", [&](RosterManifest&, std::vector<TestEntry>& e) { e.push_back(zeros); },
       ImportRule::kRatio, "entry \"mods/Alpha/files/zeros.bin\" unpacks to more than 1000 times its compressed size"},
  };
  for (const Case& c : cases) {
    ImportReport report = Import({Archive("hostile.zip", "zip", RosterArchive("weekend", {"Alpha", "Beta"}, c.tamper))});
    ASSERT_EQ(report.refused.size(), 1u) << c.name;
    EXPECT_EQ(report.refused[0].rule, c.rule) << c.name;
    EXPECT_EQ(report.refused[0].reason.rfind(c.reason, 0), 0u) << c.name << ": " << report.refused[0].reason;
    EXPECT_EQ(ModsAndRosters(), Files()) << c.name;
  }
}

TEST_F(ImportTest, ACutOffImportLeavesEitherTheOldOrTheNewPackageNeverHalfOfOne) {
  // Every file-changing step of a replacing import, cut in turn; the next
  // import (or start) cleans up. "Mod Database" never lists a half package.
  std::string archive = Archive("new.zip", "zip", Concat(PackageEntries("Pack", "P"), PackageEntries("Two", "T")));
  const Files oldPack = {{"Pack", "<folder>"}, {"Pack/modfile.ini", "name=Old\r\n"}, {"Pack/o.txt", "o"}};
  const Files after = Merge(PackageFiles("Pack", "P"), PackageFiles("Two", "T"));
  ImportOptions options;
  options.replace = [](const std::string&, const std::string&) { return true; };
  for (int k = 1;; ++k) {
    fs::remove_all(mods);
    for (const auto& [path, bytes] : oldPack) {
      if (bytes != "<folder>") WriteBytes(mods + "/" + path, bytes);
    }
    platform.CutPowerAt(k);
    ImportMods(platform, mods, {archive}, options);
    const bool finished = !platform.power_cut();
    platform.CutPowerAt(0);
    if (finished) {
      EXPECT_EQ(Mods(), after);
      EXPECT_GT(k, 10);
      break;
    }
    ModList list;
    ASSERT_TRUE(FillModList(platform, dir.path(), &list).ok());
    for (const std::string& folder : list.folders) {
      Files listed;
      const std::string name = BaseName(folder);
      for (const auto& [path, bytes] : Mods()) {
        if (path == name || path.compare(0, name.size() + 1, name + "/") == 0) listed[path] = bytes;
      }
      EXPECT_TRUE(listed == oldPack || listed == PackageFiles(name, name == "Pack" ? "P" : "T"))
          << "cut at step " << k << ": " << folder;
    }
    RemoveImportLeftovers(platform, mods);
    Files now = Mods();
    EXPECT_TRUE(now == oldPack || now == after || now == Merge(oldPack, PackageFiles("Two", "T")) ||
                now == Merge(PackageFiles("Pack", "P"), Files{}))
        << "cut at step " << k;
  }
}

TEST_F(ImportTest, FailuresAndCancelLeaveTheModsFolderAsItWas) {
  WriteBytes(mods + "/Keep/modfile.ini", "name=Keep\r\n");
  const Files before = Mods();
  std::string first = Archive("first.zip", "zip", PackageEntries("", "First"));
  std::string second = Archive("second.tar.gz", "tar.gz", PackageEntries("Second", "S"));

  for (Op op : {Op::WriteNewFileUnflushed, Op::FlushFiles}) {
    platform.Fail(op, "", 1, op == Op::FlushFiles ? 0 : 2);
    ImportReport failed = Import({second});
    ASSERT_EQ(failed.refused.size(), 1u);
    EXPECT_EQ(failed.refused[0].rule, ImportRule::kWriteFailed);
    EXPECT_NE(failed.refused[0].reason.find("injected failure"), std::string::npos);
    EXPECT_EQ(Mods(), before);
    platform.ClearFailures();
  }

  // Cancel at the first progress report, half-way, and at the last one: even
  // the first archive, unpacked in full, is not kept.
  int reports = 0;
  ImportOptions counting;
  counting.progress = [&](double, const std::string&) { return ++reports > 0; };
  Import({first, second}, counting);
  fs::remove_all(mods + "/first");
  fs::remove_all(mods + "/Second");
  ASSERT_EQ(Mods(), before);
  for (int cancelAt : {1, reports / 2, reports}) {
    int seen = 0;
    std::vector<std::string> doing;
    ImportOptions options;
    options.progress = [&](double done, const std::string& what) {
      EXPECT_GE(done, 0.0);
      EXPECT_LE(done, 1.0);
      doing.push_back(what);
      return ++seen < cancelAt;
    };
    ImportReport report = Import({first, second}, options);
    EXPECT_TRUE(report.cancelled) << cancelAt;
    EXPECT_TRUE(report.imported.empty());
    EXPECT_EQ(ImportMessage(report), "The import was cancelled. Nothing was imported.");
    EXPECT_EQ(Mods(), before) << "cancelled at report " << cancelAt << " of " << reports;
    EXPECT_EQ(doing.front(), "Checking first.zip");
  }
}

TEST_F(ImportTest, PackageFoldersAreCopiedByTheSameRules) {
  const std::string source = dir / "My Mod";
  WriteBytes(source + "/modfile.ini", "name=Mine\r\n");
  WriteBytes(source + "/files/chars/a.tex", NoiseBytes(3 * 1024 * 1024 + 5, 3));
  WriteBytes(source + "/files/empty.txt", "");
  const std::string collection = dir / "collection";
  WriteBytes(collection + "/One/modfile.ini", "name=One\r\n");
  WriteBytes(collection + "/sub/Two/modfile.ini", "name=Two\r\n");
  ImportReport report = Import({source, collection + "/"});
  EXPECT_TRUE(report.refused.empty()) << ImportMessage(report);
  Files expected;
  for (const auto& [path, bytes] : Snapshot(source)) expected["My Mod/" + path] = bytes;
  expected["My Mod"] = "<folder>";
  expected.insert({{"One", "<folder>"}, {"One/modfile.ini", "name=One\r\n"}, {"Two", "<folder>"},
                   {"Two/modfile.ini", "name=Two\r\n"}});
  EXPECT_EQ(Mods(), expected);

  const Files before = Mods();
  ImportOptions yes;
  yes.replace = [](const std::string&, const std::string&) { return true; };
  ImportReport inside = Import({mods + "/One", dir.path()}, yes);
  ASSERT_EQ(inside.refused.size(), 2u);
  EXPECT_EQ(inside.refused[0].reason, "it is in the mods folder already");
  EXPECT_EQ(inside.refused[1].reason, "it holds the mods folder itself");
  EXPECT_EQ(Mods(), before);
}

TEST_F(ImportTest, APackageFolderWithALinkIsRefused) {
  const std::string source = dir / "My Mod";
  WriteBytes(source + "/modfile.ini", "name=Mine\r\n");
  WriteBytes(dir / "elsewhere/secret", "not the package's");
  fs::create_directories(source + "/files");
  std::string whyNot;
  if (!MakeLink(dir / "elsewhere", source + "/files/etc", &whyNot)) GTEST_SKIP() << whyNot;
  const Files before = Mods();
  ImportReport link = Import({source});
  ASSERT_EQ(link.refused.size(), 1u);
  EXPECT_EQ(link.refused[0].reason, "\"files/etc\" is a link");
  EXPECT_EQ(Mods(), before);
}

TEST_F(ImportTest, TwoPackagesOfOneNameInOneImportKeepTheFirst) {
  std::string a = Archive("a.zip", "zip", PackageEntries("Pack", "P"));
  std::string b = Archive("b.7z", "7z", Concat(PackageEntries("v2/Pack", "Q"), PackageEntries("v2/Other", "O")));
  ImportReport report = Import({a, b});
  ASSERT_EQ(report.imported.size(), 2u);
  EXPECT_EQ(report.imported[0].folder, "Pack");
  EXPECT_EQ(report.imported[1].folder, "Other");
  ASSERT_EQ(report.refused.size(), 1u);
  EXPECT_EQ(report.refused[0].rule, ImportRule::kNameTwice);
  EXPECT_EQ(Mods(), Merge(PackageFiles("Pack", "P"), PackageFiles("Other", "O")));
  EXPECT_EQ(ImportMessage(report),
            "Imported into \"Mod Database\":\n"
            "- Pack, from a.zip\n"
            "- Other, from b.7z\n"
            "Refused:\n"
            "- b.7z: the package (from \"v2/Pack\") would take the folder name \"Pack\", which "
            "another package of this import takes.");
}

TEST_F(ImportTest, LeftoversOfACutOffImportAreCleanedAndAMovedAsidePackageGoesBack) {
  WriteBytes(mods + "/.import-1_temp/new-1/modfile.ini", "name=Half\r\n");
  WriteBytes(mods + "/.import-1_temp/old/Aside/modfile.ini", "name=Aside\r\n");
  WriteBytes(mods + "/.import-1_temp/old/Placed/modfile.ini", "name=Old placed\r\n");
  WriteBytes(mods + "/Placed/modfile.ini", "name=New placed\r\n");
  WriteBytes(mods + "/.import-7_temp/new-3/x", "x");
  ModList list;
  FillModList(platform, dir.path(), &list);
  EXPECT_EQ(list.names, std::vector<std::string>{"New placed"});

  RemoveImportLeftovers(platform, mods);
  EXPECT_EQ(Mods(), (Files{{"Aside", "<folder>"}, {"Aside/modfile.ini", "name=Aside\r\n"},
                           {"Placed", "<folder>"}, {"Placed/modfile.ini", "name=New placed\r\n"}}));
}

TEST(ImportNamesTest, FolderNamesAreSafeOnWindowsAndLinux) {
  const std::pair<std::string, std::string> cases[] = {
      {"Blue Runner (v2.1)", "Blue Runner (v2.1)"}, {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
      {"Zo\xC3\xAB", "Zo_"},                         {"tab\there", "tab_here"},
      {"..hidden. ", "hidden"},                      {".import-1_temp", "import-1_temp"},
      {"CON", "CON_"},                               {"lpt1.txt", "lpt1_.txt"},
      {"com10", "com10"},                            {"...", "mod"},
      {"", "mod"},                                   {std::string(150, 'x'), std::string(100, 'x')},
      {std::string(99, 'x') + " y", std::string(99, 'x')},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFolderName(name), safe) << name;

  const std::pair<std::string, std::string> stems[] = {
      {"/d/Blue Runner.zip", "Blue Runner"}, {"x.TAR.GZ", "x"},   {"x.tgz", "x"},
      {"x.tar.bz2", "x"},                    {"x.tar.xz", "x"},    {"pack.v2.7z", "pack.v2"},
      {"x.rar", "x"},                        {"x.dat", "x.dat"},   {"C:\\dl\\y.zip", "y"},
  };
  for (const auto& [path, stem] : stems) EXPECT_EQ(ArchiveStem(path), stem) << path;
}

TEST(ImportFormatsTest, RarIsRecognisedByItsSignatureWhateverItsName) {
  TempFolder dir;
  WriteTestArchive(dir / "pack.bin", "rar5", PackageEntries("", "R"));
  WriteTestArchive(dir / "old.dat", "rar4", PackageEntries("Old", "O"));
  TestPlatform platform;
  ImportReport report = ImportMods(platform, dir / "mods", {dir / "pack.bin", dir / "old.dat"}, {});
  EXPECT_TRUE(report.refused.empty()) << ImportMessage(report);
  EXPECT_EQ(Snapshot(dir / "mods"), Merge(PackageFiles("pack.bin", "R"), PackageFiles("Old", "O")));
}

// The manager imports into the program's mods folder, lists the new rows
// and says everything in one message.
TEST_F(ImportTest, TheManagerRefillsModDatabaseAndShowsOneMessage) {
  platform.set_program_folder(dir.path());
  WriteBytes(mods + "/Pack/modfile.ini", "name=Old\r\n");
  RecordingView view;
  ModManager manager(platform, view);
  std::string archive = Archive("new.zip", "zip", Concat(PackageEntries("Pack", "Zed"), PackageEntries("Alpha", "Ann")));
  std::string bad = Archive("bad.zip", "zip", {File("../evil", "x")});

  view.answer_yes = true;
  EXPECT_FALSE(manager.ImportMods({archive, bad}, nullptr));
  EXPECT_EQ(view.questions,
            std::vector<std::string>{"Import: The mods folder has a package \"Pack\" already. "
                                     "Replace it with the one from new.zip?"});
  EXPECT_EQ(view.mod_rows, (std::vector<std::string>{"Ann", "Zed"}));
  EXPECT_EQ(manager.mod_count(), 2);
  EXPECT_EQ(view.messages, std::vector<std::string>{
                               "Imported into \"Mod Database\":\n"
                               "- Alpha, from new.zip\n"
                               "- Pack, from new.zip (it replaced the package of that name)\n"
                               "Refused:\n"
                               "- bad.zip: entry \"../evil\" climbs out with \"..\"."});
  view.messages.clear();
  EXPECT_TRUE(manager.ImportMods({Archive("c.zip", "zip", PackageEntries("", "C"))}, nullptr));
  EXPECT_EQ(view.messages, std::vector<std::string>{"Imported into \"Mod Database\":\n- c, from c.zip"});
  EXPECT_EQ(view.mod_rows, (std::vector<std::string>{"Ann", "C", "Zed"}));
}

}  // namespace
}  // namespace korva
