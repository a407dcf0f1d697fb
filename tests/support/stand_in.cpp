// korva-stand-in: what tests put where the manager runs an outside program
// (the unpacker, the texture converter) or where it must never run one. It
// is one program on every system; what it does comes from a script fastened
// to the end of its own file (WriteStandIn in files.h), so every copy of
// the file, such as the working copy the manager makes, does the same.
//
// The script has one command a line. Words are split at blanks; "..." keeps
// blanks in a word. In every word $0 becomes the stand-in's own path and $1
// to $9 its arguments; the word "$@" becomes all the arguments, each a word.
//
//   append FILE WORD...   adds the words, joined by blanks, and a line end to FILE
//   write FILE WORD...    makes FILE hold the words and a line end
//   copy FROM TO          makes TO hold FROM's bytes
//   touch FILE            makes FILE exist
//   print WORD...         prints the words, joined by blanks, and a line end
//                         on standard output, at once
//   args FILE             writes the arguments to FILE, one a line
//   exit N                ends with exit status N
//   sleep MS              waits MS milliseconds
//   hold FILE             keeps FILE open until the stand-in ends, as a
//                         running game holds its files: on Windows others
//                         may read it but not write, rename or delete it;
//                         POSIX lets them do all that anyway
//   if-contains FILE TEXT COMMAND...   runs COMMAND when FILE holds TEXT
//   if-ends-with WORD END COMMAND...   runs COMMAND when WORD ends in END
//   exec PROGRAM ARG...   runs PROGRAM and ends as it ended
//   run PROGRAM ARG...    runs PROGRAM and goes on
//   exec-limited N PROGRAM ARG..., run-limited N PROGRAM ARG...
//                         the same for a program stopped part-way once it has
//                         written N bytes into a file. On POSIX a file size
//                         limit stops it (SIGXFSZ). Windows has no such
//                         limit: the stand-in runs a converter to a scratch
//                         output, leaves its first N bytes where a cut-off
//                         run leaves them (the /out path + "_temp"), and
//                         with exec ends as a program stopped by Ctrl+C.
//   exec-write-limited N PROGRAM ARG...
//                         exec where writing more than N bytes into a file
//                         fails (a full disk); POSIX only
//
// At the end of the script it ends with exit status 0; a command it does
// not know ends it with status 125 and a line on stderr.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows_text.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr char kMark[] = "KORVA-STAND-IN";
constexpr size_t kLengthDigits = 8;

std::string Read(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Write(const std::string& path, const std::string& bytes, bool append) {
  std::ofstream out(fs::u8path(path), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << bytes;
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "korva-stand-in: %s\n", what.c_str());
  std::exit(125);
}

std::string OwnPath() {
#ifdef _WIN32
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  return fs::path(std::wstring(buffer, n)).u8string();
#else
  return fs::read_symlink("/proc/self/exe").string();
#endif
}

// The script fastened to the end of the stand-in's own file.
std::string Script() {
  const std::string self = Read(OwnPath());
  const size_t mark = sizeof kMark - 1;
  if (self.size() < mark + kLengthDigits || self.compare(self.size() - mark, mark, kMark) != 0) {
    Fail("no script is fastened to " + OwnPath());
  }
  const size_t length = std::stoul(self.substr(self.size() - mark - kLengthDigits, kLengthDigits));
  return self.substr(self.size() - mark - kLengthDigits - length, length);
}

std::vector<std::string> Words(const std::string& line, const std::vector<std::string>& args) {
  std::vector<std::string> raw;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t' || c == '\r') && !quoted) {
      if (inWord) raw.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) raw.push_back(word);
  std::vector<std::string> words;
  for (const std::string& w : raw) {
    if (w == "$@") {
      words.insert(words.end(), args.begin() + 1, args.end());
      continue;
    }
    std::string out;
    for (size_t i = 0; i < w.size(); ++i) {
      if (w[i] == '$' && i + 1 < w.size() && w[i + 1] >= '0' && w[i + 1] <= '9') {
        size_t n = static_cast<size_t>(w[++i] - '0');
        if (n < args.size()) out += args[n];
      } else {
        out += w[i];
      }
    }
    words.push_back(out);
  }
  return words;
}

std::string Joined(const std::vector<std::string>& words, size_t from) {
  std::string text;
  for (size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
  return text;
}

enum class Limit { kNone, kStop, kFailWrites };

// Opens FILE and leaves it open until the program ends.
void Hold(const std::string& path) {
#ifdef _WIN32
  HANDLE file = CreateFileW(korva::LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("cannot hold " + path);
#else
  if (open(path.c_str(), O_RDONLY) < 0) Fail("cannot hold " + path);
#endif
}

#ifdef _WIN32

// Ends as the program that ended with `code` did.
[[noreturn]] void EndAs(unsigned long code) { ExitProcess(static_cast<UINT>(code)); }

// Runs the program; its exit code, or a Windows exception code.
unsigned long RunChild(const std::vector<std::string>& argv) {
  int status = 0;
  korva::Status ran = korva::SystemPlatform().RunProgram(argv, &status);
  if (ran.ok()) return static_cast<unsigned long>(status);
  const std::string& said = ran.message();
  size_t at = said.find("stopped by exception 0x");
  if (at == std::string::npos) Fail(said);
  return std::stoul(said.substr(at + 21), nullptr, 16);
}

constexpr unsigned long kStoppedByCtrlC = 0xC000013AUL;

// A converter stopped once its output file held `bytes` bytes, as a file
// size limit stops it on POSIX: what it wrote lies under the /out path +
// "_temp", the name our converter writes to first.
unsigned long RunCutOff(std::vector<std::string> argv, uint64_t limit) {
  std::string out, whole;
  for (size_t i = 1; i + 1 < argv.size(); ++i) {
    std::string option = argv[i];
    for (char& c : option) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (option == "/out" || option == "-out") {
      out = argv[i + 1];
      // The scratch output keeps the extension, which names its format.
      size_t dot = out.find_last_of('.');
      whole = dot == std::string::npos ? out + "-whole" : out.substr(0, dot) + "-whole" + out.substr(dot);
      argv[i + 1] = whole;
    }
  }
  if (out.empty()) Fail("a cut-off run needs the converter's /out argument on Windows");
  unsigned long code = RunChild(argv);
  const std::string bytes = Read(whole);
  std::error_code ignored;
  fs::remove(fs::u8path(whole), ignored);
  if (code != 0) return code;
  Write(out + "_temp", bytes.substr(0, static_cast<size_t>(std::min<uint64_t>(limit, bytes.size()))),
        false);
  return kStoppedByCtrlC;
}

[[noreturn]] void Exec(const std::vector<std::string>& argv, Limit limit, uint64_t bytes) {
  if (limit == Limit::kFailWrites) Fail("Windows has no file size limit to make writes fail");
  EndAs(limit == Limit::kStop ? RunCutOff(argv, bytes) : RunChild(argv));
}

void Run(const std::vector<std::string>& argv, Limit limit, uint64_t bytes) {
  if (limit == Limit::kStop) {
    RunCutOff(argv, bytes);
  } else {
    RunChild(argv);
  }
}

#else

// In the program about to start: the limit, and no core files.
void ApplyLimit(Limit limit, uint64_t bytes) {
  struct rlimit none = {0, 0};
  setrlimit(RLIMIT_CORE, &none);
  if (limit == Limit::kNone) return;
  struct rlimit size = {static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  setrlimit(RLIMIT_FSIZE, &size);
  signal(SIGXFSZ, limit == Limit::kStop ? SIG_DFL : SIG_IGN);
}

[[noreturn]] void ExecNow(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  Fail("cannot run " + argv[0]);
}

[[noreturn]] void Exec(const std::vector<std::string>& argv, Limit limit, uint64_t bytes) {
  ApplyLimit(limit, bytes);
  ExecNow(argv);
}

void Run(const std::vector<std::string>& argv, Limit limit, uint64_t bytes) {
  pid_t pid = fork();
  if (pid == 0) {
    ApplyLimit(limit, bytes);
    ExecNow(argv);
  }
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
}

#endif

void Command(const std::vector<std::string>& w, const std::vector<std::string>& args) {
  if (w.empty() || w[0][0] == '#') return;
  auto need = [&w](size_t n) {
    if (w.size() < n) Fail("\"" + w[0] + "\" needs " + std::to_string(n - 1) + " words");
  };
  const std::string& op = w[0];
  if (op == "append" || op == "write") {
    need(2);
    Write(w[1], Joined(w, 2) + "\n", op == "append");
  } else if (op == "copy") {
    need(3);
    Write(w[2], Read(w[1]), false);
  } else if (op == "print") {
    std::printf("%s\n", Joined(w, 1).c_str());
    std::fflush(stdout);
  } else if (op == "touch") {
    need(2);
    Write(w[1], "", true);
  } else if (op == "args") {
    need(2);
    std::string lines;
    for (size_t i = 1; i < args.size(); ++i) lines += args[i] + "\n";
    Write(w[1], lines, false);
  } else if (op == "exit") {
    need(2);
    std::exit(std::atoi(w[1].c_str()));
  } else if (op == "sleep") {
    need(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoll(w[1])));
  } else if (op == "hold") {
    need(2);
    Hold(w[1]);
  } else if (op == "if-contains" || op == "if-ends-with") {
    need(4);
    bool holds = op == "if-contains"
                     ? Read(w[1]).find(w[2]) != std::string::npos
                     : w[1].size() >= w[2].size() &&
                           w[1].compare(w[1].size() - w[2].size(), w[2].size(), w[2]) == 0;
    if (holds) Command(std::vector<std::string>(w.begin() + 3, w.end()), args);
  } else if (op == "exec" || op == "run") {
    need(2);
    std::vector<std::string> argv(w.begin() + 1, w.end());
    if (op == "exec") Exec(argv, Limit::kNone, 0);
    Run(argv, Limit::kNone, 0);
  } else if (op == "exec-limited" || op == "run-limited" || op == "exec-write-limited") {
    need(3);
    const uint64_t bytes = std::stoull(w[1]);
    std::vector<std::string> argv(w.begin() + 2, w.end());
    if (op == "run-limited") {
      Run(argv, Limit::kStop, bytes);
    } else {
      Exec(argv, op == "exec-limited" ? Limit::kStop : Limit::kFailWrites, bytes);
    }
  } else {
    Fail("unknown command \"" + op + "\"");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = korva::CommandLineArguments(argc, argv);
  if (args.empty()) args.push_back("korva-stand-in");
  args[0] = OwnPath();
  std::istringstream lines(Script());
  for (std::string line; std::getline(lines, line);) Command(Words(line, args), args);
  return 0;
}
