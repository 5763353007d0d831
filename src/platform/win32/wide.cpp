#include "platform/win32/wide.h"

#include <cerrno>
#include <cstring>

namespace slicery::platform::win32 {
namespace {

// The code point of the well-formed UTF-8 character at `at`, with its length;
// a surrogate's three-byte form counts as well-formed. Length 0 when none
// starts there.
char32_t decodeAt(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = static_cast<unsigned char>(text[at]);
  length = 0;
  if (byte < 0x80) {
    length = 1;
    return byte;
  }
  std::size_t size = 0;
  char32_t point = 0;
  char32_t least = 0;
  if (byte >= 0xC2 && byte <= 0xDF) {
    size = 2;
    point = byte & 0x1FU;
    least = 0x80;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    size = 3;
    point = byte & 0x0FU;
    least = 0x800;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    size = 4;
    point = byte & 0x07U;
    least = 0x10000;
  } else {
    return 0;
  }
  if (at + size > text.size()) return 0;
  for (std::size_t i = 1; i < size; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    point = (point << 6) | (next & 0x3FU);
  }
  if (point < least || point > 0x10FFFF) return 0;
  length = size;
  return point;
}

void appendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

bool startsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::wstring wide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = 0;
    const char32_t point = decodeAt(text, at, length);
    if (length == 0) {
      out.push_back(static_cast<wchar_t>(0xDC00 | static_cast<unsigned char>(text[at])));
      ++at;
      continue;
    }
    if (point >= 0x10000) {
      out.push_back(static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(point));
    }
    at += length;
  }
  return out;
}

std::string narrow(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char32_t unit = static_cast<char16_t>(text[at]);
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() &&
        static_cast<char16_t>(text[at + 1]) >= 0xDC00 &&
        static_cast<char16_t>(text[at + 1]) <= 0xDFFF) {
      const char32_t low = static_cast<char16_t>(text[++at]);
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      out.push_back(static_cast<char>(unit & 0xFF));  // a byte that was no character
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::wstring longPath(const std::string& path) {
  std::wstring given = wide(path);
  for (wchar_t& c : given) {
    if (c == L'/') c = L'\\';
  }
  if (startsWith(given, L"\\\\?\\")) return given;
  std::wstring full(std::max<std::size_t>(given.size() + MAX_PATH, 1), L'\0');
  DWORD size =
      ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (size >= full.size()) {
    full.resize(size);
    size = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (size == 0 || size >= full.size()) return given;
  full.resize(size);
  if (startsWith(full, L"\\\\.\\")) return full;  // a device: no long form
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string shortForm(std::wstring_view path) {
  if (startsWith(path, L"\\\\?\\UNC\\")) return "\\\\" + narrow(path.substr(8));
  if (startsWith(path, L"\\\\?\\") && path.size() >= 6 && path[5] == L':') {
    return narrow(path.substr(4));
  }
  return narrow(path);
}

int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
      return EBUSY;
    case ERROR_LOCK_VIOLATION:
      return EWOULDBLOCK;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return ENOTSUP;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

Status failure(const char* operation, const std::string& path, DWORD error,
               const std::string& newPath) {
  const int code = errnoOf(error);
  if (code != EIO) return Status::systemError(operation, path, code, newPath);
  wchar_t* text = nullptr;
  const DWORD size = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = size > 0 ? narrow(std::wstring_view(text, size)) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = "Windows error " + std::to_string(error);
  return Status::error(operation, path, reason, code, newPath);
}

}  // namespace slicery::platform::win32
