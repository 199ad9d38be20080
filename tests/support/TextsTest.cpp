#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/Encoding.h"
#include "support/Texts.h"

namespace {

using kelvra::texts::kAllTexts;

TEST(Texts, EachTextDecodesFromCodePage936ToItsCharacters) {
    for (const auto& entry : kAllTexts) {
        EXPECT_EQ(kelvra::platform::Cp936ToUtf8(entry.cp936), std::string(entry.utf8)) << entry.name;
        EXPECT_EQ(kelvra::platform::Utf8ToCp936(entry.utf8), std::string(entry.cp936)) << entry.name;
    }
}

TEST(Texts, SuccessTextsBeginWithThePrefixAndFailureTextsDoNot) {
    using namespace kelvra::texts;
    const std::string prefix = kSuccessPrefix;
    for (const char* success : {kViaServerOpen, kViaWebTime}) {
        EXPECT_EQ(std::string(success).rfind(prefix, 0), 0u) << success;
    }
    for (const char* failure : {kServerQueryFailed, kSetTimeFailed, kBadDate, kBadTime, kInvalidDateTime}) {
        EXPECT_NE(std::string(failure).rfind(prefix, 0), 0u) << failure;
    }
}

}  // namespace
