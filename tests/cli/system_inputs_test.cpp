#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/configuration.h"

namespace orbenix::cli {
namespace {

namespace fs = std::filesystem;

class SystemInputsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orbenix-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::u16string Write(const std::u16string& name, const std::string& bytes) {
        const fs::path path = dir_ / fs::path(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path.u16string();
    }
    fs::path dir_;
};

TEST_F(SystemInputsTest, ReadsFilesByUnicodeNames) {
    const Inputs inputs = SystemInputs();
    const struct { std::u16string name; std::string bytes; } cases[] = {
        {u"key", "k3y\n"},
        {u"cl\u00E9 \u4E2D.txt", "h4sh\r\n"},
        {u"empty", ""},
        {u"binary", std::string("a\0b\xFF", 4)},
    };
    for (const auto& c : cases) {
        const auto read = inputs.read_input(Write(c.name, c.bytes));
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << std::get<ArgumentError>(read).message;
        EXPECT_EQ(std::get<std::string>(read), c.bytes);
    }
}

TEST_F(SystemInputsTest, FailuresNameThePathNeverTheContent) {
    const Inputs inputs = SystemInputs();
    const auto missing = inputs.read_input((dir_ / "missing").u16string());
    ASSERT_TRUE(std::holds_alternative<ArgumentError>(missing));
    EXPECT_NE(std::get<ArgumentError>(missing).message.find("missing"), std::string::npos);

    const auto big = inputs.read_input(Write(u"big", "s3cret" + std::string(70 * 1024, 'x')));
    ASSERT_TRUE(std::holds_alternative<ArgumentError>(big));
    const std::string& message = std::get<ArgumentError>(big).message;
    EXPECT_NE(message.find("64 KiB"), std::string::npos);
    EXPECT_EQ(message.find("s3cret"), std::string::npos);
}

TEST_F(SystemInputsTest, EnvironmentAbsentVariable) {
    EXPECT_FALSE(SystemInputs().environment("ORBENIX_SURELY_NOT_SET_ANYWHERE").has_value());
}

}  // namespace
}  // namespace orbenix::cli
