// korva-zid-cli: the window's operations for scripts and terminals. Every run
// goes through the same start-up as the window (config.ini, backups, lists)
// and prints on stdout the text of every message the window would show.
// `import`, `roster list|delete|export`, `find-game` and `paths` are the
// exceptions: they change or read only the user's own folders (mods,
// rosters) or only look, so none needs a game folder or runs the start-up.
// Exit status: 0 done, 1 refused or failed, 2 usage error.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "installer/mod_manager.h"
#include "platform/platform.h"

namespace {

constexpr const char* kUsage =
    "usage: korva-zid-cli COMMAND\n"
    "  find-game            list every installed KORVAQUORIN.exe (Steam, GOG)\n"
    "  paths                the folders in use, one a line: name, tab, folder\n"
    "                       (program: data and tools; settings: config.ini;\n"
    "                       mods; rosters)\n"
    "  set-game PATH        use the game whose KORVAQUORIN.exe is PATH\n"
    "  mods                 list \"Mod Database\": row, tab, text\n"
    "  chars                list \"Game Chars\", then the free slots C, A, F, M\n"
    "  info MOD             the mod's name and description, and the game files and\n"
    "                       other places' files it would cover if installed now\n"
    "  install MOD PLACE    install mod MOD into place PLACE\n"
    "  delete PLACE         delete the character in place PLACE\n"
    "  revert [--yes]       put every game file back as it was (asks: --yes answers)\n"
    "  adopt-update [--yes] say which game files changed behind the program's back;\n"
    "                       with --yes take them as the new originals\n"
    "  import ARCHIVE_OR_FOLDER... [--replace]\n"
    "                       import mod packages into \"Mod Database\"; a package of\n"
    "                       the same folder name is kept unless --replace is given;\n"
    "                       a shared roster's zip brings the roster and its packages\n"
    "  roster list          list the saved rosters (NAME.txt in the rosters folder:\n"
    "                       see paths)\n"
    "  roster save NAME [--skip-unknown]\n"
    "                       save which package each place holds as roster NAME; a\n"
    "                       place whose package is not known refuses the save,\n"
    "                       unless --skip-unknown saves it as empty\n"
    "  roster apply NAME    make the places hold what roster NAME names\n"
    "  roster delete NAME   delete roster NAME\n"
    "  roster export NAME FILE.zip [--replace]\n"
    "                       write roster NAME and every package it names as one zip\n"
    "                       to share; an existing FILE is kept unless --replace;\n"
    "                       import FILE.zip imports it on another computer\n"
    "  reinstall MOD        install mod MOD afresh in every place that holds it\n"
    "MOD is a \"Mod Database\" row number or a package folder's name; PLACE is a\n"
    "\"Game Chars\" row number. Rows count from 0; in a roster file places are\n"
    "numbered 1 to 10.\n";

// Prints what the window would show; remembers the lists for printing.
class ConsoleView : public korva::View {
 public:
  bool answer_yes = false;
  // The start-up's question whether to adopt changed game files is answered
  // Yes only by "adopt-update --yes".
  bool adopt = false;
  int questions = 0;
  bool asked_roster = false;  // whether to replace a roster of the same name
  bool closed = false;
  std::vector<std::string> mod_rows, char_rows;
  std::string labels[4], mod_name, mod_description;

 private:
  const bool terminal_ = korva::StandardErrorIsTerminal();
  size_t shown_ = 0;  // the length of the progress line on the terminal
  std::string doing_;
  uint64_t done_ = 0;
  std::chrono::steady_clock::time_point started_;

  void ShowMessage(const std::string& text) override {
    EndProgress();
    std::cout << text << "\n" << std::flush;
  }
  // Long work shows how far it is on one line of standard error, written
  // over and over, when that is a terminal; elsewhere (a pipe, a file)
  // nothing.
  bool ShowProgress(uint64_t done, uint64_t total, const std::string& doing) override {
    if (!terminal_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (doing != doing_ || done < done_) started_ = now;
    doing_ = doing;
    done_ = done;
    std::string line = doing;
    if (total > 0) {
      const auto mb = [](uint64_t bytes) { return std::to_string((bytes + (1 << 19)) >> 20); };
      line += ": " + mb(done) + " of " + mb(total) + " MB";
      const double seconds = std::chrono::duration<double>(now - started_).count();
      if (done > 0 && seconds > 1) {
        const double left = seconds * static_cast<double>(total - done) / static_cast<double>(done);
        line += ", about " + std::to_string(static_cast<long>(left + 0.5)) + " s left";
      }
    }
    const size_t width = line.size();
    if (line.size() < shown_) line += std::string(shown_ - line.size(), ' ');
    std::cerr << "\r" << line << std::flush;
    shown_ = width;
    return true;
  }
  void EndProgress() override {
    if (shown_ == 0) return;
    std::cerr << "\r" << std::string(shown_, ' ') << "\r" << std::flush;
    shown_ = 0;
    doing_.clear();
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    ++questions;
    if (caption == korva::kUpdatedPackageCaption) {
      std::cout << text << "\nAnswered No. korva-zid-cli reinstall MOD installs the new version "
                           "there.\n" << std::flush;
      return false;
    }
    if (text.rfind("There is a roster", 0) == 0) asked_roster = true;
    if (caption != korva::kAdoptQuestionCaption) return answer_yes;
    std::cout << text << "\n"
              << (adopt ? "Answered Yes (--yes).\n"
                        : "Answered No. korva-zid-cli adopt-update --yes takes them as the new "
                          "originals.\n")
              << std::flush;
    return adopt;
  }
  bool AskForGameFolder(const std::string&, const std::string&, std::string*) override {
    std::cerr << "Point to KORVAQUORIN.exe\n";
    return false;
  }
  // The command line asks for no name and no choice: its arguments give them.
  bool AskForText(const std::string&, const std::string&, std::string*) override { return false; }
  bool ChooseFromList(const std::string&, const std::string&, const std::vector<std::string>&,
                      int*) override {
    return false;
  }
  void SetModRows(const std::vector<std::string>& rows) override { mod_rows = rows; }
  void SetGameCharRows(const std::vector<std::string>& rows) override { char_rows = rows; }
  void SetSlotLabel(korva::SlotKind kind, const std::string& text) override {
    labels[static_cast<int>(kind)] = text;
  }
  void SetModName(const std::string& text) override { mod_name = text; }
  void SetModDescription(const std::string& text) override { mod_description = text; }
  void CloseWindow() override { closed = true; }
};

int Usage() {
  std::cerr << kUsage;
  return 2;
}

// A row number: digits only. -1 when `text` is not one.
int RowNumber(const std::string& text) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::atoi(text.c_str());
}

// The "Mod Database" row of MOD: a row number, or the folder name of a package.
int ModRow(const korva::ModManager& manager, const std::string& mod) {
  int row = RowNumber(mod);
  if (row >= 0) return row;
  const std::vector<std::string>& folders = manager.mod_folder_list();
  for (size_t i = 0; i < folders.size(); ++i) {
    if (korva::BaseName(folders[i]) == mod) return static_cast<int>(i);
  }
  return -1;
}

// True when `path` names a file called KORVAQUORIN.exe (in any case, as the
// game's platform matches names) that can be read.
bool IsGameExecutable(korva::Platform& platform, const std::string& path) {
  std::string name = korva::BaseName(path);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (name != "KORVAQUORIN.EXE") return false;
  return platform.CanRead(path);
}

void PrintRows(const std::vector<std::string>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) std::cout << i << "\t" << rows[i] << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = korva::CommandLineArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  if (args.empty()) return Usage();
  const std::string command = args[0];
  const size_t operands = args.size() - 1;
  bool known = (command == "set-game" && operands == 1) ||
               ((command == "find-game" || command == "paths") && operands == 0) ||
               ((command == "mods" || command == "chars") && operands == 0) ||
               ((command == "info" || command == "delete") && operands == 1) ||
               (command == "install" && operands == 2) ||
               ((command == "revert" || command == "adopt-update") &&
                (operands == 0 || (operands == 1 && args[1] == "--yes")));
  // import: one source at least; --replace is the only option.
  std::vector<std::string> sources;
  bool replace = false;
  if (command == "import") {
    known = true;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--replace") {
        replace = true;
      } else if (args[i].compare(0, 2, "--") == 0) {
        known = false;
      } else {
        sources.push_back(args[i]);
      }
    }
    if (sources.empty()) known = false;
  }
  // roster list | save NAME [--skip-unknown] | apply NAME | delete NAME |
  // export NAME FILE [--replace]
  const std::string action = command == "roster" && operands >= 1 ? args[1] : "";
  const bool skipUnknown = action == "save" && operands == 3 && args[3] == "--skip-unknown";
  const bool exportReplace = action == "export" && operands == 4 && args[4] == "--replace";
  if (command == "roster") {
    known = (action == "list" && operands == 1) ||
            ((action == "save" || action == "apply" || action == "delete") && operands == 2) ||
            (action == "export" && (operands == 3 || exportReplace) && args[3].compare(0, 2, "--") != 0) ||
            skipUnknown;
  }
  if (command == "reinstall") known = operands == 1;
  if (!known) return Usage();
  if ((command == "delete" && RowNumber(args[1]) < 0) ||
      (command == "install" && RowNumber(args[2]) < 0)) {
    return Usage();
  }

  if (command == "find-game") {
    std::vector<std::string> problems;
    const std::vector<std::string> installs = korva::FindGameInstalls(&problems);
    for (const std::string& problem : problems) std::cerr << "Passed over " << problem << "\n";
    for (const std::string& install : installs) std::cout << install << "\n";
    if (installs.empty()) {
      std::cerr << "No installed KORVAQUORIN.exe was found; point to it with "
                   "korva-zid-cli set-game PATH\n";
      return 1;
    }
    return 0;
  }

  korva::Platform& platform = korva::SystemPlatform();
  if (command == "paths") {
    const korva::ProgramFolders folders = platform.Folders();
    std::cout << "program\t" << folders.program << "\nsettings\t" << folders.settings
              << "\nmods\t" << folders.mods() << "\nrosters\t" << folders.rosters() << "\n";
    return 0;
  }
  ConsoleView view;
  korva::ModManager manager(platform, view);
  if (command == "import") {
    for (std::string& source : sources) source = platform.AbsolutePath(source);
    view.answer_yes = replace;
    if (manager.ImportMods(sources, nullptr)) return 0;
    if (view.asked_roster && !replace) {
      std::cerr << "A roster of the same name was kept: add --replace to replace it.\n";
    } else if (view.questions > 0 && !replace) {
      std::cerr << "A package of the same folder name was kept: add --replace to replace it.\n";
    }
    return 1;
  }
  // Rosters are files of the user's own: listing and deleting them
  // needs no game.
  if (command == "roster" && action == "list") {
    for (const std::string& name : manager.RosterNames()) std::cout << name << "\n";
    return 0;
  }
  if (command == "roster" && action == "delete") return manager.DeleteRoster(args[2]) ? 0 : 1;
  if (command == "roster" && action == "export") {
    return manager.ExportRoster(args[2], platform.AbsolutePath(args[3]), exportReplace) ? 0 : 1;
  }
  if (command == "set-game") {
    // The window's dialog only lets the user pick an existing KORVAQUORIN.exe;
    // anything else is refused before config.ini or the game is touched.
    std::string executable = platform.AbsolutePath(args[1]);
    if (!IsGameExecutable(platform, executable)) {
      std::cerr << executable << ": not a readable KORVAQUORIN.exe\nPoint to KORVAQUORIN.exe\n";
      return 1;
    }
    // A folder that cannot be remembered is not prepared either.
    if (!manager.UseGameFolder(korva::ParentFolder(executable), false)) return 1;
    bool ready = manager.RunStartUpSteps();
    return ready && !view.closed ? 0 : 1;
  }
  if (command == "adopt-update") {
    view.adopt = operands == 1;
    if (!manager.StartUp() || view.closed) return 1;
    if (view.questions == 0) {
      std::cout << "No game file has changed since the program last changed it.\n";
      return 0;
    }
    return manager.changed_files().empty() ? 0 : 1;
  }
  if (!manager.StartUp() || view.closed) return 1;

  if (command == "mods") {
    PrintRows(view.mod_rows);
    return 0;
  }
  if (command == "chars") {
    PrintRows(view.char_rows);
    for (korva::SlotKind kind : korva::kAllSlotKinds) {
      std::cout << view.labels[static_cast<int>(kind)] << "\n";
    }
    return 0;
  }
  if (command == "revert") {
    view.answer_yes = operands == 1;
    if (manager.RevertGameFiles()) return 0;
    if (!view.answer_yes) std::cerr << "Nothing reverted: add --yes to confirm.\n";
    return 1;
  }
  if (command == "delete") return manager.DeleteCharacter(RowNumber(args[1]) + 1, true) ? 0 : 1;
  if (command == "roster" && action == "save") return manager.SaveRoster(args[2], skipUnknown) ? 0 : 1;
  if (command == "roster") return manager.ApplyRoster(args[2]) ? 0 : 1;

  int mod = ModRow(manager, args[1]);
  const bool known_mod = mod >= 0 && mod < manager.mod_count();
  if (command == "reinstall") {
    // A row, or the folder name of a package (listed or not).
    const std::string folder = known_mod ? korva::BaseName(manager.mod_folder_list()[mod]) : args[1];
    return manager.ReinstallPackage(folder) ? 0 : 1;
  }
  if (!known_mod) std::cerr << "No mod package \"" << args[1] << "\": see korva-zid-cli mods\n";
  if (command == "info") {
    if (!known_mod) return 1;
    manager.ShowModInfo(mod);
    std::cout << view.mod_name << "\n" << view.mod_description;
    if (view.mod_description.empty() || view.mod_description.back() != '\n') std::cout << "\n";
    std::cout << manager.CoverInfo(mod) << "\n";
    return 0;
  }
  // A MOD that names no package is "Add -->" without a mod selected: the
  // window's own message says so.
  return manager.InstallCharacter(known_mod ? mod : -1, RowNumber(args[2])) ? 0 : 1;
}
