// The Linux build's file-backed store of registry values.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "platform/Registry.h"

namespace {

namespace p = kelvra::platform;
const std::string kKey = "SYSTEM\\CurrentControlSet\\Services\\DaZirAdur\\Parameters";

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvra-store-XXXXXX";
        dir_ = mkdtemp(pattern);
        path_ = dir_ + "/registry";
        setenv("KELVRA_REGISTRY_FILE", path_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("KELVRA_REGISTRY_FILE");
        std::remove(path_.c_str());
        std::remove(dir_.c_str());
    }
    std::string dir_, path_;
};

TEST_F(RegistryStore, OnlyAValid32BitNumberReadsAsAValue) {
    struct Case {
        const char* stored;
        bool present;
        uint32_t value;
    } cases[] = {
        {"100", true, 100},       {"0", true, 0},     {"4294967295", true, 4294967295u},
        {"4294967296", false, 0}, {"-1", false, 0},   {"abc", false, 0},
        {"10abc", false, 0},      {"", false, 0},     {"sz:100", false, 0},
        {"0x10", false, 0},       {" 7 ", true, 7},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(p::ReplaceFileAtomically(path_, "[" + kKey + "]\nStart=" + c.stored + "\n"));
        uint32_t value = 12345;
        EXPECT_EQ(p::SystemRegistry().ReadDword(kKey, "Start", value), c.present) << c.stored;
        EXPECT_EQ(value, c.present ? c.value : 12345u) << c.stored;
    }
}

TEST_F(RegistryStore, WritesCreateReplaceAndKeepOtherValuesAndComments) {
    ASSERT_TRUE(p::ReplaceFileAtomically(path_, "# set by the operator\n[" + kKey + "]\nStart=100\nInc=5\n"));
    const std::string status = "SYSTEM\\CurrentControlSet\\Services\\DaZirAdur\\Status";
    ASSERT_TRUE(p::SystemRegistry().WriteDword(status, "Current", 110));
    ASSERT_TRUE(p::SystemRegistry().WriteDword(status, "current", 115));  // names ignore letter case
    uint32_t value = 0;
    EXPECT_TRUE(p::SystemRegistry().ReadDword(status, "Current", value));
    EXPECT_EQ(value, 115u);
    EXPECT_TRUE(p::SystemRegistry().ReadDword(kKey, "Inc", value));
    EXPECT_EQ(value, 5u);
    std::string bytes;
    ASSERT_TRUE(p::ReadFileBytes(path_, bytes, 1 << 16));
    EXPECT_EQ(bytes, "# set by the operator\n[" + kKey + "]\nStart=100\nInc=5\n\n[" + status + "]\ncurrent=115\n");
}

TEST_F(RegistryStore, AMissingFileOrKeyReadsAsAbsent) {
    uint32_t value = 7;
    EXPECT_FALSE(p::SystemRegistry().ReadDword(kKey, "Start", value));
    ASSERT_TRUE(p::SystemRegistry().WriteDword("Other", "Start", 1));
    EXPECT_FALSE(p::SystemRegistry().ReadDword(kKey, "Start", value));
    EXPECT_EQ(value, 7u);
}

}  // namespace
#endif
