#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
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
