#include "archive/pakvoSpan.h"

#include <cstdio>

#include "archive/pakvoGbls.h"

std::string SplitVolumeName(std::string_view baseName, std::string_view archiveFile, int index,
                            int count) {
  if (index < count) {
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%2.2d", index + 1);
    return ChangeExt(baseName, ext);
  }
  return std::string(archiveFile);
}
