// The Platform on Windows. Paths are UTF-8 byte strings everywhere else in
// the program; here they become UTF-16 for the wide-character Win32 calls,
// so a game folder whose name lies outside the 8-bit code page works. "/"
// and "\" both separate components. NTFS already matches names
// case-insensitively, so names are used as given; NativePath asks the disk
// for their spelling.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shellapi.h>
#include <shlobj.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/file_names.h"
#include "platform/platform.h"
#include "platform/platform_common.h"
#include "platform/windows_text.h"

namespace korva {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return std::string();
  int size = static_cast<int>(utf16.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, &narrow[0], n, nullptr, nullptr);
  return narrow;
}

std::wstring Native(const std::string& path) {
  std::wstring wide = Wide(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

std::wstring LongPath(const std::string& path) {
  std::wstring given = Native(path);
  // Already in the system's own forms: "\\?\C:\...", a device "\\.\NUL".
  if (given.empty() || given.compare(0, 4, L"\\\\?\\") == 0 || given.compare(0, 4, L"\\\\.\\") == 0) {
    return given;
  }
  // The system completes and normalizes the path as it would the plain
  // form ("." and ".." resolved, trailing dots and blanks dropped, a
  // relative path on the current folder); the extended form is then taken
  // as it stands.
  std::wstring full(std::max<size_t>(given.size() + MAX_PATH, 512), L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n == 0) return given;
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n + 1);
  }
  if (full.compare(0, 4, L"\\\\.\\") == 0 || full.compare(0, 4, L"\\\\?\\") == 0) return full;  // a device
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

const char kSeparators[] = "/\\";


// The system's own words for an error code, without the final line end.
std::string ErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer != nullptr) text = Narrow(std::wstring(buffer, n));
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(error);
  return text;
}

Status Win32Error(const std::string& path, DWORD error) {
  return Status::PathError(path, ErrorText(error));
}

Status LastError(const std::string& path) { return Win32Error(path, GetLastError()); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path with its last component cut off, or "" when it has one only.
std::string CutLast(const std::string& path) {
  size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

bool HasDrive(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

// The folder that holds `path`.
std::string FolderOf(const std::string& path) {
  std::string folder = CutLast(path);
  if (folder.empty()) return path.find_first_of(kSeparators) == 0 ? path.substr(0, 1) : ".";
  return HasDrive(folder) && folder.size() == 2 ? folder + "/" : folder;
}

// True when `path` is a file with the read-only attribute. Windows refuses
// to write into, replace or remove such a file, administrators too; the
// calls here check it as well, so that a system that lets its
// administrator through (wine run as root) refuses alike.
bool ReadOnlyFile(const std::string& path) {
  DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// True when this user may not add entries to the folder that holds `path`
// (Program Files without administrator rights): the system refuses to open
// the folder for that.
bool FolderDenied(const std::string& path) {
  HANDLE folder = CreateFileW(LongPath(FolderOf(path)).c_str(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                              kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder != INVALID_HANDLE_VALUE) {
    CloseHandle(folder);
    return false;
  }
  return GetLastError() == ERROR_ACCESS_DENIED;
}

// True when another program holds `path` open so that it may not be
// renamed or removed meanwhile.
bool HeldOpen(const std::string& path) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

enum class Refusal { kHeld, kReadOnly, kNoPermission, kOther };

// What a user can do about a folder they may not write in.
constexpr char kNoPermission[] =
    "no permission to write in this folder; run the program as administrator, or move the game "
    "out of Program Files, then try again";

// Why a change of `path` (and `other`, a rename's other end) failed with
// `error`. Access is denied to a folder the user may not write in and to a
// read-only file; to any other file only while someone holds it (an
// antivirus scanner, a removal still pending), which passes.
Refusal WhyRefused(DWORD error, const std::string& path, const std::string& other) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return Refusal::kHeld;
  if (error != ERROR_ACCESS_DENIED) return Refusal::kOther;
  if (FolderDenied(path) || (!other.empty() && FolderDenied(other))) return Refusal::kNoPermission;
  if (ReadOnlyFile(path) || (!other.empty() && ReadOnlyFile(other))) return Refusal::kReadOnly;
  // A file call on a folder is refused so too, for good.
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Refusal::kOther;
  }
  return Refusal::kHeld;
}

// What a user can do about a change of `path` (a file or folder created,
// written, renamed or removed; `other` is a rename's other end) that the
// system refused with `error`, naming the file or folder at fault.
Status ChangeError(DWORD error, const std::string& path, const std::string& other = std::string()) {
  switch (WhyRefused(error, path, other)) {
    case Refusal::kHeld: {
      const bool otherHeld = !other.empty() && !HeldOpen(path) && HeldOpen(other);
      return Status::PathError(otherHeld ? other : path,
                               "another program holds it open (the game, an antivirus scanner or "
                               "an editor); close that program, then try again");
    }
    case Refusal::kNoPermission:
      return Status::PathError(!other.empty() && !FolderDenied(path) ? FolderOf(other) : FolderOf(path),
                               kNoPermission);
    case Refusal::kReadOnly:
      return Status::PathError(!other.empty() && !ReadOnlyFile(path) ? other : path,
                               "the file is read-only; clear its read-only attribute, then try "
                               "again");
    case Refusal::kOther:
      break;
  }
  if (error == ERROR_WRITE_PROTECT) {
    return Status::PathError(path, "the drive is write-protected; remove its write protection or "
                                   "move the game to a writable drive, then try again");
  }
  return Win32Error(path, error);
}

// How long a change waits in all for another program to let go of a file.
constexpr ULONGLONG kHeldPatienceMs = 2000;

// Runs `call`, a Win32 call on `path` (and `other`, a rename's other end)
// that returns false with the last error set when it fails. While it fails
// because another program holds the file (an antivirus scanner looks at
// every new file for a moment), it is tried again after growing waits (10,
// 20, 40, ... ms), for about two seconds in all. With `reading` only a
// sharing or lock violation is waited out. ERROR_SUCCESS or the last error.
DWORD Retried(const std::function<bool()>& call, const std::string& path,
              const std::string& other = std::string(), bool reading = false) {
  const ULONGLONG start = GetTickCount64();
  DWORD wait = 10;
  for (;;) {
    if (call()) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    const ULONGLONG spent = GetTickCount64() - start;
    const bool held = reading ? error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                              : WhyRefused(error, path, other) == Refusal::kHeld;
    if (!held || spent >= kHeldPatienceMs) return error;
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>(wait, kHeldPatienceMs - spent)));
    wait *= 2;
  }
}

// Makes the change `call` of `path` (and `other`), waiting out another
// program that holds the file; on failure says what the user can do.
Status Change(const std::function<bool()>& call, const std::string& path,
              const std::string& other = std::string()) {
  const DWORD error = Retried(call, path, other);
  return error == ERROR_SUCCESS ? Status::Ok() : ChangeError(error, path, other);
}

class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Reset(INVALID_HANDLE_VALUE); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void Reset(HANDLE handle) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }
  // Closes now, reporting a failed close.
  bool Close() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Opens any existing entry, a folder too, following links; `access` may be 0
// for its attributes only. Opening never blocks, whatever the entry is.
HANDLE OpenEntry(const std::string& path, DWORD access) {
  return CreateFileW(LongPath(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Opens an existing file with `access` and checks that it is a regular
// file; `*size` gets its size. Another program that holds the file is
// waited for a moment.
Status OpenRegular(const std::string& path, DWORD access, Handle* handle, uint64_t* size) {
  const bool reading = (access & GENERIC_WRITE) == 0;
  const DWORD error = Retried([&] {
    handle->Reset(OpenEntry(path, access));
    return handle->valid();
  }, path, std::string(), reading);
  if (error != ERROR_SUCCESS) {
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    return reading && !held ? Win32Error(path, error) : ChangeError(error, path);
  }
  if (GetFileType(handle->get()) != FILE_TYPE_DISK) {
    return Status::PathError(path, "not a regular file (a device, pipe or socket), so it is not used");
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle->get(), &info)) return LastError(path);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return Status::PathError(path, "is a folder, not a file");
  }
  if (!reading && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
    handle->Reset(INVALID_HANDLE_VALUE);
    return ChangeError(ERROR_ACCESS_DENIED, path);
  }
  *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return Status::Ok();
}

// Creates the new regular file `path` for writing; fails when anything has
// that name. A device name (NUL, CON, COM1, ...) opens a device rather than
// making a file: that is refused too.
Status CreateNew(const std::string& path, Handle* handle) {
  Status created = Change([&] {
    handle->Reset(CreateFileW(LongPath(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle->valid();
  }, path);
  if (!created.ok()) return created;
  if (GetFileType(handle->get()) != FILE_TYPE_DISK) {
    handle->Reset(INVALID_HANDLE_VALUE);
    return Status::PathError(path, "names a device, not a file, so nothing is written there");
  }
  return Status::Ok();
}

Status WriteAll(HANDLE handle, const std::string& path, const char* data, size_t size) {
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr)) return ChangeError(GetLastError(), path);
    data += written;
    size -= written;
  }
  return Status::Ok();
}

// Reads up to `size` bytes at `offset`; `*done` gets how many were read.
Status ReadSome(HANDLE handle, const std::string& path, uint64_t offset, char* into, size_t size,
                size_t* done) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  if (!::ReadFile(handle, into, chunk, &read, &at)) {
    DWORD error = GetLastError();
    if (error != ERROR_HANDLE_EOF) return Win32Error(path, error);
  }
  *done = read;
  return Status::Ok();
}

class WindowsWriter : public FileWriter {
 public:
  WindowsWriter(HANDLE handle, const std::string& path) : handle_(handle), path_(path) {}
  Status Write(std::string_view bytes) override {
    return WriteAll(handle_, path_, bytes.data(), bytes.size());
  }

 private:
  HANDLE handle_;
  const std::string& path_;
};

DWORD Attributes(const std::string& path) { return GetFileAttributesW(LongPath(path).c_str()); }

bool EntryExists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

// The path that the file system gives the entry `path` after following
// every link and junction on the way ("\\?\C:\Games\KQ").
bool FinalPath(const std::string& path, std::wstring* final) {
  Handle handle(OpenEntry(path, 0));
  if (!handle.valid()) return false;
  std::wstring buffer(512, L'\0');
  for (;;) {
    DWORD n = GetFinalPathNameByHandleW(handle.get(), &buffer[0], static_cast<DWORD>(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 && GetLastError() == ERROR_MORE_DATA) {
      // Wine answers so for any path longer than 260 characters. An entry
      // that is no link or junction lies where its folder lies.
      handle.Reset(INVALID_HANDLE_VALUE);
      const std::string folder = CutLast(path);
      const DWORD attributes = Attributes(path);
      if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !FinalPath(folder, final)) {
        return false;
      }
      *final += L"\\" + Wide(path.substr(folder.size() + 1));
      return true;
    }
    if (n == 0) return false;
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(n + 1);
  }
  while (!buffer.empty() && buffer.back() == L'\\') buffer.pop_back();
  *final = buffer;
  return true;
}

// True when `inner` is `outer` or lies below it, names compared as NTFS
// compares them.
bool SameOrBelow(const std::wstring& inner, const std::wstring& outer) {
  if (inner.size() < outer.size()) return false;
  if (CompareStringOrdinal(inner.data(), static_cast<int>(outer.size()), outer.data(),
                           static_cast<int>(outer.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return inner.size() == outer.size() || inner[outer.size()] == L'\\';
}

// Quotes one argument as the Windows C runtime splits a command line:
// backslashes are literal except before a double quote.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted.push_back(arg[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

// True when the two paths name one file, however they reach it (a
// junction, a short 8.3 name, a substituted drive).
bool SameFile(const std::wstring& a, const std::wstring& b) {
  BY_HANDLE_FILE_INFORMATION infoA, infoB;
  Handle fileA(CreateFileW(a.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  Handle fileB(CreateFileW(b.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return fileA.valid() && fileB.valid() && GetFileInformationByHandle(fileA.get(), &infoA) &&
         GetFileInformationByHandle(fileB.get(), &infoB) &&
         infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
         infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// `path` with its last component spelled as on disk when it exists: a file
// replaced keeps its name, as on the game's own platform.
std::string ExistingSpelling(const std::string& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(LongPath(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return path;
  FindClose(find);
  size_t separator = path.find_last_of(kSeparators);
  return (separator == std::string::npos ? std::string() : path.substr(0, separator + 1)) +
         Narrow(data.cFileName);
}

// The text value `value` of the registry key `key` under `root`; "" when
// it is missing or not text.
std::string RegistryText(HKEY root, const std::wstring& key, const wchar_t* value) {
  DWORD size = 0;
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size < sizeof(wchar_t)) {
    return "";
  }
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, &text[0], &size) !=
      ERROR_SUCCESS) {
    return "";
  }
  text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
  return Narrow(text);
}

// The names of the subkeys of `key` under `root`, in the registry's order.
std::vector<std::wstring> RegistrySubkeys(HKEY root, const std::wstring& key) {
  std::vector<std::wstring> names;
  HKEY handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return names;
  wchar_t name[256];  // a key's name has at most 255 characters
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  RegCloseKey(handle);
  return names;
}

// A folder as the registry holds it, with "/" separators and the drive's
// letter in upper case (Steam writes "c:/program files (x86)/steam").
std::string RegistryFolder(std::string folder) {
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (HasDrive(folder) && folder[0] >= 'a') folder[0] = static_cast<char>(folder[0] - 'a' + 'A');
  return folder;
}

// A watched program's output pipe holds this many bytes before the program
// waits for them to be read.
constexpr DWORD kPipeBytes = 1 << 16;

// Adds to `*pending` what the pipe holds now, at most one pipe's worth,
// without waiting for more. False when it held nothing (or has ended).
bool ReadWaiting(HANDLE pipe, std::string* pending) {
  bool got = false;
  for (DWORD taken = 0; taken < kPipeBytes;) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) break;
    char buffer[4096];
    DWORD read = 0;
    if (!::ReadFile(pipe, buffer, std::min<DWORD>(waiting, sizeof buffer), &read, nullptr) ||
        read == 0) {
      break;
    }
    pending->append(buffer, read);
    taken += read;
    got = true;
  }
  return got;
}

// Waits for the program `process`, reading its standard output from `pipe`
// and telling `watch` the whole lines (without their "\r\n") at least
// every 100 ms; stops the program when `watch` returns false.
Status Watch(HANDLE process, HANDLE pipe, const ProgramWatch& watch, const std::string& name) {
  std::string pending;
  bool busy = false;
  for (;;) {
    // While the program prints, the pipe is emptied more often.
    const DWORD waited = WaitForSingleObject(process, busy ? 10 : 100);
    if (waited == WAIT_FAILED) {
      const DWORD error = GetLastError();
      TerminateProcess(process, 1);
      return Win32Error(name, error);
    }
    const bool ended = waited == WAIT_OBJECT_0;
    // What it printed just before it ended is still told: the pipe is read
    // until it is empty.
    busy = ReadWaiting(pipe, &pending);
    std::vector<std::string> lines;
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      lines.push_back(pending.substr(0, end > 0 && pending[end - 1] == '\r' ? end - 1 : end));
    }
    if (!watch(lines)) {
      if (!ended) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
      }
      return Status::Cancelled();
    }
    if (ended && !busy) return Status::Ok();
  }
}

class WindowsPlatform : public Platform {
 public:
  bool CanRead(const std::string& path) override {
    Handle handle;
    uint64_t size;
    return OpenRegular(path, GENERIC_READ, &handle, &size).ok();
  }

  bool Exists(const std::string& path) override { return EntryExists(path); }

  bool IsFolder(const std::string& path) override {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A link: what it leads to decides.
    Handle handle(OpenEntry(path, 0));
    BY_HANDLE_FILE_INFORMATION info;
    return handle.valid() && GetFileInformationByHandle(handle.get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool IsLink(const std::string& path) override {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return false;
    }
    // Other reparse points (cloud placeholders, deduplicated files) are
    // ordinary files to the program.
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(LongPath(path).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
           data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
  }

  Status Stat(const std::string& path, FileInfo* info) override {
    Handle handle(OpenEntry(path, 0));
    if (!handle.valid()) return LastError(path);
    *info = FileInfo();
    if (GetFileType(handle.get()) != FILE_TYPE_DISK) return Status::Ok();  // a device or pipe
    BY_HANDLE_FILE_INFORMATION data;
    if (!GetFileInformationByHandle(handle.get(), &data)) return LastError(path);
    info->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->regular = !info->folder;
    info->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // 100-nanosecond ticks since 1601, as nanoseconds since 1970 (from 1601
    // they would not fit in 64 bits).
    constexpr int64_t kTicksFrom1601To1970 = 116444736000000000;
    uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
    info->modified = (static_cast<int64_t>(ticks) - kTicksFrom1601To1970) * 100;
    return Status::Ok();
  }

  Status ReadFile(const std::string& path, uint64_t limit, std::string* bytes) override {
    bytes->clear();
    Handle handle;
    uint64_t size = 0;
    Status opened = OpenRegular(path, GENERIC_READ, &handle, &size);
    if (!opened.ok()) return opened;
    if (size > limit) return TooLarge(path, limit);
    bytes->resize(static_cast<size_t>(size));
    size_t done = 0;
    // The file may grow while it is read: read to its end, within the limit.
    for (;;) {
      if (done == bytes->size()) {
        if (bytes->size() >= limit) {
          char probe;
          size_t more = 0;
          if (ReadSome(handle.get(), path, done, &probe, 1, &more).ok() && more > 0) {
            bytes->clear();
            return TooLarge(path, limit);
          }
          break;
        }
        bytes->resize(static_cast<size_t>(std::min<uint64_t>(limit, bytes->size() + (1 << 16))));
      }
      size_t n = 0;
      Status read = ReadSome(handle.get(), path, done, &(*bytes)[done], bytes->size() - done, &n);
      if (!read.ok()) {
        bytes->clear();
        return read;
      }
      if (n == 0) break;
      done += n;
    }
    bytes->resize(done);
    return Status::Ok();
  }

  Status ReadAt(const std::string& path, uint64_t offset, size_t size,
                std::string* bytes) override {
    bytes->clear();
    Handle handle;
    uint64_t fileSize = 0;
    Status opened = OpenRegular(path, GENERIC_READ, &handle, &fileSize);
    if (!opened.ok()) return opened;
    bytes->assign(size, '\0');
    size_t done = 0;
    while (done < size) {
      size_t n = 0;
      Status read = ReadSome(handle.get(), path, offset + done, &(*bytes)[done], size - done, &n);
      if (!read.ok()) return read;
      if (n == 0) break;
      done += n;
    }
    bytes->resize(done);
    return Status::Ok();
  }

  Status ListFolder(const std::string& path, std::vector<std::string>* names) override {
    std::string folder = path.empty() ? "." : path;
    std::string pattern = folder;
    if (pattern.find_last_of(kSeparators) != pattern.size() - 1) pattern += "\\";
    pattern += "*";
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(LongPath(pattern).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    names->clear();
    if (find == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      // The root of an empty drive lists nothing, not even "." and "..".
      if (error == ERROR_FILE_NOT_FOUND && IsFolder(folder)) return Status::Ok();
      return Win32Error(path, error);
    }
    do {
      std::string name = Narrow(data.cFileName);
      if (name != "." && name != "..") names->push_back(std::move(name));
    } while (FindNextFileW(find, &data));
    DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) return Win32Error(path, error);
    std::sort(names->begin(), names->end(), NameLess);
    return Status::Ok();
  }

  Status CheckInside(const std::string& root, const std::string& path) override {
    auto outside = [&path](const std::string& why) {
      return Status::PathError(path, why + "; the program does not change anything outside the "
                                           "game folder, so the operation was stopped");
    };
    const bool below = path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 &&
                       (path[root.size()] == '/' || path[root.size()] == '\\');
    if (!below || HasDotDot(path, kSeparators)) return outside("not inside the game folder");
    std::wstring realRoot, realPath;
    if (!FinalPath(root, &realRoot)) return Status::PathError(root, "the game folder cannot be found");
    // The deepest part of the path that exists; below it nothing can lead
    // anywhere else.
    std::string existing = path;
    while (existing.size() > root.size() && !EntryExists(existing)) existing = CutLast(existing);
    if (!FinalPath(existing, &realPath)) return LastError(path);
    if (!SameOrBelow(realPath, realRoot)) {
      std::wstring shown = realPath.compare(0, 4, L"\\\\?\\") == 0 ? realPath.substr(4) : realPath;
      return outside("leads outside the game folder through a link or junction (to " +
                     Narrow(shown) + ")");
    }
    return Status::Ok();
  }

  Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) override {
    Handle handle;
    uint64_t size = 0;
    Status opened = OpenRegular(path, GENERIC_WRITE, &handle, &size);
    if (!opened.ok()) return opened;
    if (offset + bytes.size() > size) {
      return Status::PathError(path, "the file is " + std::to_string(size) +
                                         " bytes long, too short to write " +
                                         std::to_string(bytes.size()) + " bytes at byte " +
                                         std::to_string(offset));
    }
    size_t done = 0;
    while (done < bytes.size()) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      DWORD written = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      if (!::WriteFile(handle.get(), bytes.data() + done, chunk, &written, &at)) {
        return ChangeError(GetLastError(), path);
      }
      done += written;
    }
    if (!FlushFileBuffers(handle.get()) || !handle.Close()) return LastError(path);
    return Status::Ok();
  }

  Status AppendFile(const std::string& path, std::string_view bytes) override {
    Handle handle;
    uint64_t size = 0;
    if (!EntryExists(path)) {
      Status created = CreateNew(path, &handle);
      if (!created.ok()) return created;
    } else {
      Status opened = OpenRegular(path, GENERIC_WRITE, &handle, &size);
      if (!opened.ok()) return opened;
      LARGE_INTEGER end = {};
      if (!SetFilePointerEx(handle.get(), end, nullptr, FILE_END)) return LastError(path);
    }
    Status status = WriteAll(handle.get(), path, bytes.data(), bytes.size());
    if (!status.ok()) return status;
    if (!FlushFileBuffers(handle.get()) || !handle.Close()) return LastError(path);
    return Status::Ok();
  }

  Status ReplaceFile(const std::string& path, std::string_view bytes) override {
    const std::string target = ExistingSpelling(path);
    const std::string temp = target + "_temp";
    if (ReadOnlyFile(target)) return ChangeError(ERROR_ACCESS_DENIED, path);
    // A leftover "_temp" (perhaps a link) is replaced, never written through.
    DWORD leftover = Attributes(temp);
    if (leftover != INVALID_FILE_ATTRIBUTES && !(leftover & FILE_ATTRIBUTE_DIRECTORY)) {
      Status removed = Remove(temp);
      if (!removed.ok()) return removed;
    }
    Handle handle;
    Status status = CreateNew(temp, &handle);
    if (!status.ok()) return status;
    status = WriteAll(handle.get(), temp, bytes.data(), bytes.size());
    if (status.ok() && (!FlushFileBuffers(handle.get()) || !handle.Close())) status = LastError(temp);
    handle.Reset(INVALID_HANDLE_VALUE);
    if (status.ok()) {
      status = Change([&] {
        return MoveFileExW(LongPath(temp).c_str(), LongPath(target).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      }, path, temp);
    }
    if (!status.ok()) RemoveQuietly(temp);
    return status;
  }

  Status WriteNewFile(const std::string& path,
                      const std::function<Status(FileWriter&)>& produce) override {
    return NewFile(path, produce, true);
  }

  Status WriteNewFileUnflushed(const std::string& path,
                               const std::function<Status(FileWriter&)>& produce) override {
    return NewFile(path, produce, false);
  }

  Status FlushFiles(const std::vector<std::string>& paths) override {
    // Windows flushes one file at a time.
    for (const std::string& path : paths) {
      Status status = SyncFile(path);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }

  Status RenameOver(const std::string& from, const std::string& to) override {
    // A held target is the likelier one: it is named first.
    const std::string target = ExistingSpelling(to);
    if (ReadOnlyFile(target)) return ChangeError(ERROR_ACCESS_DENIED, to, from);
    return Change([&] {
      return MoveFileExW(LongPath(from).c_str(), LongPath(target).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }, to, from);
  }

  Status CopyFile(const std::string& from, const std::string& to) override {
    std::string temp;
    Status status = CopyToTemp(from, to, &temp);
    if (status.ok()) status = FlushCopy(temp);
    if (status.ok()) status = Rename(temp, to);
    if (!status.ok() && !temp.empty()) RemoveCopy(temp);
    return status;
  }

  Status CopyFiles(const std::vector<FilePair>& copies) override {
    // Every copy is written under its temporary name, then all are flushed,
    // and only then does each take its name.
    std::vector<std::string> temps;
    Status status;
    for (const FilePair& copy : copies) {
      std::string temp;
      status = CopyToTemp(copy.from, copy.to, &temp);
      if (!temp.empty()) temps.push_back(temp);
      if (!status.ok()) break;
    }
    for (size_t i = 0; status.ok() && i < temps.size(); ++i) status = FlushCopy(temps[i]);
    size_t renamed = 0;
    for (; status.ok() && renamed < copies.size(); ++renamed) {
      status = Rename(temps[renamed], copies[renamed].to);
    }
    for (size_t i = status.ok() ? temps.size() : renamed; i < temps.size(); ++i) RemoveCopy(temps[i]);
    return status;
  }

  Status Rename(const std::string& from, const std::string& to) override {
    return Change([&] {
      return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }, from, to);
  }

  Status Remove(const std::string& path) override {
    const DWORD attributes = Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      // A link to a folder (a junction) is removed as a folder, leaving what
      // it leads to alone.
      if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return Status::PathError(path, "is a folder, not a file");
      }
      return Change([&] { return RemoveDirectoryW(LongPath(path).c_str()) != 0; }, path);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      return ChangeError(ERROR_ACCESS_DENIED, path);
    }
    return Change([&] { return DeleteFileW(LongPath(path).c_str()) != 0; }, path);
  }

  Status RemoveOwnFile(const std::string& path) override {
    // A saved copy takes the read-only attribute of the file it was copied
    // from; the program's own file is removed all the same. Should the
    // removal fail, the file keeps its attribute.
    const DWORD attributes = Attributes(path);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_READONLY) &&
                          !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (readOnly) {
      Status cleared = Change([&] {
        return SetFileAttributesW(LongPath(path).c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
      }, path);
      if (!cleared.ok()) return cleared;
    }
    Status removed = Remove(path);
    if (!removed.ok() && readOnly) SetFileAttributesW(LongPath(path).c_str(), attributes);
    return removed;
  }

  Status CreateFolder(const std::string& path) override {
    return Change([&] { return CreateDirectoryW(LongPath(path).c_str(), nullptr) != 0; }, path);
  }

  Status RemoveEmptyFolder(const std::string& path) override {
    return Change([&] { return RemoveDirectoryW(LongPath(path).c_str()) != 0; }, path);
  }

  Status SyncFolder(const std::string& path) override {
    // Flushing a folder's handle makes NTFS write the folder's entries and
    // its log to disk. The flush needs a handle that may write.
    Handle folder(CreateFileW(LongPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) {
      const DWORD error = GetLastError();
      return error == ERROR_ACCESS_DENIED && IsFolder(path) ? Status::PathError(path, kNoPermission)
                                                            : Win32Error(path, error);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder.get(), &info)) return LastError(path);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Status::PathError(path, "not a folder");
    if (!FlushFileBuffers(folder.get())) return LastError(path);
    return Status::Ok();
  }

  Status SyncFile(const std::string& path) override {
    Handle handle;
    uint64_t size = 0;
    Status opened = OpenRegular(path, GENERIC_WRITE, &handle, &size);
    if (!opened.ok()) return opened;
    if (!FlushFileBuffers(handle.get()) || !handle.Close()) return LastError(path);
    return Status::Ok();
  }

  std::string ProgramFolder() override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      DWORD n = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
      if (n == 0) return ".";
      if (n < buffer.size()) {
        buffer.resize(n);
        break;
      }
      buffer.resize(buffer.size() * 2);
    }
    std::string exe = Narrow(buffer);
    std::replace(exe.begin(), exe.end(), '\\', '/');
    size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
  }

  // A handle that shares nothing keeps every other opener out, and the
  // file goes when the handle closes, also when the process dies.
  Status TryLockFile(const std::string& path, bool* taken, intptr_t* handle) override {
    *taken = false;
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      // Held, or being removed by the holder that just let go.
      if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
          (error == ERROR_ACCESS_DENIED && Attributes(path) != INVALID_FILE_ATTRIBUTES &&
           !(Attributes(path) & FILE_ATTRIBUTE_READONLY))) {
        return Status::Ok();
      }
      return ChangeError(error, path);
    }
    *taken = true;
    *handle = reinterpret_cast<intptr_t>(file);
    return Status::Ok();
  }

  void UnlockFile(const std::string&, intptr_t handle) override {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
  }

  std::string NativePath(const std::string& path) override {
    // Each component that exists takes its spelling on disk; from the first
    // one that does not exist on, the path is kept as given.
    std::string resolved;
    size_t pos = 0;
    bool found = true;
    while (pos <= path.size()) {
      size_t end = path.find_first_of(kSeparators, pos);
      if (end == std::string::npos) end = path.size();
      std::string part = path.substr(pos, end - pos);
      const bool plain = !part.empty() && part != "." && part != ".." &&
                         part.find_first_of("*?") == std::string::npos &&
                         !(pos == 0 && HasDrive(part) && part.size() == 2);
      if (found && plain) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileExW(LongPath(resolved + part).c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, 0);
        found = find != INVALID_HANDLE_VALUE;
        if (found) {
          FindClose(find);
          part = Narrow(data.cFileName);
        }
      }
      resolved += part;
      if (end < path.size()) resolved += path[end];
      pos = end + 1;
    }
    return resolved;
  }

  std::string AbsolutePath(const std::string& path) override {
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    // "C:/..." and "//server/share/..." are absolute already.
    if ((HasDrive(slashed) && slashed.size() > 2 && slashed[2] == '/') ||
        slashed.compare(0, 2, "//") == 0) {
      return slashed;
    }
    // "/x" (the current drive's root) and "C:x" (C:'s current folder) are
    // completed by the system; a plain relative path by the current folder.
    std::wstring buffer(MAX_PATH, L'\0');
    const bool relative = !HasDrive(slashed) && (slashed.empty() || slashed[0] != '/');
    for (;;) {
      DWORD n = relative ? GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), &buffer[0])
                         : GetFullPathNameW(Native(slashed).c_str(),
                                            static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
      if (n == 0) return slashed;
      if (n < buffer.size()) {
        buffer.resize(n);
        break;
      }
      buffer.resize(n + 1);
    }
    std::string absolute = Narrow(buffer);
    std::replace(absolute.begin(), absolute.end(), '\\', '/');
    if (!relative) return absolute;
    if (!absolute.empty() && absolute.back() == '/') absolute.pop_back();
    return slashed.empty() ? absolute : absolute + "/" + slashed;
  }

  bool IsRunning(const std::string& executablePath) override {
    const std::wstring game = LongPath(executablePath);
    const std::wstring name = game.substr(game.find_last_of(L'\\') + 1);
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      // Only a process whose program has the game's name is opened.
      if (CompareStringOrdinal(entry.szExeFile, -1, name.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
      Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
      if (!process.valid()) continue;  // not ours to look at
      std::wstring image(32768, L'\0');
      DWORD size = static_cast<DWORD>(image.size());
      if (!QueryFullProcessImageNameW(process.get(), 0, &image[0], &size)) continue;
      image.resize(size);
      const std::wstring running = LongPath(Narrow(image));
      if (CompareStringOrdinal(running.data(), static_cast<int>(running.size()), game.data(),
                               static_cast<int>(game.size()), TRUE) == CSTR_EQUAL ||
          SameFile(running, game)) {
        return true;
      }
    }
    return false;
  }

  using Platform::RunProgram;
  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                    const ProgramWatch& watch) override {
    if (argv.empty()) return Status::Error("No program to run.");
    // No shell: the program's path is given on its own, and the command
    // line is quoted so that the C runtime hands each argument over whole.
    // The plain path when it is short enough: the program then sees its own
    // name as it is usually spelled.
    const std::wstring program =
        Native(argv[0]).size() < MAX_PATH ? Native(argv[0]) : LongPath(argv[0]);
    std::wstring line = L"\"" + Wide(argv[0]) + L"\"";
    for (size_t i = 1; i < argv.size(); ++i) line += L" " + QuoteArgument(Wide(argv[i]));
    // A watched program writes its standard output into a pipe of ours:
    // only the end it writes to is handed down to it.
    Handle reader, writer;
    if (watch) {
      SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
      HANDLE readEnd = nullptr, writeEnd = nullptr;
      if (!CreatePipe(&readEnd, &writeEnd, &inherited, kPipeBytes)) {
        return Status::PathError(argv[0], "cannot start: " + ErrorText(GetLastError()));
      }
      reader.Reset(readEnd);
      writer.Reset(writeEnd);
      if (!SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        return Status::PathError(argv[0], "cannot start: " + ErrorText(GetLastError()));
      }
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = watch ? writer.get() : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    const bool started = CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process) != 0;
    const DWORD startError = GetLastError();
    // Only the program holds the write end now: the pipe ends when it (and
    // whatever it started) is done with it.
    writer.Reset(INVALID_HANDLE_VALUE);
    if (!started) return Status::PathError(argv[0], "cannot start: " + ErrorText(startError));
    Handle processHandle(process.hProcess), thread(process.hThread);
    if (watch) {
      Status watched = Watch(process.hProcess, reader.get(), watch, argv[0]);
      if (!watched.ok()) return watched;
    } else if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0) {
      return LastError(argv[0]);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code)) return LastError(argv[0]);
    // Windows' counterpart of a signal: the process ended on an exception
    // (an access violation, a stack overflow) or was stopped by Ctrl+C.
    if ((code & 0xFF000000u) == 0xC0000000u) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
      return Status::PathError(argv[0], std::string("stopped by exception ") + hex);
    }
    *exitStatus = static_cast<int>(code);
    return Status::Ok();
  }

 private:
  Status NewFile(const std::string& path, const std::function<Status(FileWriter&)>& produce,
                 bool flush) {
    Handle handle;
    Status created = CreateNew(path, &handle);
    if (!created.ok()) return created;
    WindowsWriter writer(handle.get(), path);
    Status status = produce(writer);
    if (status.ok() && ((flush && !FlushFileBuffers(handle.get())) || !handle.Close())) {
      status = LastError(path);
    }
    handle.Reset(INVALID_HANDLE_VALUE);
    if (!status.ok()) RemoveQuietly(path);
    return status;
  }

  // Removes a file of our own that a failed step left, also when a scanner
  // holds it for a moment; what cannot be removed stays.
  static void RemoveQuietly(const std::string& path) {
    Retried([&] { return DeleteFileW(LongPath(path).c_str()) != 0; }, path);
  }

  // Copies `from` to `to` + "_temp" with the source's attributes, unflushed;
  // `*temp` names the temporary file once it exists. Fails when `to`
  // exists, and when a temporary file of that name is left from before.
  Status CopyToTemp(const std::string& from, const std::string& to, std::string* temp) {
    temp->clear();
    {
      Handle in;
      uint64_t size = 0;
      Status opened = OpenRegular(from, GENERIC_READ, &in, &size);
      if (!opened.ok()) return opened;
    }
    if (EntryExists(to)) return Win32Error(to, ERROR_FILE_EXISTS);
    // The copy is written under a temporary name and renamed into place
    // when complete, so a cut-off copy never stands under the target's name.
    const std::string name = to + "_temp";
    Status copied = Change([&] {
      return CopyFileW(LongPath(from).c_str(), LongPath(name).c_str(), TRUE) != 0;
    }, name, from);
    if (copied.ok()) *temp = name;
    return copied;
  }

  // Flushes a copy to disk. A copy that took the read-only attribute is
  // flushed through a handle that may write, and keeps its attribute.
  Status FlushCopy(const std::string& temp) {
    const DWORD attributes = Attributes(temp);
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError(temp);
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return SyncFile(temp);
    const std::wstring name = LongPath(temp);
    if (!SetFileAttributesW(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
      return LastError(temp);
    }
    Status status = SyncFile(temp);
    if (!SetFileAttributesW(name.c_str(), attributes) && status.ok()) status = LastError(temp);
    return status;
  }

  // Removes a copy's temporary file, also when the copy took the source's
  // read-only attribute.
  static void RemoveCopy(const std::string& temp) {
    SetFileAttributesW(LongPath(temp).c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveQuietly(temp);
  }

  static Status TooLarge(const std::string& path, uint64_t limit) {
    return Status::PathError(path, "larger than the " + std::to_string(limit) +
                                       " bytes such a file may have, so it is not read");
  }
};

}  // namespace

Platform& SystemPlatform() {
  static WindowsPlatform platform;
  return platform;
}

std::vector<std::string> FindGameInstalls(std::vector<std::string>* problems) {
  // Steam says where it is for the user and for the machine; GOG keeps a
  // key per game with its folder. Both are 32-bit programs, so their
  // machine-wide keys lie under WOW6432Node.
  std::vector<std::string> steamFolders;
  for (const std::string& folder :
       {RegistryText(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"SteamPath"),
        RegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"InstallPath")}) {
    if (!folder.empty()) steamFolders.push_back(RegistryFolder(folder));
  }
  const std::wstring gog = L"SOFTWARE\\WOW6432Node\\GOG.com\\Games";
  std::vector<std::string> gameFolders;
  for (const std::wstring& game : RegistrySubkeys(HKEY_LOCAL_MACHINE, gog)) {
    const std::string folder = RegistryText(HKEY_LOCAL_MACHINE, gog + L"\\" + game, L"path");
    if (!folder.empty()) gameFolders.push_back(RegistryFolder(folder));
  }
  // NTFS matches names without regard to case.
  auto identity = [](const std::string& path) { return FoldedName(path); };
  return FindInstalls(SystemPlatform(), steamFolders, gameFolders, identity, problems);
}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

Environment SystemEnvironment() {
  return [](const std::string& name) {
    const std::wstring wide = Wide(name);
    std::wstring value(256, L'\0');
    for (;;) {
      DWORD n = GetEnvironmentVariableW(wide.c_str(), &value[0], static_cast<DWORD>(value.size()));
      if (n == 0) return std::string();
      if (n < value.size()) return Narrow(value.substr(0, n));
      value.resize(n);
    }
  };
}

ProgramFolders FindProgramFolders(Platform& platform, const std::string& executableFolder,
                                  const Environment& environment) {
  // A base folder: the variable, else the user's known folder that it
  // names when Windows sets it.
  auto base = [&](const char* variable, int knownFolder) {
    std::string folder = environment(variable);
    if (folder.empty()) {
      wchar_t buffer[MAX_PATH];
      if (SUCCEEDED(SHGetFolderPathW(nullptr, knownFolder, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        folder = Narrow(buffer);
      }
    }
    std::replace(folder.begin(), folder.end(), '\\', '/');
    while (folder.size() > 3 && folder.back() == '/') folder.pop_back();
    return folder;
  };
  // Writable when this user may add files to the folder; the folder is
  // only opened for that, nothing is written.
  auto writable = [&] {
    HANDLE folder = CreateFileW(LongPath(executableFolder).c_str(), FILE_ADD_FILE, kShareAll,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    CloseHandle(folder);
    return true;
  };
  return ChooseProgramFolders(platform, executableFolder, writable, executableFolder,
                              base("APPDATA", CSIDL_APPDATA), base("LOCALAPPDATA", CSIDL_LOCAL_APPDATA));
}

}  // namespace korva
