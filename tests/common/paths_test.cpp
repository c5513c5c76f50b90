#include <gtest/gtest.h>

#include "common/Paths.h"

TEST(Paths, RelativeFoldersResolveAgainstTheExecutableFolder) {
  EXPECT_EQ(paths::ResolveFolder(".\\SchmSchemas", "/opt/app"), "/opt/app/SchmSchemas");
  EXPECT_EQ(paths::ResolveFolder("./SchmSQL/", "/opt/app"), "/opt/app/SchmSQL/");
  EXPECT_EQ(paths::ResolveFolder("..\\Other", "/opt/app"), "/opt/app/../Other");
  EXPECT_EQ(paths::ResolveFolder("/data/x", "/opt/app"), "/data/x");
  EXPECT_EQ(paths::ResolveFolder("plain", "/opt/app"), "plain");
  EXPECT_FALSE(paths::ExecutableFolder().empty());
}

TEST(Paths, DoubledSeparatorsFold) {
  EXPECT_EQ(paths::FoldBackslashes("C:\\\\data\\\\\\x"), "C:\\data\\x");
  EXPECT_EQ(paths::FoldBackslashes("\\\\server\\share"), "\\server\\share");
  EXPECT_EQ(paths::ToNativePath("a\\\\b//c\\d"), "a/b/c/d");
  EXPECT_EQ(paths::Join("/tmp/", "/x.xml"), "/tmp/x.xml");
}
