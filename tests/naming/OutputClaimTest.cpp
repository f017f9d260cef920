#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "recorder/OutputClaim.h"

namespace fs = std::filesystem;
using namespace larkspan;

namespace {
std::string Folder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("lk-claims-" + std::to_string(::getpid()));
        fs::remove_all(d);
        fs::create_directories(d);
        return d;
    }();
    return dir.string();
}
}  // namespace

TEST(OutputClaim, ASecondRecordingOfTheSamePathGetsAFreeVariant) {
    const std::string path = Folder() + "/clip.asf";
    OutputClaim first, second, third;
    EXPECT_EQ(first.ClaimFreeVariant(path), path);
    EXPECT_EQ(second.ClaimFreeVariant(path), Folder() + "/clip (2).asf");
    // Another spelling of the same file is the same claim.
    EXPECT_EQ(fs::path(third.ClaimFreeVariant(Folder() + "/./sub/../clip.asf")).lexically_normal(),
              fs::path(Folder() + "/clip (3).asf"));
    EXPECT_TRUE(OutputClaim::InUse(path));
    EXPECT_FALSE(OutputClaim().Claim(path));

    first.Release();
    EXPECT_FALSE(OutputClaim::InUse(path));
    OutputClaim again;
    EXPECT_EQ(again.ClaimFreeVariant(path), path);
}

TEST(OutputClaim, VariantsSkipFilesAlreadyOnDisk) {
    const std::string path = Folder() + "/live";
    std::fclose(std::fopen((Folder() + "/live (2)").c_str(), "wb"));
    OutputClaim first, second;
    first.ClaimFreeVariant(path);
    EXPECT_EQ(second.ClaimFreeVariant(path), Folder() + "/live (3)");
    // Unclaimed files on disk are left to the overwrite question.
    OutputClaim third;
    EXPECT_EQ(third.ClaimFreeVariant(Folder() + "/live (2)"), Folder() + "/live (2)");
}

TEST(OutputClaim, EndsWithTheObject) {
    const std::string path = Folder() + "/scoped.asf";
    {
        OutputClaim claim;
        ASSERT_TRUE(claim.Claim(path));
        EXPECT_TRUE(claim.Holds(path));
    }
    EXPECT_FALSE(OutputClaim::InUse(path));
}
