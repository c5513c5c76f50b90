// Names of the volumes of split sets.
#include <gtest/gtest.h>

#include "archive/pakvoSpan.h"

TEST(VolumeNames, SplitSetsNumberTheirVolumesAndEndWithTheArchive) {
  EXPECT_EQ(GetVolumeName("dir/a.zip", "dir/a.zip", 0, 3), "dir/a.z01");
  EXPECT_EQ(GetVolumeName("dir/a.zip", "dir/a.zip", 1, 3), "dir/a.z02");
  EXPECT_EQ(GetVolumeName("dir/a.zip", "dir/a.zip", 3, 3), "dir/a.zip");
  EXPECT_EQ(GetVolumeName("a", "a", 11, 20), "a.z12");
}
