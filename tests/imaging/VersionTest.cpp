#include <gtest/gtest.h>

#include "imaging/Version.h"

TEST(Version, MatchesProjectVersion) { EXPECT_EQ(tessaron::versionString(), "1.0.0"); }
