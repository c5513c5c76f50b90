#include "archive/pakvoSpan.h"

#include <cctype>
#include <chrono>
#include <cstdio>

TpakvoTimer::TpakvoTimer(TickSource ticks) : ticks_(std::move(ticks)) {}

uint32_t TpakvoTimer::Now() const {
  uint32_t t;
  if (ticks_) {
    t = ticks_();
  } else {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    t = static_cast<uint32_t>(ms.count());
  }
  return t == 0 ? 1 : t;  // 0 means "not running"
}

void TpakvoTimer::Start() {
  elapsed_ = 0;
  pause_ = 0;
  start_ = Now();
}

void TpakvoTimer::Stop() {
  if (start_ == 0) {
    return;
  }
  stop_ = Now();
  elapsed_ = static_cast<float>(stop_ - start_) / 1000.0f;
  start_ = 0;
}

void TpakvoTimer::Pause() {
  if (start_ != 0) {
    pause_ = Now();
  }
}

void TpakvoTimer::Resume() {
  if (start_ != 0 && pause_ != 0) {
    start_ += Now() - pause_;
    pause_ = 0;
  }
}

std::string SplitVolumeName(std::string_view baseName, std::string_view archiveFile, int index,
                            int count) {
  if (index < count) {
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%2.2d", index + 1);
    return ChangeExt(baseName, ext);
  }
  return std::string(archiveFile);
}

std::string NextVolumeName(std::string_view name, int index, TArcType arcType) {
  if (name.empty() || index < 0) {
    return {};
  }
  std::string result(name);
  if (arcType != atRar && arcType != atRarExe) {
    return result;
  }
  // name.partN.rar: the part number follows ".part" in the extension left after ".rar".
  std::size_t slash = result.find_last_of("/\\");
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string lower = result;
  for (char& c : lower) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".rar") != 0) {
    return result;
  }
  std::string stem = result.substr(0, result.size() - 4);
  std::size_t dot = stem.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) {
    return result;
  }
  std::string ext = stem.substr(dot);
  std::string lowerExt = lower.substr(dot, ext.size());
  if (lowerExt.compare(0, 5, ".part") != 0) {
    return result;
  }
  std::string digits = ext.substr(5);
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return result;
  }
  std::string number = std::to_string(index + 2);
  if (number.size() < digits.size()) {
    number.insert(0, digits.size() - number.size(), '0');
  }
  return stem.substr(0, dot) + ext.substr(0, 5) + number + result.substr(result.size() - 4);
}
