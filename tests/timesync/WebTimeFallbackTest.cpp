#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "support/Texts.h"
#include "timesync/WebTimeFallback.h"

namespace kelvra {
namespace {

class RecordingClockSetter final : public platform::IClockSetter {
public:
    bool accept = true;
    std::optional<SystemTime> set;
    bool SetLocalTime(const SystemTime& local) override {
        set = local;
        return accept;
    }
};

const std::string kServerPhaseText = std::string(texts::kServerQueryFailed) + "ntp.example.test";

struct PageCase {
    const char* what;
    std::string page;
    std::string result;             // expected result text
    std::optional<SystemTime> set;  // expected clock setting, none when the clock is untouched
};

SystemTime At(int y, int mo, int d, int h, int mi, int s) {
    SystemTime t;
    t.wYear = uint16_t(y);
    t.wMonth = uint16_t(mo);
    t.wDay = uint16_t(d);
    t.wHour = uint16_t(h);
    t.wMinute = uint16_t(mi);
    t.wSecond = uint16_t(s);
    return t;
}

std::string Page(const std::string& date, const std::string& time) {
    return "<date>" + date + "</date><time>" + time + "</time>";
}

const std::string kOk = texts::kViaWebTime;
std::string BadDate(const std::string& t) { return texts::kBadDate + t; }
std::string BadTime(const std::string& t) { return texts::kBadTime + t; }
std::string Invalid(const std::string& d, const std::string& t) { return texts::kInvalidDateTime + d + " " + t; }

std::vector<PageCase> PageCases() {
    const SystemTime example = At(2015, 6, 1, 8, 30, 5);
    return {
        {"the example page", Page("2015-06-01", "08:30:05"), kOk, example},
        {"markers in capitals", "<DATE>2015-06-01</DATE><TIME>08:30:05</TIME>", kOk, example},
        {"no leading zeros", Page("2015-6-1", "8:30:5"), kOk, example},
        {"text around and between the items",
         "<html><body>Now: <Date>2015-06-01</Date> at <TIME>08:30:05</time></body></html>", kOk, example},
        {"doubled delimiter drops the empty piece", Page("2015--06-01", "08:30:05"), kOk, example},
        {"fourth piece ignored", Page("2015-06-01-99", "08:30:05:77"), kOk, example},
        {"day beyond the month's end carries over", Page("2015-02-30", "08:30:05"), kOk, At(2015, 3, 2, 8, 30, 5)},
        {"blanks and trailing letters in pieces", Page("2015- 06 -01x", " 8:30:05"), kOk, example},
        {"first date pair counts", Page("2015-06-01", "08:30:05") + Page("2016-07-02", "09:31:06"), kOk, example},
        {"a status page with markers still counts", "404 Not Found " + Page("2015-06-01", "08:30:05"), kOk, example},
        {"wrong date delimiter", Page("2015/06/01", "08:30:05"), BadDate("2015/06/01"), std::nullopt},
        {"date taken from the lower-cased page", Page("ABC", "08:30:05"), BadDate("abc"), std::nullopt},
        {"no date markers", "<time>08:30:05</time>", BadDate(""), std::nullopt},
        {"end marker before start marker", "</date>2015-06-01<date><time>08:30:05</time>", BadDate(""),
         std::nullopt},
        {"usable date, no time markers", "<date>2015-06-01</date>", BadTime(""), std::nullopt},
        {"time with two pieces", Page("2015-06-01", "08:30"), BadTime("08:30"), std::nullopt},
        {"empty page", "", BadDate(""), std::nullopt},
        {"letters read as zero", Page("a-b-c", "08:30:05"), Invalid("a-b-c", "08:30:05"), std::nullopt},
        {"year below 1900", Page("1899-12-31", "08:30:05"), Invalid("1899-12-31", "08:30:05"), std::nullopt},
        {"month 13", Page("2015-13-01", "08:30:05"), Invalid("2015-13-01", "08:30:05"), std::nullopt},
        {"day 0", Page("2015-06-00", "08:30:05"), Invalid("2015-06-00", "08:30:05"), std::nullopt},
        {"day 32", Page("2015-06-32", "08:30:05"), Invalid("2015-06-32", "08:30:05"), std::nullopt},
        {"hour 24", Page("2015-06-01", "24:00:00"), Invalid("2015-06-01", "24:00:00"), std::nullopt},
        {"minute 60", Page("2015-06-01", "08:60:05"), Invalid("2015-06-01", "08:60:05"), std::nullopt},
        {"second 60", Page("2015-06-01", "08:30:60"), Invalid("2015-06-01", "08:30:60"), std::nullopt},
        {"negative second", Page("2015-06-01", "08:30:-1"), Invalid("2015-06-01", "08:30:-1"), std::nullopt},
        {"before 1970", Page("1960-06-01", "08:30:05"), Invalid("1960-06-01", "08:30:05"), std::nullopt},
        {"after 3000", Page("3001-06-01", "08:30:05"), Invalid("3001-06-01", "08:30:05"), std::nullopt},
        {"year beyond 32 bits", Page("99999999999-06-01", "08:30:05"), Invalid("99999999999-06-01", "08:30:05"),
         std::nullopt},
    };
}

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.what; }

class WebTimePage : public ::testing::TestWithParam<PageCase> {};

TEST_P(WebTimePage, GivesResultTextAndClockSetting) {
    const PageCase& c = GetParam();
    RecordingClockSetter clock;
    std::string askedUrl;
    WebTimeFallback fallback(
        [&](const std::string& url, std::string& page) {
            askedUrl = url;
            page = c.page;
            return 200;
        },
        clock, [] { return std::string("time.example.test:8080"); });
    std::string result = kServerPhaseText;
    fallback.Run(result);
    EXPECT_EQ(askedUrl, "http://time.example.test:8080/other/gettime.asp");
    EXPECT_EQ(result, c.result);
    ASSERT_EQ(clock.set.has_value(), c.set.has_value());
    if (c.set) {
        EXPECT_EQ(clock.set->wYear, c.set->wYear);
        EXPECT_EQ(clock.set->wMonth, c.set->wMonth);
        EXPECT_EQ(clock.set->wDay, c.set->wDay);
        EXPECT_EQ(clock.set->wHour, c.set->wHour);
        EXPECT_EQ(clock.set->wMinute, c.set->wMinute);
        EXPECT_EQ(clock.set->wSecond, c.set->wSecond);
        EXPECT_EQ(clock.set->wMilliseconds, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, WebTimePage, ::testing::ValuesIn(PageCases()));

TEST(WebTimeFallback, RefusedClockSettingLeavesTheServerPhaseText) {
    RecordingClockSetter clock;
    clock.accept = false;
    WebTimeFallback fallback(
        [](const std::string&, std::string& page) {
            page = Page("2015-06-01", "08:30:05");
            return 200;
        },
        clock, [] { return std::string("127.0.0.1"); });
    std::string result = texts::kSetTimeFailed;
    fallback.Run(result);
    EXPECT_EQ(result, texts::kSetTimeFailed);
    EXPECT_TRUE(clock.set.has_value());
}

TEST(WebTimeFallback, NoConfiguredHostFailsAtOnceWithoutAFetch) {
    RecordingClockSetter clock;
    bool fetched = false;
    WebTimeFallback fallback(
        [&](const std::string&, std::string&) {
            fetched = true;
            return 200;
        },
        clock, [] { return std::string(); });
    std::string result = kServerPhaseText;
    fallback.Run(result);
    EXPECT_FALSE(fetched);
    EXPECT_EQ(result, texts::kBadDate);
    EXPECT_FALSE(clock.set.has_value());
}

TEST(WebTimeFallback, HostIsReadAfreshForEveryRun) {
    RecordingClockSetter clock;
    std::vector<std::string> urls;
    int run = 0;
    WebTimeFallback fallback(
        [&](const std::string& url, std::string&) {
            urls.push_back(url);
            return -1;
        },
        clock, [&] { return ++run == 1 ? std::string("first.example.test") : std::string("10.0.0.2:81"); });
    std::string result;
    fallback.Run(result);
    fallback.Run(result);
    EXPECT_EQ(urls, (std::vector<std::string>{"http://first.example.test/other/gettime.asp",
                                              "http://10.0.0.2:81/other/gettime.asp"}));
}

class OneKeyConfig final : public IConfigStore {
public:
    std::string value;
    std::string ReadValue(const std::string& key, const std::string& section) override {
        return key == "WebTimeHost" && section == "DaZirAdur" ? value : std::string();
    }
    bool WriteValue(const std::string&, const std::string&, const std::string&) override { return false; }
};

TEST(WebTimeFallback, HostComesFromKeyWebTimeHostAtEveryCall) {
    OneKeyConfig config;
    const auto host = WebTimeHostFrom(config);
    EXPECT_EQ(host(), "");
    config.value = "time.example.test:8080";
    EXPECT_EQ(host(), "time.example.test:8080");
}

struct ExtractCase {
    std::string source, start, end, result;
};

TEST(ExtractBetween, FollowsTheMarkerRules) {
    const ExtractCase cases[] = {
        {"<date>2015-06-01</date>", "<date>", "</date>", "2015-06-01"},
        // End inside start: count |2 - 1 - 3| = 2 bytes from offset 4, right after "abc".
        {"xabcdef", "abc", "bcd", "de"},
        {"nothing here", "<date>", "</date>", ""},
        {"<date>x</date>", "", "</date>", ""},
        {"<date>x</date>", "<date>", "", ""},
        {"", "<date>", "</date>", ""},
        {"</date>x<date>", "<date>", "</date>", ""},
        {"<date><date>", "<date>", "<date>", ""},
        {"<date>2015", "<date>", "</date>", ""},
        {"ab1cd ab2cd", "ab", "cd", "1"},
        // "\x81" "a" is one two-byte character: the first "ab" is no match, the second is.
        {"\x81" "abXab123cd", "ab", "cd", "123"},
        // The count may run past the end of the source: cut short there.
        {"cdXXab12", "ab", "cdXXa", ""},
        {"abcdef", "bcd", "abcde", ""},
    };
    for (const ExtractCase& c : cases) {
        SCOPED_TRACE(c.source + " | " + c.start + " | " + c.end);
        EXPECT_EQ(ExtractBetween(c.source, c.start, c.end), c.result);
    }
}

struct SplitCase {
    std::vector<std::string> before;
    std::string source, delimiter;
    int32_t clearFirst;
    uint32_t minLength;
    int32_t count;
    std::vector<std::string> after;
};

TEST(SplitText, AppendsThePiecesLongEnough) {
    const SplitCase cases[] = {
        {{}, "2015-06-01", "-", 1, 1, 3, {"2015", "06", "01"}},
        {{}, "a--b", "-", 1, 1, 2, {"a", "b"}},
        {{}, "a--b", "-", 1, 0, 0, {}},  // 0 stands for 2
        {{}, "ab--cd-e", "-", 1, 0, 2, {"ab", "cd"}},
        {{}, "-a-", "-", 1, 1, 1, {"a"}},
        {{"x", "y"}, "1-2-3", "-", 0, 1, 3, {"x", "y", "1", "2", "3"}},
        {{"x", "y"}, "1-2-3", "-", 1, 1, 3, {"1", "2", "3"}},
        {{}, "a::b::c", "::", 1, 1, 3, {"a", "b", "c"}},
        {{}, "ab", "", 1, 5, 1, {"ab"}},  // no delimiter: the whole source, whatever the minimum
        {{}, "a", "", 1, 1, 0, {}},
        {{}, "", "-", 1, 1, 0, {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.source + " by '" + c.delimiter + "' min " + std::to_string(c.minLength));
        std::vector<std::string> list = c.before;
        EXPECT_EQ(SplitText(list, c.source, c.delimiter, c.clearFirst, c.minLength), c.count);
        EXPECT_EQ(list, c.after);
    }
}

TEST(ParseDecimal32, ReadsLikeStrtolBaseTenClampedTo32Bits) {
    const std::pair<std::string, int32_t> cases[] = {
        {"2015", 2015}, {" 06 ", 6}, {"01x", 1}, {"08", 8}, {"09", 9}, {"\t\n+7", 7}, {"-5", -5},
        {"abc", 0}, {"", 0}, {"- 5", 0}, {"0x1A", 0}, {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX},
        {"99999999999999999999", INT32_MAX}, {"-2147483648", INT32_MIN}, {"-99999999999", INT32_MIN},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseDecimal32(text), value);
    }
}

}  // namespace
}  // namespace kelvra
