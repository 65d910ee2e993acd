// Temporary-path choice, same-file decision and completion of safe output runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/eac_output.h"
#include "platform/file_paths.h"

namespace {

class EacOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-eac-unit-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        old_cwd_ = cwd;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd_.c_str()), 0);
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    static void write_file(const std::string& path, const std::string& content) {
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        fwrite(content.data(), 1, content.size(), file);
        fclose(file);
    }
    static bool exists(const std::string& path) {
        struct stat info;
        return lstat(path.c_str(), &info) == 0;
    }
    std::string dir_;
    std::string old_cwd_;
};

TEST_F(EacOutputTest, TemporaryNameKeepsTheExtensionOfTheFileName) {
    ASSERT_EQ(mkdir("album.v2", 0755), 0);
    ASSERT_EQ(mkdir("x", 0755), 0);
    struct Case {
        const char* output;
        const char* expected;
    } cases[] = {
        {"01.flac", "01.qv-hdcd-eac.tmp.flac"},
        {"x/01.Track.WAV", "x/01.Track.qv-hdcd-eac.tmp.WAV"},
        {"noext", "noext.qv-hdcd-eac.tmp.tmp"},
        // A dotted directory must not lend its '.' to the split.
        {"album.v2/track", "album.v2/track.qv-hdcd-eac.tmp.tmp"},
        {"album.v2\\track", "album.v2\\track.qv-hdcd-eac.tmp.tmp"},
        {"x/.flac", "x/.qv-hdcd-eac.tmp.flac"},
    };
    for (const Case& c : cases) {
        char temp[EAC_TEMP_PATH_CAPACITY];
        ASSERT_TRUE(choose_eac_temp_path(c.output, temp, sizeof temp)) << c.output;
        EXPECT_EQ(std::string(temp), c.expected) << c.output;
        EXPECT_FALSE(exists(temp)) << "the choice must not create the file";
    }
}

TEST_F(EacOutputTest, TakenNamesAreSkippedUntilNoneIsLeft) {
    char temp[EAC_TEMP_PATH_CAPACITY];
    write_file("t.qv-hdcd-eac.tmp.wav", "");  // even an empty file is never reused
    ASSERT_TRUE(choose_eac_temp_path("t.wav", temp, sizeof temp));
    EXPECT_STREQ(temp, "t.qv-hdcd-eac-1.tmp.wav");

    for (unsigned n = 1; n < 1000; ++n) write_file("t.qv-hdcd-eac-" + std::to_string(n) + ".tmp.wav", "x");
    EXPECT_FALSE(choose_eac_temp_path("t.wav", temp, sizeof temp));
    // A different output beside them still finds its own name.
    EXPECT_TRUE(choose_eac_temp_path("u.wav", temp, sizeof temp));
}

TEST_F(EacOutputTest, TemporaryNameThatWouldBeCutShortFails) {
    char temp[64];
    const std::string fits(64 - sizeof ".qv-hdcd-eac.tmp.wav", 'a');
    EXPECT_TRUE(choose_eac_temp_path((fits + ".wav").c_str(), temp, sizeof temp));
    EXPECT_FALSE(choose_eac_temp_path((fits + "a.wav").c_str(), temp, sizeof temp));
    const std::string huge(5000, 'b');
    char big[EAC_TEMP_PATH_CAPACITY];
    EXPECT_FALSE(choose_eac_temp_path(huge.c_str(), big, sizeof big));
}

TEST_F(EacOutputTest, AbsolutePathsFoldDotsByName) {
    const std::string cwd = dir_;
    struct Case {
        std::string path;
        std::string expected;
    } cases[] = {
        {"/a/./b/../c", "/a/c"},
        {"/../x", "/x"},
        {"//a//b/", "/a/b"},
        {"/", "/"},
        {"f.wav", cwd + "/f.wav"},
        {"./sub/../f.wav", cwd + "/f.wav"},
        {"missing/dir/../f.wav", cwd + "/missing/f.wav"},
    };
    for (const Case& c : cases) {
        char result[1040];
        ASSERT_TRUE(platform_absolute_path(c.path.c_str(), result, sizeof result)) << c.path;
        EXPECT_EQ(std::string(result), c.expected) << c.path;
    }
    char small[4];
    EXPECT_FALSE(platform_absolute_path("/abcd", small, sizeof small));
}

TEST_F(EacOutputTest, SameFileByNameCaseOrIdentity) {
    write_file("in.wav", "data");
    write_file("other.wav", "data");
    ASSERT_EQ(mkdir("sub", 0755), 0);
    ASSERT_EQ(link("in.wav", "hard.wav"), 0);
    ASSERT_EQ(symlink("in.wav", "soft.wav"), 0);
    const std::string absolute = dir_ + "/in.wav";
    struct Case {
        std::string a;
        std::string b;
        bool same;
    } cases[] = {
        {"in.wav", "in.wav", true},
        {"in.wav", "./sub/../in.wav", true},
        {"in.wav", absolute, true},
        {"in.wav", "IN.WAV", true},  // letter case is folded, whatever the file system does
        {"in.wav", "hard.wav", true},
        {"soft.wav", "in.wav", true},
        {"missing.wav", "./missing.wav", true},
        {"in.wav", "other.wav", false},
        {"in.wav", "missing.wav", false},
        {"in.wav", "sub/in.wav", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(same_file(c.a.c_str(), c.b.c_str()), c.same) << c.a << " vs " << c.b;
    }
}

TEST_F(EacOutputTest, FileHasDataNeedsOneReadableByte) {
    write_file("empty.wav", "");
    write_file("one.wav", "x");
    ASSERT_EQ(mkdir("folder", 0755), 0);
    EXPECT_FALSE(file_has_data("missing.wav"));
    EXPECT_FALSE(file_has_data("empty.wav"));
    EXPECT_FALSE(file_has_data("folder"));
    EXPECT_TRUE(file_has_data("one.wav"));
}

TEST_F(EacOutputTest, CompletionChecksMovesOrReports) {
    struct Case {
        const char* name;
        const char* temp_content;  // nullptr: no temporary file
        bool output_is_directory;
        const char* stderr_text;
        int status;
        const char* output_after;  // expected content at the output path, nullptr: a directory
    } cases[] = {
        {"moved", "new", false, "", 0, "new"},
        {"empty temporary", "", false, "Error: EAC temporary output is missing or empty.\n", 1, "old"},
        {"missing temporary", nullptr, false, "Error: EAC temporary output is missing or empty.\n", 1, "old"},
        {"move refused", "new", true,
         "Error: could not move EAC temporary output into place (error 21: Is a directory).\n", 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.output_is_directory) {
            ASSERT_EQ(mkdir("out.wav", 0755), 0);
        } else {
            write_file("out.wav", "old");
        }
        EacOutput plan{};
        plan.check_output = true;
        plan.through_temp = true;
        ASSERT_TRUE(eac_output_choose_temp(plan, "out.wav"));
        if (c.temp_content != nullptr) write_file(plan.temp_path, c.temp_content);

        ::testing::internal::CaptureStderr();
        const int status = eac_output_complete(plan, "out.wav");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.stderr_text);
        EXPECT_EQ(status, c.status);
        EXPECT_FALSE(exists(plan.temp_path)) << "no temporary file may stay behind";
        if (c.output_after == nullptr) {
            struct stat info;
            ASSERT_EQ(stat("out.wav", &info), 0);
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            ASSERT_EQ(rmdir("out.wav"), 0);
        } else {
            FILE* file = fopen("out.wav", "rb");
            ASSERT_NE(file, nullptr);
            char buffer[16] = "";
            const size_t got = fread(buffer, 1, sizeof buffer, file);
            fclose(file);
            EXPECT_EQ(std::string(buffer, got), c.output_after);
            remove("out.wav");
        }
    }
}

TEST_F(EacOutputTest, RequestedOutputMustHoldData) {
    write_file("empty.wav", "");
    EacOutput plan{};
    plan.check_output = true;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(eac_output_complete(plan, "empty.wav"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: EAC requested output was not created or is empty.\n");
    EXPECT_TRUE(exists("empty.wav")) << "nothing is removed";

    plan.check_output = false;  // a plain run does not look at its output
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(eac_output_complete(plan, "empty.wav"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
