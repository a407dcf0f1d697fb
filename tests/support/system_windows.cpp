#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/windows_text.h"
#include "tests/support/system.h"

namespace korva {
namespace {

std::string ErrorText(DWORD error) {
  char buffer[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 buffer, sizeof buffer, nullptr);
  std::string text = buffer;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text + " (error " + std::to_string(error) + ")";
}

// The reparse data of a junction (a mount point), as winioctl's users lay
// it out; mingw's headers do not declare it.
struct MountPointData {
  ULONG tag;
  USHORT dataLength;
  USHORT reserved;
  USHORT substituteOffset;
  USHORT substituteLength;
  USHORT printOffset;
  USHORT printLength;
};

// A junction at `link` to the folder `target` (an absolute path).
bool MakeJunction(const std::wstring& target, const std::wstring& link, DWORD* error) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) {
    *error = GetLastError();
    return false;
  }
  const std::wstring substitute = L"\\??\\" + target;
  const size_t names = (substitute.size() + 1 + target.size() + 1) * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(MountPointData) + names, 0);
  auto* data = reinterpret_cast<MountPointData*>(buffer.data());
  data->tag = IO_REPARSE_TAG_MOUNT_POINT;
  data->dataLength = static_cast<USHORT>(8 + names);
  data->substituteLength = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
  data->printOffset = static_cast<USHORT>(data->substituteLength + sizeof(wchar_t));
  data->printLength = static_cast<USHORT>(target.size() * sizeof(wchar_t));
  char* path = buffer.data() + sizeof(MountPointData);
  std::memcpy(path, substitute.data(), data->substituteLength);
  std::memcpy(path + data->printOffset, target.data(), data->printLength);
  HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD returned = 0;
  bool made = handle != INVALID_HANDLE_VALUE &&
              DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                              static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  *error = made ? 0 : GetLastError();
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!made) RemoveDirectoryW(link.c_str());
  return made;
}

bool IsReparsePoint(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

bool MakeLink(const std::string& target, const std::string& link, std::string* whyNot) {
  const std::wstring wideLink = Native(link);
  wchar_t full[MAX_PATH];
  DWORD n = GetFullPathNameW(Native(target).c_str(), MAX_PATH, full, nullptr);
  const std::wstring wideTarget(full, n);
  DWORD attributes = GetFileAttributesW(wideTarget.c_str());
  DWORD error = 0;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (MakeJunction(wideTarget, wideLink, &error)) return true;
    *whyNot = "this system cannot make a junction (" + link + "): " + ErrorText(error) +
              "; wine does not implement FSCTL_SET_REPARSE_POINT";
    return false;
  }
  // Only Windows' developer mode lets a user without privilege make one.
  if (CreateSymbolicLinkW(wideLink.c_str(), wideTarget.c_str(),
                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
      IsReparsePoint(wideLink)) {
    return true;
  }
  error = GetLastError();
  *whyNot = "this system cannot make a symbolic link to a file (" + link + "): " +
            (error == ERROR_PRIVILEGE_NOT_HELD ? std::string("it takes the privilege to make links")
                                               : "no link was made (" + ErrorText(error) + ")");
  return false;
}

bool MakePipe(const std::string& path, std::string* whyNot) {
  *whyNot = path + ": Windows has no FIFO files (its pipes live in \\\\.\\pipe\\, not in folders)";
  return false;
}

std::string DevicePath(const std::string& folder) { return folder + "/NUL"; }

bool RunAsOrdinaryUser(const std::vector<std::string>&, const std::function<std::string()>& body,
                       std::string* result, std::string*) {
  // Windows' read-only attribute binds administrators too.
  *result = body();
  return true;
}

struct HeldFile::Handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

HeldFile::HeldFile(const std::string& path) : handle_(new Handle) {
  handle_->handle = CreateFileW(Native(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HeldFile::~HeldFile() {
  if (handle_->handle != INVALID_HANDLE_VALUE) CloseHandle(handle_->handle);
}

bool HeldFile::is_open() const { return handle_->handle != INVALID_HANDLE_VALUE; }

std::string HeldFile::ReadAll() {
  std::string bytes;
  char buffer[4096];
  LARGE_INTEGER start = {};
  SetFilePointerEx(handle_->handle, start, nullptr, FILE_BEGIN);
  DWORD n = 0;
  while (ReadFile(handle_->handle, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  return bytes;
}

// Every registry value the records change, with what to put back.
struct MadeUpInstallRecords::Saved {
  // The registry is the machine's, and test processes may run side by
  // side: one set of made-up records at a time, the others wait.
  HANDLE turn = CreateMutexW(nullptr, FALSE, L"korva-tests-install-records");
  Saved() { WaitForSingleObject(turn, INFINITE); }

  struct Change {
    HKEY root;
    std::wstring key, value;
    std::wstring created;  // the first key that the change made ("" for none)
    bool had = false;      // whether the value was there before
    std::wstring old;
  };
  std::vector<Change> changes;

  // Sets the text value `value` of `key`, making the key when it is missing.
  bool Set(HKEY root, const std::wstring& key, const std::wstring& value, const std::string& text,
           std::string* whyNot) {
    Change change{root, key, value, L"", false, L""};
    for (size_t end = 0; end != std::wstring::npos;) {
      end = key.find(L'\\', end + 1);
      const std::wstring part = key.substr(0, end);
      HKEY open;
      if (RegOpenKeyExW(root, part.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS) {
        change.created = part;
        break;
      }
      RegCloseKey(open);
    }
    wchar_t old[1024];
    DWORD size = sizeof old;
    change.had = change.created.empty() &&
                 RegGetValueW(root, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, old,
                              &size) == ERROR_SUCCESS;
    if (change.had) change.old = old;
    HKEY handle;
    LONG error = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                                 nullptr);
    if (error == ERROR_SUCCESS) {
      const std::wstring wide = Wide(text);
      error = RegSetValueExW(handle, value.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(wide.c_str()),
                             static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(handle);
    }
    if (!change.created.empty() || error == ERROR_SUCCESS) changes.push_back(change);
    if (error == ERROR_SUCCESS) return true;
    *whyNot = "cannot write the registry key " + Narrow(key) + ": " +
              ErrorText(static_cast<DWORD>(error));
    return false;
  }

  ~Saved() {
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
      if (!change->created.empty()) {
        RegDeleteTreeW(change->root, change->created.c_str());
      } else if (change->had) {
        RegSetKeyValueW(change->root, change->key.c_str(), change->value.c_str(), REG_SZ,
                        change->old.c_str(),
                        static_cast<DWORD>((change->old.size() + 1) * sizeof(wchar_t)));
      } else {
        RegDeleteKeyValueW(change->root, change->key.c_str(), change->value.c_str());
      }
    }
    ReleaseMutex(turn);
    CloseHandle(turn);
  }
};

MadeUpInstallRecords::MadeUpInstallRecords(const std::string& root)
    : saved_(new Saved), root_(root) {
  // As Steam writes them: for the user in lower case with "/", for the
  // machine as on disk with "\".
  std::string lower = SteamFolder();
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  std::string whyNot;
  if (!saved_->Set(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"SteamPath", lower, &whyNot) ||
      !saved_->Set(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"InstallPath",
                   Written(SteamFolder()), &whyNot)) {
    throw std::runtime_error(whyNot);
  }
}

MadeUpInstallRecords::~MadeUpInstallRecords() = default;

std::string MadeUpInstallRecords::SteamFolder() const { return root_ + "/Steam"; }

bool MadeUpInstallRecords::AddGogGame(const std::string& folder, std::string* whyNot) {
  // A key name of the records' own: the name of their root folder, which
  // no other test shares.
  const std::wstring key = L"SOFTWARE\\WOW6432Node\\GOG.com\\Games\\" +
                           Wide(root_.substr(root_.find_last_of('/') + 1)) + L"-" +
                           std::to_wstring(saved_->changes.size());
  return saved_->Set(HKEY_LOCAL_MACHINE, key, L"path", Written(folder), whyNot);
}

std::string MadeUpInstallRecords::Written(const std::string& path) {
  std::string written = path;
  std::replace(written.begin(), written.end(), '/', '\\');
  return written;
}

struct LockedFile::Handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = 0;
};

LockedFile::LockedFile(const std::string& path) : handle_(new Handle) {
  handle_->handle = CreateFileW(Native(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_->handle == INVALID_HANDLE_VALUE) handle_->error = GetLastError();
}

LockedFile::~LockedFile() {
  if (handle_->handle != INVALID_HANDLE_VALUE) CloseHandle(handle_->handle);
}

bool LockedFile::locked(std::string* whyNot) const {
  if (handle_->handle != INVALID_HANDLE_VALUE) return true;
  *whyNot = "the file could not be opened: " + ErrorText(handle_->error);
  return false;
}

}  // namespace korva

namespace korva {

bool RunOnTerminal(const std::vector<std::string>&, const std::string&, std::string*, int*,
                   std::string* whyNot) {
  *whyNot = "the tests make no console for a program on Windows";
  return false;
}

}  // namespace korva
