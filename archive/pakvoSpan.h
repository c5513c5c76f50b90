// What the archive components share for archives over several files or disks: the names of the
// volumes of a multi-volume set, and the stopwatch behind OnElapsedTime. The disk requests of a
// spanned set (TDiskSpannObj) live in pakvoDiskSpann.h, beside the component base they call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "archive/pakvoGbls.h"

// Stopwatch in milliseconds ticks; paused time does not count.
class TpakvoTimer {
 public:
  using TickSource = std::function<uint32_t()>;

  // The clock defaults to a monotonic millisecond counter; tests pass their own.
  explicit TpakvoTimer(TickSource ticks = {});

  void Start();
  void Stop();
  void Pause();
  void Resume();
  bool Running() const { return start_ != 0; }
  // Seconds measured by the last Stop.
  float Elapsed() const { return elapsed_; }

 private:
  uint32_t Now() const;

  TickSource ticks_;
  uint32_t start_ = 0;
  uint32_t pause_ = 0;
  uint32_t stop_ = 0;
  float elapsed_ = 0;
};

// Name of volume `index` of a set of `count` volumes split by zip: below `count` the base name with
// the extension ".z01", ".z02" ...; otherwise the archive itself (the last volume keeps its name).
std::string SplitVolumeName(std::string_view baseName, std::string_view archiveFile, int index,
                            int count);

// Name of the volume after `name` for volume index `index`: empty for an empty name or a negative
// index; a RAR set named name.partN.rar gets the number index + 2 with as many digits as before;
// every other name is kept.
std::string NextVolumeName(std::string_view name, int index, TArcType arcType);
