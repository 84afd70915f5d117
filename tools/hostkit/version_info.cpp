#include "tools/hostkit/version_info.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace hostkit {
namespace {

// One node of a version block: a length, a value length and type, a UTF-16 key, the value and
// then the children, each part starting on a 32-bit boundary of the block.
struct VersionNode {
  const BYTE* children;
  const BYTE* end;
  std::wstring key;
};

const BYTE* Align(const BYTE* block, const BYTE* at) {
  return block + ((at - block + 3) & ~std::ptrdiff_t{3});
}

bool ReadNode(const BYTE* block, const BYTE* at, const BYTE* limit, VersionNode& node) {
  WORD header[3];  // wLength, wValueLength, wType
  if (limit - at < static_cast<std::ptrdiff_t>(sizeof header)) return false;
  std::memcpy(header, at, sizeof header);
  if (header[0] < sizeof header || at + header[0] > limit) return false;
  node.end = at + header[0];
  node.key.clear();
  const BYTE* cursor = at + sizeof header;
  for (wchar_t c = 0; cursor + sizeof c <= node.end; cursor += sizeof c) {
    std::memcpy(&c, cursor, sizeof c);
    if (c == 0) break;
    node.key += c;
  }
  cursor += sizeof(wchar_t);
  const std::size_t valueBytes = header[2] == 1 ? header[1] * sizeof(wchar_t) : header[1];
  // Some resource compilers count a string value in bytes, not characters: a value that seems
  // to run past the node just means it has no children.
  node.children = Align(block, Align(block, cursor) + valueBytes);
  if (node.children > node.end) node.children = node.end;
  return true;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

// The names of the strings in the table `tableKey` ("040904b0"), in order.
std::vector<std::string> StringNames(const std::vector<BYTE>& block, const std::wstring& tableKey) {
  std::vector<std::string> names;
  const BYTE* base = block.data();
  const BYTE* limit = base + block.size();
  VersionNode root;
  if (!ReadNode(base, base, limit, root)) return names;
  VersionNode info;
  for (const BYTE* at = root.children; at < root.end && ReadNode(base, at, root.end, info);
       at = Align(base, info.end)) {
    if (info.key != L"StringFileInfo") continue;
    VersionNode table;
    for (const BYTE* t = info.children; t < info.end && ReadNode(base, t, info.end, table);
         t = Align(base, table.end)) {
      if (_wcsicmp(table.key.c_str(), tableKey.c_str()) != 0) continue;
      VersionNode entry;
      for (const BYTE* e = table.children; e < table.end && ReadNode(base, e, table.end, entry);
           e = Align(base, entry.end)) {
        names.push_back(Narrow(entry.key));
      }
    }
  }
  return names;
}

}  // namespace

std::optional<VersionInfo> ReadVersionInfo(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::nullopt;

  VersionInfo info{};
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof info.fixed) {
    return std::nullopt;
  }
  info.fixed = *static_cast<VS_FIXEDFILEINFO*>(value);

  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    const auto* translation = static_cast<const WORD*>(value);
    info.language = translation[0];
    info.codePage = translation[1];
  }
  wchar_t tableKey[16];
  std::swprintf(tableKey, 16, L"%04x%04x", info.language, info.codePage);
  for (const std::string& name : StringNames(block, tableKey)) {
    char query[160];
    std::snprintf(query, sizeof query, R"(\StringFileInfo\%04x%04x\%s)", info.language,
                  info.codePage, name.c_str());
    if (VerQueryValueA(block.data(), query, &value, &length)) {
      info.stringNames.push_back(name);
      info.strings[name] = length > 0 ? static_cast<const char*>(value) : "";
    }
  }
  return info;
}

}  // namespace hostkit
