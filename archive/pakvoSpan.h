// Archives over several files or disks: the names of the volumes of a split set. The disk requests
// of a set spanned over removable disks (TDiskSpannObj) live here too.
#pragma once

#include <string>
#include <string_view>

// Name of volume `index` of a set of `count` volumes split by zip: below `count` the base name with
// the extension ".z01", ".z02" ...; otherwise the archive itself (the last volume keeps its name).
std::string SplitVolumeName(std::string_view baseName, std::string_view archiveFile, int index,
                            int count);
