#include "common/Paths.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace paths {

std::string ExecutableFolder() {
  std::vector<char> buf(PATH_MAX + 1, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return ".";
  std::string exe(buf.data(), static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

namespace {

std::string FoldChar(std::string_view path, char sep) {
  std::string r;
  r.reserve(path.size());
  for (char c : path) {
    if (c == sep && !r.empty() && r.back() == sep) continue;
    r.push_back(c);
  }
  return r;
}

}  // namespace

std::string FoldBackslashes(std::string_view path) { return FoldChar(path, '\\'); }

std::string ToNativePath(std::string_view path) {
  std::string r(path);
  for (char& c : r) {
    if (c == '\\') c = '/';
  }
  return FoldChar(r, '/');
}

bool IsExecutableRelative(std::string_view folder) {
  return folder.starts_with(".\\") || folder.starts_with("./") || folder.starts_with("..") ||
         folder == ".";
}

std::string ResolveFolder(std::string_view folder, std::string_view base) {
  std::string native = ToNativePath(folder);
  if (!IsExecutableRelative(folder)) return native;
  if (native == ".") return ToNativePath(base);
  if (native.starts_with("./")) native.erase(0, 2);
  return Join(base, native);
}

std::string ResolveFolder(std::string_view folder) {
  return ResolveFolder(folder, ExecutableFolder());
}

std::string Join(std::string_view folder, std::string_view name) {
  if (folder.empty()) return ToNativePath(name);
  return ToNativePath(std::string(folder) + "/" + std::string(name));
}

}  // namespace paths
