// Names of the volumes of multi-volume sets, and the stopwatch behind OnElapsedTime.
#include <gtest/gtest.h>

#include "archive/pakvoSpan.h"

TEST(VolumeNames, SplitSetsNumberTheirVolumesAndEndWithTheArchive) {
  EXPECT_EQ(SplitVolumeName("dir/a.zip", "dir/a.zip", 0, 3), "dir/a.z01");
  EXPECT_EQ(SplitVolumeName("dir/a.zip", "dir/a.zip", 1, 3), "dir/a.z02");
  EXPECT_EQ(SplitVolumeName("dir/a.zip", "dir/a.zip", 3, 3), "dir/a.zip");
  EXPECT_EQ(SplitVolumeName("a", "a", 11, 20), "a.z12");
}

TEST(VolumeNames, RarPartNumbersKeepTheirWidth) {
  EXPECT_EQ(NextVolumeName("x.part1.rar", 8, atRar), "x.part10.rar");
  EXPECT_EQ(NextVolumeName("x.part01.rar", 8, atRar), "x.part10.rar");
  EXPECT_EQ(NextVolumeName("x.part001.rar", 8, atRarExe), "x.part010.rar");
  EXPECT_EQ(NextVolumeName("d.part1/x.part1.rar", 0, atRar), "d.part1/x.part2.rar");
  EXPECT_EQ(NextVolumeName("x.part1.rar", 0, atZip), "x.part1.rar");
  EXPECT_EQ(NextVolumeName("x.rar", 3, atRar), "x.rar");
  EXPECT_EQ(NextVolumeName("x.part1234.rar", 3, atRar), "x.part1234.rar");
  EXPECT_EQ(NextVolumeName("", 3, atRar), "");
  EXPECT_EQ(NextVolumeName("x.part1.rar", -1, atRar), "");
}

TEST(Stopwatch, PausedTimeDoesNotCount) {
  uint32_t now = 1000;
  TpakvoTimer timer([&] { return now; });
  timer.Start();
  now += 1500;
  timer.Pause();
  now += 2000;
  timer.Resume();
  now += 1500;
  timer.Stop();
  EXPECT_FLOAT_EQ(timer.Elapsed(), 3.0f);
  EXPECT_FALSE(timer.Running());
  // Stop, pause and resume of a stopwatch that is not running change nothing.
  now += 5000;
  timer.Pause();
  timer.Resume();
  timer.Stop();
  EXPECT_FLOAT_EQ(timer.Elapsed(), 3.0f);
}
