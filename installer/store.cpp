#include "installer/store.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "installer/package_fingerprint.h"
#include "platform/file_names.h"
#include "platform/progress.h"
#include "platform/read_limits.h"
#include "platform/text_file.h"

namespace korva {
namespace {

constexpr int kPlaces = 10;

struct Tree {
  std::vector<std::string> files;    // relative paths, "/a/b.txt"
  std::vector<std::string> folders;  // relative paths, "/a"
};

// Breadth-first: the top folder first, then each subfolder in the order
// found, names in listing order. Links are reported, not followed.
Tree WalkTree(Platform& platform, const std::string& top, StoreReport* report) {
  Tree tree;
  std::deque<std::string> queue = {""};
  while (!queue.empty()) {
    std::string folder = queue.front();
    queue.pop_front();
    std::vector<std::string> names;
    if (!platform.ListFolder(top + folder, &names).ok()) continue;
    for (const std::string& name : names) {
      std::string relative = folder + "/" + name;
      if (platform.IsLink(top + relative)) {
        report->skipped.push_back(top + relative + ": a link; links in packages are not copied");
      } else if (platform.IsFolder(top + relative)) {
        tree.folders.push_back(relative);
        queue.push_back(relative);
      } else {
        tree.files.push_back(relative);
      }
    }
  }
  return tree;
}

// One place's store list.
struct StoreList {
  bool exists = false;
  std::vector<std::string> files;       // the layers it brings
  std::vector<std::string> folders;     // its tree's folders
  std::vector<std::string> movedAside;  // game files beneath, kept as path + "_bak"
  std::vector<std::string> existed;     // folders the game had
  std::vector<std::string> keptAside;   // game files beneath, kept under the program's name
  long order = 0;                       // 0: written before layers existed
  std::string package;                  // the package's folder name, when known
  std::string fingerprint;              // PackageFingerprint when stored, when known
  std::string game;                     // the game folder it was written under
  bool moved = false;                   // read from a list written under another game folder

  // Look-ups by folded name.
  bool MovedAside(const std::string& path) const { return moved_keys.count(FoldedName(path)) != 0; }
  bool KeptAside(const std::string& path) const { return kept_keys.count(FoldedName(path)) != 0; }
  bool Existed(const std::string& path) const { return existed_keys.count(FoldedName(path)) != 0; }
  std::set<std::string> moved_keys, kept_keys, existed_keys;
};

std::set<std::string> Keys(const std::vector<std::string>& paths) {
  std::set<std::string> keys;
  for (const std::string& path : paths) keys.insert(FoldedName(path));
  return keys;
}

void AppendSection(std::string* text, const std::vector<std::string>& lines) {
  *text += std::to_string(lines.size()) + "\n";
  for (const std::string& line : lines) *text += line + "\n";
}

std::string ListText(const StoreList& list) {
  std::string text;
  AppendSection(&text, list.files);
  AppendSection(&text, list.folders);
  AppendSection(&text, list.movedAside);
  AppendSection(&text, list.existed);
  AppendSection(&text, list.keptAside);
  AppendSection(&text, {"order=" + std::to_string(list.order), "package=" + list.package,
                        "fingerprint=" + list.fingerprint, "game=" + list.game});
  return text;
}

bool StartsWithFolder(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path[folder.size()] == '/' &&
         FoldedName(path.substr(0, folder.size())) == FoldedName(folder);
}

// Every path a list names, of all its sections.
std::vector<std::string*> ListedPaths(StoreList* list) {
  std::vector<std::string*> paths;
  for (auto* section : {&list->files, &list->folders, &list->movedAside, &list->existed,
                        &list->keptAside}) {
    for (std::string& path : *section) paths.push_back(&path);
  }
  return paths;
}

// The game folder that a list written before it said so was written under:
// of the folders above its first path, the one below which most of its
// paths are found again in `gameFolder`. "" when none is.
std::string FolderWrittenUnder(Platform& platform, const std::string& gameFolder,
                               const std::vector<std::string*>& paths) {
  std::string best;
  size_t bestFound = 0;
  constexpr size_t kLooked = 64;  // paths looked at for each folder
  for (std::string folder = ParentFolder(*paths.front()); folder.size() > 1;
       folder = ParentFolder(folder)) {
    size_t found = 0;
    for (size_t k = 0; k < paths.size() && k < kLooked; ++k) {
      if (!StartsWithFolder(*paths[k], folder)) {
        found = 0;
        break;
      }
      found += platform.Exists(gameFolder + paths[k]->substr(folder.size())) ? 1 : 0;
    }
    if (found > bestFound) {
      best = folder;
      bestFound = found;
    }
  }
  return best;
}

// A list written under another game folder (the game was moved to another
// library or drive) names that folder's paths: they are read as the same
// paths below `gameFolder`. Paths below neither folder stay as they are
// and are refused wherever they would be used.
void MapIntoGameFolder(Platform& platform, const std::string& gameFolder, StoreList* list) {
  std::vector<std::string*> paths = ListedPaths(list);
  const bool here = list->game.empty() ? paths.empty() || StartsWithFolder(*paths.front(), gameFolder)
                                       : FoldedName(list->game) == FoldedName(gameFolder);
  if (here) {
    list->game = gameFolder;
    return;
  }
  const std::string old = list->game.empty() ? FolderWrittenUnder(platform, gameFolder, paths) : list->game;
  list->game = gameFolder;
  if (old.empty()) return;
  for (std::string* path : paths) {
    if (StartsWithFolder(*path, old) && !StartsWithFolder(*path, gameFolder)) {
      *path = gameFolder + path->substr(old.size());
      list->moved = true;
    }
  }
}

// Reads the sections by position, each a count and that many lines; a
// short file ends early. A count is the number its line begins with. The
// paths are those of `gameFolder`, also in a list written under another.
Status ReadList(Platform& platform, const std::string& gameFolder, const std::string& path,
                StoreList* list) {
  *list = StoreList();
  if (!platform.Exists(path)) return Status::Ok();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, path, kRecordFileLimit, &lines);
  if (!read.ok()) return read;
  list->exists = true;
  std::vector<std::string> facts;
  std::vector<std::string>* sections[] = {&list->files,   &list->folders,   &list->movedAside,
                                          &list->existed, &list->keptAside, &facts};
  size_t line = 0;
  for (std::vector<std::string>* section : sections) {
    if (line >= lines.size()) break;
    const std::string& countLine = lines[line++];
    size_t digits = 0;
    while (digits < countLine.size() && countLine[digits] >= '0' && countLine[digits] <= '9') {
      ++digits;
    }
    size_t count = digits == 0 ? 0 : std::stoul(countLine.substr(0, std::min<size_t>(digits, 9)));
    for (size_t i = 0; i < count && line < lines.size(); ++i) section->push_back(lines[line++]);
  }
  for (const std::string& fact : facts) {
    const size_t equals = fact.find('=');
    const std::string key = fact.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : fact.substr(equals + 1);
    if (key == "order" && !value.empty() && value.size() < 10 &&
        value.find_first_not_of("0123456789") == std::string::npos) {
      list->order = std::stol(value);
    } else if (key == "package") {
      list->package = value;
    } else if (key == "fingerprint") {
      list->fingerprint = value;
    } else if (key == "game") {
      list->game = value;
    }
  }
  MapIntoGameFolder(platform, gameFolder, list);
  list->moved_keys = Keys(list->movedAside);
  list->kept_keys = Keys(list->keptAside);
  list->existed_keys = Keys(list->existed);
  return Status::Ok();
}

// The stacks of every path the places bring, built from their lists: one
// reading of the ten lists per store or removal, then look-ups by name.
class Stacks {
 public:
  Status Load(Platform& platform, const std::string& gameFolder) {
    for (int i = 0; i < kPlaces; ++i) {
      Status read = ReadList(platform, gameFolder, StoreListPath(gameFolder, i), &lists_[i]);
      if (!read.ok()) return read;
      for (const std::string& path : lists_[i].files) places_[FoldedName(path)].push_back(i);
      for (const std::string& path : lists_[i].folders) {
        if (!lists_[i].Existed(path)) created_[FoldedName(path)].insert(i);
        brought_[FoldedName(path)].insert(i);
      }
      for (const std::string& path : lists_[i].movedAside) {
        backups_[FoldedName(path + "_bak")] = i;
      }
    }
    for (auto& [key, places] : places_) {
      std::stable_sort(places.begin(), places.end(),
                       [this](int a, int b) { return lists_[a].order < lists_[b].order; });
    }
    return Status::Ok();
  }

  const StoreList& list(int place) const { return lists_[place]; }
  // The places whose layers `path` has, bottom first, leaving out `except`.
  std::vector<int> PlacesOf(const std::string& path, int except = -1) const {
    auto found = places_.find(FoldedName(path));
    if (found == places_.end()) return {};
    std::vector<int> places;
    for (int place : found->second) {
      if (place != except) places.push_back(place);
    }
    return places;
  }
  // True when a place other than `except` made the folder `path`.
  bool MadeByPlace(const std::string& path, int except) const {
    return Has(created_, path, except);
  }
  // True when a place other than `except` brings the folder `path`.
  bool BroughtByPlace(const std::string& path, int except) const {
    return Has(brought_, path, except);
  }
  // The place whose layers lie over the game's own file that `path` (a
  // "_bak" name) holds; -1 when none.
  int BackupHolder(const std::string& path) const {
    auto found = backups_.find(FoldedName(path));
    return found == backups_.end() ? -1 : found->second;
  }
  long NextOrder() const {
    long last = 0;
    for (const StoreList& list : lists_) last = std::max(last, list.order);
    return last + 1;
  }

 private:
  static bool Has(const std::map<std::string, std::set<int>>& folders, const std::string& path,
                  int except) {
    auto found = folders.find(FoldedName(path));
    if (found == folders.end()) return false;
    return found->second.size() > (found->second.count(except) != 0 ? 1u : 0u);
  }

  StoreList lists_[kPlaces];
  std::map<std::string, std::vector<int>> places_;
  std::map<std::string, std::set<int>> created_;
  std::map<std::string, std::set<int>> brought_;
  std::map<std::string, int> backups_;
};

// `path` below the game folder, "/a/b.txt".
std::string Relative(const std::string& gameFolder, const std::string& path) {
  return path.compare(0, gameFolder.size() + 1, gameFolder + "/") == 0
             ? path.substr(gameFolder.size())
             : path;
}

std::string KeptCopy(const std::string& gameFolder, int place, const std::string& path) {
  return KeptLayersPath(gameFolder, place) + Relative(gameFolder, path);
}

std::string KeptGameFile(const std::string& gameFolder, const std::string& path) {
  return KeptGameFilesPath(gameFolder) + Relative(gameFolder, path);
}

// The changes a store or a removal makes, gathered first and then made in
// a few large steps: the journal records each step's files with one flush,
// and the copies are flushed together.
struct Changes {
  std::vector<std::string> trees;     // folders deleted with all they hold
  std::vector<std::string> removals;  // files deleted
  std::vector<FilePair> renames;       // files moved (after the removals)
  std::vector<FilePair> copies;        // files copied in (after the renames)
  std::vector<std::string> kept_gone;  // kept copies moved or removed: their folders may empty
};

// Adds to `*folders` the folders below the game folder that `path` needs and
// that are not there, parents first, each once.
void FoldersFor(Platform& platform, const std::string& gameFolder, const std::string& path,
                std::set<std::string>* seen, std::vector<std::string>* folders) {
  const std::string parent = ParentFolder(path);
  if (parent.size() <= gameFolder.size() || seen->count(FoldedName(parent)) != 0) return;
  const std::string relative = Relative(gameFolder, parent);
  for (size_t slash = relative.find('/', 1);; slash = relative.find('/', slash + 1)) {
    const std::string folder = gameFolder + relative.substr(0, slash);
    if (seen->insert(FoldedName(folder)).second && !platform.IsFolder(folder)) {
      folders->push_back(folder);
    }
    if (slash == std::string::npos) break;
  }
}

// Of `candidates` (children before their parents), those that hold nothing
// once the entries in `going` (folded paths) and the ones before them are
// gone.
std::vector<std::string> FoldersLeftEmpty(Platform& platform, const std::vector<std::string>& candidates,
                                          std::set<std::string> going = {}) {
  std::vector<std::string> empty;
  for (const std::string& folder : candidates) {
    std::vector<std::string> names;
    if (going.count(FoldedName(folder)) != 0 || !platform.IsFolder(folder) ||
        !platform.ListFolder(folder, &names).ok()) {
      continue;
    }
    const bool nothingStays = std::all_of(names.begin(), names.end(), [&](const std::string& name) {
      return going.count(FoldedName(folder + "/" + name)) != 0;
    });
    if (!nothingStays) continue;
    empty.push_back(folder);
    going.insert(FoldedName(folder));
  }
  return empty;
}

// Of `candidates` (children before their parents), the folders whose every
// file is among `changes`' removals, taken out of them: each goes whole,
// the topmost only. A link, and a folder that something is renamed into or
// out of, never goes whole.
void GatherTrees(Platform& platform, const std::vector<std::string>& candidates, Changes* changes) {
  std::set<std::string> going, renamed;
  for (const std::string& path : changes->removals) going.insert(FoldedName(path));
  for (const FilePair& rename : changes->renames) {
    for (const std::string* end : {&rename.from, &rename.to}) {
      std::string folder = ParentFolder(FoldedName(*end));
      while (folder.size() > 1 && renamed.insert(folder).second) folder = ParentFolder(folder);
    }
  }
  std::vector<std::string> eligible;
  for (const std::string& folder : candidates) {
    if (renamed.count(FoldedName(folder)) == 0 && !platform.IsLink(folder)) eligible.push_back(folder);
  }
  std::set<std::string> whole;
  for (const std::string& folder : FoldersLeftEmpty(platform, eligible, going)) {
    whole.insert(FoldedName(folder));
  }
  if (whole.empty()) return;
  auto inWhole = [&whole](const std::string& path) {
    for (std::string folder = ParentFolder(FoldedName(path)); folder.size() > 1; folder = ParentFolder(folder)) {
      if (whole.count(folder) != 0) return true;
    }
    return false;
  };
  for (const std::string& folder : candidates) {
    if (whole.count(FoldedName(folder)) != 0 && !inWhole(folder)) changes->trees.push_back(folder);
  }
  changes->removals.erase(std::remove_if(changes->removals.begin(), changes->removals.end(), inWhole),
                          changes->removals.end());
}

// Makes the changes: whole folders and files removed, then renames (into
// folders made as needed), then copies; then removes the folders of the
// kept copies left empty. Each kind is one call for all its files.
Status Apply(Platform& platform, const std::string& gameFolder, const Changes& changes) {
  Status status = platform.RemoveTrees(changes.trees);
  if (status.ok()) status = platform.RemoveFiles(changes.removals);
  std::set<std::string> seen;
  std::vector<std::string> needed;
  for (const FilePair& rename : changes.renames) {
    FoldersFor(platform, gameFolder, rename.to, &seen, &needed);
  }
  if (status.ok()) status = platform.CreateFolders(needed);
  if (status.ok()) status = platform.RenameFiles(changes.renames);
  if (status.ok()) status = platform.CopyFiles(changes.copies);
  // Deepest first, up to (not including) the game's "chars" folder.
  std::set<std::string> folders;
  const std::string chars = FoldedName(gameFolder + "/chars");
  for (const std::string& kept : changes.kept_gone) {
    for (std::string folder = ParentFolder(kept);
         folder.size() > gameFolder.size() && FoldedName(folder) != chars; folder = ParentFolder(folder)) {
      folders.insert(folder);
    }
  }
  std::vector<std::string> deepest(folders.begin(), folders.end());
  std::stable_sort(deepest.begin(), deepest.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
  });
  if (status.ok()) status = platform.RemoveEmptyFolders(FoldersLeftEmpty(platform, deepest));
  return status;
}

// How a package's path is spelled in the game folder: each folder and file
// that the game folder has, as the game spells it, so that a covered game
// file keeps its name; each new one as the package first spelled it, so
// that the package's names that differ only in letter case are one.
class Spellings {
 public:
  Spellings(Platform& platform, const std::string& gameFolder)
      : platform_(platform), game_(gameFolder) {}

  // "/a/b.txt" as the game folder spells it.
  std::string Of(const std::string& relative) {
    const std::string key = FoldedName(relative);
    auto found = spelled_.find(key);
    if (found != spelled_.end()) return found->second;
    const std::string parent = ParentFolder(relative);
    std::string spelled = (parent.empty() ? "" : Of(parent)) + "/" + BaseName(relative);
    if (platform_.Exists(game_ + spelled)) {
      spelled = spelled.substr(0, spelled.size() - BaseName(spelled).size()) +
                BaseName(platform_.NativePath(game_ + spelled));
    }
    return spelled_[key] = spelled;
  }

 private:
  Platform& platform_;
  const std::string& game_;
  std::map<std::string, std::string> spelled_;  // folded relative path -> spelled
};

void AddPlaceFile(std::vector<PlaceFiles>* lists, int place, const std::string& path) {
  for (PlaceFiles& files : *lists) {
    if (files.place == place) {
      files.paths.push_back(path);
      return;
    }
  }
  lists->push_back({place, {path}});
}

bool Below(const std::string& relative, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (relative.compare(0, folder.size() + 1, folder + "/") == 0) return true;
  }
  return false;
}

// How place `index`'s layer of `path` comes out: the layer below comes back
// when it was on top, its kept copy goes when it was covered.
void TakeLayerOut(Platform& platform, const std::string& gameFolder, const Stacks& stacks,
                  int index, const std::string& path, Changes* changes, StoreReport* report) {
  const StoreList& list = stacks.list(index);
  const std::vector<int> places = stacks.PlacesOf(path);
  const size_t at = static_cast<size_t>(std::find(places.begin(), places.end(), index) - places.begin());
  const std::string relative = Relative(gameFolder, path);
  if (list.order == 0 && std::count_if(places.begin(), places.end(), [&](int place) {
        return place != index && stacks.list(place).order == 0;
      }) > 0) {
    // Lists from before layers that both brought this path: which is on
    // top cannot be told, so the file and any "_bak" stay as they are.
    return;
  }
  if (at + 1 < places.size()) {
    // Covered: its kept copy goes, or goes to the place below when that one
    // shared these bytes.
    const std::string kept = KeptCopy(gameFolder, index, path);
    if (!platform.Exists(kept)) return;
    if (at > 0 && !platform.Exists(KeptCopy(gameFolder, places[at - 1], path))) {
      changes->renames.push_back({kept, KeptCopy(gameFolder, places[at - 1], path)});
    } else {
      changes->removals.push_back(kept);
    }
    changes->kept_gone.push_back(kept);
    return;
  }
  if (at > 0) {
    // The place below is on top again; without a kept copy it has these
    // very bytes already.
    const int below = places[at - 1];
    const std::string kept = KeptCopy(gameFolder, below, path);
    if (!platform.Exists(kept)) return;
    if (platform.Exists(path)) changes->removals.push_back(path);
    changes->renames.push_back({kept, path});
    changes->kept_gone.push_back(kept);
    AddPlaceFile(&report->uncovered, below, relative);
    return;
  }
  if (platform.Exists(path)) changes->removals.push_back(path);
  if (list.KeptAside(path)) {
    const std::string kept = KeptGameFile(gameFolder, path);
    if (platform.Exists(kept)) changes->renames.push_back({kept, path});
    changes->kept_gone.push_back(kept);
  } else if (list.MovedAside(path) && platform.Exists(path + "_bak")) {
    changes->renames.push_back({path + "_bak", path});
    report->restored.push_back(path + "_bak");
  }
}

}  // namespace

std::string StoreListPath(const std::string& gameFolder, int index) {
  return gameFolder + "/chars/mod_char_" + std::to_string(index);
}

std::string KeptLayersPath(const std::string& gameFolder, int index) {
  return gameFolder + "/chars/mod_layers/" + std::to_string(index);
}

std::string KeptGameFilesPath(const std::string& gameFolder) {
  return gameFolder + "/chars/mod_layers/game";
}

std::vector<std::string> ListPackageFiles(Platform& platform, const std::string& packageFolder,
                                          std::vector<std::string>* links) {
  StoreReport report;
  Tree tree = WalkTree(platform, packageFolder + "/files", &report);
  if (links != nullptr) *links = report.skipped;
  return tree.files;
}

Status ReadPlaceRecord(Platform& platform, const std::string& gameFolder, int index,
                       PlaceRecord* record) {
  *record = PlaceRecord();
  StoreList list;
  Status read = ReadList(platform, gameFolder, StoreListPath(gameFolder, index), &list);
  if (!read.ok()) return read;
  record->listed = list.exists;
  record->package = list.package;
  record->fingerprint = list.fingerprint;
  return Status::Ok();
}

CoverPreview PreviewCovers(Platform& platform, const std::string& gameFolder,
                           const std::string& packageFolder, int except) {
  CoverPreview preview;
  Stacks stacks;
  if (!stacks.Load(platform, gameFolder).ok()) return preview;
  for (const std::string& relative : ListPackageFiles(platform, packageFolder, nullptr)) {
    const std::string path = gameFolder + relative;
    std::vector<int> places = stacks.PlacesOf(path, except);
    if (!places.empty()) {
      bool same = false;
      SameBytes(platform, packageFolder + "/files" + relative, path, &same);
      if (!same) AddPlaceFile(&preview.places, places.back(), relative);
    } else if (platform.Exists(path) && !platform.IsFolder(path)) {
      preview.game_files.push_back(relative);
    }
  }
  return preview;
}

std::vector<PlaceFiles> CoveredByLaterPlaces(Platform& platform, const std::string& gameFolder,
                                             int index) {
  std::vector<PlaceFiles> covered;
  Stacks stacks;
  if (index < 0 || index >= kPlaces || !stacks.Load(platform, gameFolder).ok()) return covered;
  const StoreList& list = stacks.list(index);
  for (const std::string& path : list.files) {
    const std::vector<int> places = stacks.PlacesOf(path);
    if (places.empty() || places.back() == index) continue;
    // Lists from before layers do not say which one is on top.
    if (list.order == 0 && stacks.list(places.back()).order == 0) continue;
    // Its bytes: its kept copy, or without one those of the layer above it.
    std::string own = path;
    for (auto at = std::find(places.begin(), places.end(), index); at + 1 != places.end(); ++at) {
      if (platform.Exists(KeptCopy(gameFolder, *at, path))) {
        own = KeptCopy(gameFolder, *at, path);
        break;
      }
    }
    bool same = true;
    if (own != path) SameBytes(platform, own, path, &same);
    if (!same) AddPlaceFile(&covered, places.back(), Relative(gameFolder, path));
  }
  return covered;
}

StoreReport StoreModFiles(Platform& platform, const std::string& gameFolder,
                          const std::string& packageFolder, int index, Progress* progress) {
  StoreReport report;
  Stacks stacks;
  Status loaded = stacks.Load(platform, gameFolder);
  if (!loaded.ok()) {
    report.failures.push_back(loaded.message());
    return report;
  }
  const std::string source = packageFolder + "/files";
  Tree tree = WalkTree(platform, source, &report);
  StoreList list;
  list.game = gameFolder;
  list.order = stacks.NextOrder();
  list.package = BaseName(packageFolder);
  list.fingerprint = PackageFingerprint(platform, packageFolder);

  // Folders where the game folder has a file: the package's files below
  // them are not copied. Folders whose names differ only in letter case
  // are one.
  Spellings spellings(platform, gameFolder);
  std::vector<std::string> blocked, made;
  std::set<std::string> folders;
  for (const std::string& packageRelative : tree.folders) {
    const std::string relative = spellings.Of(packageRelative);
    const std::string path = gameFolder + relative;
    if (Below(relative, blocked) || !folders.insert(FoldedName(relative)).second) continue;
    if (platform.IsFolder(path)) {
      list.folders.push_back(path);
      // A folder that another place made is not the game's.
      if (!stacks.MadeByPlace(path, index)) list.existed.push_back(path);
    } else if (platform.Exists(path)) {
      blocked.push_back(relative);
      report.skipped.push_back(path + ": the package's files below this folder are not copied, "
                               "since the game folder has a file of that name");
    } else {
      made.push_back(path);
      list.folders.push_back(path);
    }
  }
  Status madeAll = platform.CreateFolders(made);
  if (!madeAll.ok()) {
    report.failures.push_back(madeAll.message());
    return report;
  }

  // What goes where: first each file's place in its stack is worked out,
  // then the covered files move aside and the package's are copied in.
  Changes changes;
  uint64_t total = 0;
  std::set<std::string> seen;  // folded names, for files that differ only in case
  for (const std::string& packageRelative : tree.files) {
    const std::string relative = spellings.Of(packageRelative);
    const std::string path = gameFolder + relative;
    if (Below(relative, blocked)) continue;
    if (!seen.insert(FoldedName(relative)).second) {
      report.skipped.push_back(path + ": not copied, since the package has another file of this "
                               "name in other letter case");
      continue;
    }
    if (platform.IsFolder(path)) {
      report.skipped.push_back(path + ": not copied, since the game folder has a folder of that "
                               "name");
      continue;
    }
    int holder = stacks.BackupHolder(path);
    if (holder >= 0) {
      report.skipped.push_back(path + ": not copied, since it holds the game's own " +
                               path.substr(0, path.size() - 4) + ", which the files of place " +
                               std::to_string(holder + 1) + " cover");
      continue;
    }
    FileInfo info;
    Status status = platform.Stat(source + packageRelative, &info);
    bool copy = true;
    const std::vector<int> places = stacks.PlacesOf(path, index);
    if (status.ok() && !places.empty()) {
      // Another place's file: it is covered, and kept, unless it has these
      // very bytes. The game's own file beneath stays where it is.
      const int top = places.back();
      if (stacks.list(top).MovedAside(path)) list.movedAside.push_back(path);
      if (stacks.list(top).KeptAside(path)) list.keptAside.push_back(path);
      // A file that is gone (deleted by hand) leaves nothing to keep.
      if (platform.Exists(path)) {
        bool same = false;
        status = SameBytes(platform, source + packageRelative, path, &same);
        copy = !same;
        if (status.ok() && !same) {
          changes.renames.push_back({path, KeptCopy(gameFolder, top, path)});
          AddPlaceFile(&report.covered, top, relative);
        }
      }
    } else if (status.ok() && platform.Exists(path)) {
      // The game's own file: moved aside under its "_bak" name, or under
      // the program's own name when the game has a file of that name too.
      if (!platform.Exists(path + "_bak")) {
        changes.renames.push_back({path, path + "_bak"});
        list.movedAside.push_back(path);
      } else {
        changes.renames.push_back({path, KeptGameFile(gameFolder, path)});
        list.keptAside.push_back(path);
      }
    }
    if (!status.ok()) {
      report.failures.push_back(status.message());
      return report;
    }
    if (copy) {
      changes.copies.push_back({source + packageRelative, path});
      total += info.size;
    }
    list.files.push_back(path);
  }

  if (progress != nullptr) progress->Stage("Copying the files of " + BaseName(packageFolder), total);
  Status status = Apply(platform, gameFolder, changes);
  if (status.ok()) status = ReplaceText(platform, StoreListPath(gameFolder, index), ListText(list));
  if (!status.ok()) report.failures.push_back(status.message());
  return report;
}

Status RewriteMovedStoreLists(Platform& platform, const std::string& gameFolder) {
  for (int i = 0; i < kPlaces; ++i) {
    StoreList list;
    const std::string path = StoreListPath(gameFolder, i);
    Status status = ReadList(platform, gameFolder, path, &list);
    if (status.ok() && list.moved) status = ReplaceText(platform, path, ListText(list));
    if (!status.ok()) return status;
  }
  return Status::Ok();
}

StoreReport RemoveStoredFiles(Platform& platform, const std::string& gameFolder, int index,
                              Progress* progress) {
  StoreReport report;
  const std::string listPath = StoreListPath(gameFolder, index);
  Stacks stacks;
  Status loaded = stacks.Load(platform, gameFolder);
  if (!loaded.ok()) {
    report.failures.push_back(loaded.message());
    return report;
  }
  const StoreList& list = stacks.list(index);
  if (!list.exists) return report;

  // Every path must lead to a place inside the game folder before anything
  // is changed.
  std::vector<std::string> touched;
  for (const auto* section : {&list.files, &list.folders, &list.movedAside, &list.existed,
                              &list.keptAside}) {
    touched.insert(touched.end(), section->begin(), section->end());
  }
  for (const std::string& path : list.movedAside) touched.push_back(path + "_bak");
  for (const std::string& path : touched) {
    Status inside = platform.CheckInside(gameFolder, path);
    if (!inside.ok()) {
      report.failures.push_back(listPath + " names " + inside.message());
      return report;
    }
  }
  Status removed = platform.Remove(listPath);
  if (!removed.ok()) {
    report.failures.push_back(removed.message() + " (nothing of the place's files was removed)");
    return report;
  }

  Changes changes;
  std::set<std::string> brought;
  for (const std::string& path : list.files) {
    brought.insert(FoldedName(path));
    TakeLayerOut(platform, gameFolder, stacks, index, path, &changes, &report);
  }
  // Game files a hand-edited list names as moved aside without bringing
  // them: their backups go back where nothing stands.
  for (const std::string& path : list.movedAside) {
    if (brought.count(FoldedName(path)) != 0 || platform.Exists(path) ||
        !platform.Exists(path + "_bak")) {
      continue;
    }
    changes.renames.push_back({path + "_bak", path});
    report.restored.push_back(path + "_bak");
  }
  // The place's folders, deepest first. A folder the game had, one another
  // place brings, and one that something else was put into stay; that is
  // no failure. One that holds only files going now goes whole.
  std::vector<std::string> candidates;
  for (auto folder = list.folders.rbegin(); folder != list.folders.rend(); ++folder) {
    if (!list.Existed(*folder) && !stacks.BroughtByPlace(*folder, index)) candidates.push_back(*folder);
  }
  GatherTrees(platform, candidates, &changes);
  if (progress != nullptr) {
    progress->Stage("Taking out the files of place " + std::to_string(index + 1),
                    changes.trees.size() + changes.removals.size() + changes.renames.size());
  }
  Status status = Apply(platform, gameFolder, changes);
  if (status.ok()) status = platform.RemoveEmptyFolders(FoldersLeftEmpty(platform, candidates));
  if (!status.ok()) report.failures.push_back(status.message());
  return report;
}

}  // namespace korva
