// One table of INI files and operations, run through the private-profile functions of the
// platform (on Windows the system's own; on Linux our file layer) and through our text rules,
// requiring the same values read before and after every write.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/IniTestFiles.h"
#include "platform/PrivateProfile.h"
#include "platform/portable/PrivateProfileModel.h"

namespace {

namespace profile = kelvra::platform::profile;
using kelvra::platform::GetProfileString;
using kelvra::platform::WriteProfileString;

constexpr const char* kDefault = "DEF";
constexpr size_t kBuffer = 65535;

struct Probe {
    std::string section, key;
};

struct Write {
    std::string section, key;
    std::optional<std::string> value;  // none deletes the key
};

struct ProfileCase {
    const char* name;
    std::optional<std::string> file;  // none: there is no file
    std::vector<Probe> probes;
    std::vector<Write> writes;
};

Write Set(std::string s, std::string k, std::string v) { return {std::move(s), std::move(k), std::move(v)}; }
Write Delete(std::string s, std::string k) { return {std::move(s), std::move(k), std::nullopt}; }

std::string Utf16Le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string Utf16Be(const std::string& ascii) {
    std::string out = "\xFE\xFF";
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

const std::vector<ProfileCase>& Cases() {
    static const std::vector<ProfileCase> cases = {
        {"config_ini_as_written_by_the_configuration_program",
         std::string("[DaZirAdur]\r\nState=1\r\nIntervalMin=10\r\nLog=1\r\nFresh=0\r\n"),
         {{"DaZirAdur", "State"}, {"dazirADUR", "STATE"}, {" DaZirAdur\t", "\tState "}, {"DaZir Adur", "State"},
          {"DaZirAdur", "Interval Min"}, {"DaZirAdur", "IntervalMin"}, {"DaZirAdur", "Last"},
          {"Other", "State"}, {"DaZirAdur", "Fresh"}},
         {Set("DaZirAdur", "Last", "2024-03-05 09:07:03"), Set("DaZirAdur", "Fresh", "0"),
          Set("DaZirAdur", "State", "0"), Set("DaZirAdur", "Last", "2024-03-05 09:17:04"), Delete("DaZirAdur", "Log"),
          Delete("DaZirAdur", "Log"), Set("daziradur", "STATE", "1")}},
        {"spacing_around_names_and_values",
         std::string("  [ DaZirAdur ]  junk ; c\n  State \t=\t 1 \nIntervalMin = 1 0\n\tLog=\nFresh\t=\t\"1\"\t\n"),
         {{"DaZirAdur", "State"}, {"DaZirAdur", "IntervalMin"}, {"DaZirAdur", "Log"}, {"DaZirAdur", "Fresh"},
          {"DaZirAdur", "Last"}},
         {Set("DaZirAdur", "Log", "1"), Set("DaZirAdur", "IntervalMin", "20"), Set("DaZirAdur", "Fresh", "\"1\""),
          Set("DaZirAdur", "Fresh", "1"), Set("DaZirAdur", "Last", "x")}},
        {"quotes_around_values",
         std::string("[q]\r\na=\"v\"\r\nb='v'\r\nc= \"v\" \r\nd=\" v \"\r\ne=\"\"\r\nf=\"a\"b\"\r\ng=\"v'\r\n"
                     "h=\"v\r\ni=v\"\r\nj=\"\r\nk='\r\nl=\"a\" x\r\nm=x \"a\"\r\nn='v\"\r\n"),
         {{"q", "a"}, {"q", "b"}, {"q", "c"}, {"q", "d"}, {"q", "e"}, {"q", "f"}, {"q", "g"}, {"q", "h"},
          {"q", "i"}, {"q", "j"}, {"q", "k"}, {"q", "l"}, {"q", "m"}, {"q", "n"}, {"q", "\"a\""}},
         {Set("q", "a", "v"), Set("q", "b", "'w'"), Set("q", "d", "\" x \""), Set("q", "new", "\"quoted\"")}},
        {"duplicate_sections_and_keys",
         std::string("[s]\na=1\na=2\n[S]\na=3\nb=4\n[t]\nc=5\n[s]\nd=6\n"),
         {{"s", "a"}, {"s", "b"}, {"s", "d"}, {"t", "c"}, {"S", "A"}},
         {Set("s", "a", "9"), Delete("s", "a"), Delete("s", "a"), Delete("s", "a"), Set("s", "b", "7"),
          Set("s", "d", "8"), Set("T", "c", "0")}},
        {"comment_lines_are_entries_and_there_are_no_inline_comments",
         std::string("; leading comment\n# hash=1\n[s]\n;a=1\n; b = 2 \n#c=3\nd=4 ; not a comment\ne=v;c\n"
                     "f=v # c\n;[x]\ny=1\n;  indented comment\n"),
         {{"", "; leading comment"}, {"", "# hash"}, {"s", ";a"}, {"s", "; b"}, {"s", ";b"}, {"s", "#c"},
          {"s", "d"}, {"s", "e"}, {"s", "f"}, {"s", "y"}, {"x", "y"}, {"s", ";[x]"}, {"s", "z"}},
         {Set("s", "z", "1"), Set("s", ";a", "2"), Delete("s", "; b"), Set("", "top", "t")}},
        {"lines_without_equals_sign",
         std::string("[s]\r\nflag\r\nk=v\r\nempty=\r\n"),
         {{"s", "flag"}, {"s", "k"}, {"s", "empty"}},
         {Set("s", "flag", "on"), Set("s", "empty", ""), Set("s", "k", ""), Set("s", "blank", "")}},
        {"open_bracket_without_close_is_an_entry",
         std::string("[a]\nk=1\n[b\nm=2\n"),
         {{"a", "k"}, {"a", "m"}, {"b", "m"}, {"a", "[b"}, {"[b", "m"}},
         {Set("b", "m", "3"), Set("a", "n", "4"), Set("a", "m", "5")}},
        {"header_forms",
         std::string("[a]b]\nk=1\n[ ; semi ]\nk=3\n[#h]\nk=4\n  [t]  x=1\nk=5\n[\t u\t]\nk=6\n"),
         {{"a]b", "k"}, {"a", "k"}, {"; semi", "k"}, {"#h", "k"}, {"t", "k"}, {"t", "x"}, {"u", "k"}},
         {Set("a]b", "k", "10"), Set("t", "n", "11"), Set("s]x", "k", "12"), Set("u", "k", "13")}},
        {"section_with_empty_name_is_not_reached",
         std::string("k=top\n[]\nk=empty\nm=2\n[s]\nk=s\n"),
         {{"", "k"}, {"", "m"}, {"s", "k"}},
         {}},
        {"entries_before_the_first_header",
         std::string("k=top\r\n\r\n[s]\r\nk=s\r\n"),
         {{"", "k"}, {"", "k2"}, {"s", "k"}},
         {Set("", "k2", "v"), Set("s", "k", "v2"), Set("", "k", "t2")}},
        {"lf_line_ends", std::string("[s]\nk=1\n[t]\nm=2\n"), {{"s", "k"}, {"t", "m"}, {"s", "n"}, {"u", "a"}},
         {Set("s", "n", "5"), Set("t", "m", "3"), Set("u", "a", "b")}},
        {"cr_line_ends", std::string("[s]\rk=1\r[t]\rm=2"), {{"s", "k"}, {"t", "m"}, {"s", "n"}, {"u", "a"}},
         {Set("s", "n", "5"), Set("t", "m", "3"), Set("u", "a", "b"), Set("t", "z", "9")}},
        {"lf_cr_and_mixed_line_ends", std::string("[s]\n\rk=1\n\r[t]\r\nm=2\nn=3\ro=4"),
         {{"s", "k"}, {"t", "m"}, {"t", "n"}, {"t", "o"}},
         {Set("s", "k", "2"), Set("t", "p", "5"), Set("v", "a", "b")}},
        {"missing_final_line_end", std::string("[s]\r\nk=1"), {{"s", "k"}, {"s", "k2"}, {"t", "a"}},
         {Set("s", "k2", "v"), Set("t", "a", "b")}},
        {"header_as_last_line_without_line_end", std::string("[s]\r\nk=1\r\n[t]"), {{"s", "k"}, {"t", "a"}},
         {Set("t", "a", "b"), Set("u", "c", "d")}},
        {"blank_lines_inside_and_at_the_end",
         std::string("\r\n[s]\r\nk=1\r\n\r\n \t \r\n[t]\r\nm=2\r\n\r\n\r\n"),
         {{"s", "k"}, {"s", "n"}, {"t", "m"}, {"u", "x"}},
         {Set("s", "n", "2"), Set("u", "x", "1"), Set("t", "m2", "3")}},
        {"equals_signs_in_values_and_empty_key_name",
         std::string("[s]\nk=a=b\n=v\n = w\nk2 = = x\n"),
         {{"s", "k"}, {"s", ""}, {"s", "k2"}, {"s", "a"}},
         {Set("s", "", "y"), Set("s", "k", "c=d")}},
        {"blank_characters",
         std::string("[s]\r\n\vk\v=\f1\f\r\nm=\x1a""2\x1a\r\n\x1a[t]\r\nn=3\r\n"),
         {{"s", "k"}, {"s", "m"}, {"t", "n"}, {"s", "n"}},
         {}},
        {"letter_case_only_for_ascii_letters",
         std::string("[\xA3\xE1]\r\nk=fullwidth\r\n[\x81\x41]\r\nk=trail A\r\n[\xA6\xC1]\r\nk=greek\r\n"),
         {{"\xA3\xC1", "k"}, {"\xA3\xE1", "k"}, {"\x81\x61", "k"}, {"\x81\x41", "k"}, {"\xA6\xE1", "k"},
          {"\xA6\xC1", "k"}},
         {Set("\x81\x61", "k", "x"), Set("\x81\x41", "K", "y")}},
        {"code_page_936_names_and_values",
         std::string("[\xD6\xD0\xCE\xC4]\r\n\xC3\xFB=\xD6\xB5\r\n[\xB0\x5D]\r\nk=2\r\n[x\x81\x5D]\r\nk=3\r\n"
                     "[\xB0\x5D]x]\r\nk=4\r\nv=\"\xD6\xD0\"\r\n"),
         {{"\xD6\xD0\xCE\xC4", "\xC3\xFB"}, {"\xB0\x5D", "k"}, {"x\x81\x5D", "k"}, {"x", "k"},
          {"\xB0\x5D]x", "k"}, {"\xB0\x5D]x", "v"}, {"\xD6\xD0\xCE\xC4", "\xD0\xC2"}},
         {Set("\xD6\xD0\xCE\xC4", "\xC3\xFB", "\xD0\xC2\xD6\xB5"), Set("\xD6\xD0\xCE\xC4", "\xD0\xC2", "\xCE\xC4"),
          Set("\xB9\xFA", "\xB5\xD8", "\xB1\xB1\xBE\xA9")}},
        {"broken_code_page_936_value", std::string("[s]\r\nl=\xD6\r\nm=a\xD6\r\nn=\xD6 x\r\no=\x80\r\np=\xFF\r\n"),
         {{"s", "l"}, {"s", "m"}, {"s", "n"}, {"s", "o"}, {"s", "p"}},
         {Set("s", "n", "1")}},
        {"ideographic_space_is_no_blank", std::string("[s]\r\n\xA1\xA1k\xA1\xA1=\xA1\xA1v\xA1\xA1\r\n"),
         {{"s", "k"}, {"s", "\xA1\xA1k\xA1\xA1"}},
         {Set("s", "\xA1\xA1k\xA1\xA1", "w")}},
        {"utf8_byte_order_mark", std::string("\xEF\xBB\xBF[DaZirAdur]\r\nState=1\r\nC=\xE4\xB8\xAD\r\n"),
         {{"DaZirAdur", "State"}, {"DaZirAdur", "C"}, {"DaZirAdur", "Last"}},
         {Set("DaZirAdur", "Last", "2024-03-05 09:07:03"), Set("DaZirAdur", "C", "\xCE\xC4"),
          Set("\xD6\xD0", "\xCE\xC4", "\xD6\xB5")}},
        {"utf8_byte_order_mark_with_chinese_names", std::string("\xEF\xBB\xBF[\xE4\xB8\xAD]\r\nk=\xE6\x96\x87\r\n"),
         {{"\xD6\xD0", "k"}, {"\xD6\xD0", "x"}},
         {Set("\xD6\xD0", "x", "\xCE\xC4"), Set("\xD6\xD0", "k", "\xD6\xD0")}},
        {"only_a_byte_order_mark", std::string("\xEF\xBB\xBF"), {{"s", "k"}},
         {Set("s", "k", "v"), Set("s", "k2", "v2")}},
        {"byte_order_mark_not_at_the_start", std::string("[s]\r\n\xEF\xBB\xBFk=1\r\n"),
         {{"s", "k"}, {"s", "\xEF\xBB\xBFk"}},
         {Set("s", "k", "2")}},
        {"utf16le_file", Utf16Le("[DaZirAdur]\r\nState=1\r\n"), {{"DaZirAdur", "State"}, {"DaZirAdur", "Last"}},
         {Set("DaZirAdur", "Last", "2024-03-05 09:07:03"), Set("DaZirAdur", "State", "0")}},
        {"utf16be_file", Utf16Be("[s]\nk=1\n"), {{"s", "k"}, {"t", "m"}}, {Set("t", "m", "2"), Set("s", "k", "3")}},
        {"empty_file", std::string(""), {{"DaZirAdur", "Last"}},
         {Delete("DaZirAdur", "Last"), Set("DaZirAdur", "Last", "2024-03-05 09:07:03"), Set("DaZirAdur", "Fresh", "0"),
          Set("Other", "k", "v")}},
        {"missing_file", std::nullopt, {{"DaZirAdur", "Last"}, {"DaZirAdur", "Fresh"}},
         {Delete("DaZirAdur", "Last"), Set("DaZirAdur", "Last", "2024-03-05 09:07:03"), Set("DaZirAdur", "Fresh", "0"),
          Set("Other", "k", "v")}},
        {"written_arguments_with_outer_blanks", std::string("[s]\r\nx=1\r\n"),
         {{"t", "k"}, {"s", "k"}, {"s", "x"}},
         {Set(" t ", "  k  ", " v "), Set("s", "\tk\t", "\tv\t"), Set("\ts ", " x", "  2  "), Set("t", "k", "w")}},
        {"replacing_differs_by_case_and_quotes", std::string("[s]\r\nk=v\r\nq=v\r\n"), {{"s", "k"}, {"s", "q"}},
         {Set("s", "k", "V"), Set("s", "q", "\"v\""), Set("s", "K", "V")}},
        {"names_keep_their_spelling", std::string("[DAZIRADUR]\r\nLAST=old\r\n"), {{"DaZirAdur", "Last"}},
         {Set("DaZirAdur", "Last", "new"), Set("dazirADUR", "fresh", "0")}},
        {"long_value", std::string("[s]\r\nk=") + std::string(70000, 'a') + "\r\n", {{"s", "k"}},
         {Set("s", "k", std::string(30000, 'b'))}},
    };
    return cases;
}

std::string Describe(const Probe& p) { return "[" + p.section + "] " + p.key; }
std::string Describe(const Write& w) {
    return (w.value ? "set [" : "delete [") + w.section + "] " + w.key + (w.value ? "=" + *w.value : "");
}

// Splits into lines that keep their line ends.
std::vector<std::string> LinesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t stop = bytes.find_first_of("\r\n", pos);
        if (stop == std::string::npos) {
            stop = bytes.size();
        } else {
            stop += (bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n') ? 2 : 1;
        }
        lines.push_back(bytes.substr(pos, stop - pos));
        pos = stop;
    }
    return lines;
}

// Our writer changes the file in one place: at most one old line goes or changes (a line that
// gains its missing line end counts as changed), and at most three lines come in its place.
void ExpectOneLocalChange(const std::string& before, const std::string& after, const std::string& what) {
    const std::vector<std::string> a = LinesOf(before), b = LinesOf(after);
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    EXPECT_LE(a.size() - head - tail, 1u) << what << "\nbefore:\n" << before << "\nafter:\n" << after;
    EXPECT_LE(b.size() - head - tail, 3u) << what << "\nbefore:\n" << before << "\nafter:\n" << after;
}

class ProfileRun {
public:
    explicit ProfileRun(const ProfileCase& c) : case_(c), dir_(kelvra::test::MakeIniTestDir()) {
        path_ = dir_ + "profile.ini";
        exists_ = c.file.has_value();
        if (exists_) {
            bytes_ = *c.file;
            kelvra::test::WriteIniFile(path_, bytes_);
        }
    }
    ~ProfileRun() { kelvra::test::RemoveIniTestDir(dir_); }

    void CompareReads(const std::string& stage) {
        for (const Probe& p : case_.probes) {
            const std::string ours = profile::ReadValue(bytes_, p.section, p.key, kDefault, kBuffer);
            const std::string platform = GetProfileString(p.section, p.key, kDefault, kBuffer, path_);
            EXPECT_EQ(platform, ours) << case_.name << ", " << stage << ", read " << Describe(p);
        }
    }

    void Apply(const Write& w) {
        const std::string what = std::string(case_.name) + ", " + Describe(w);
        std::string next;
        const char* value = w.value ? w.value->c_str() : nullptr;
        const profile::EditResult result = profile::EditValue(bytes_, w.section, w.key, value, next);
        ASSERT_NE(result, profile::EditResult::Refused) << what;
        EXPECT_TRUE(WriteProfileString(w.section, w.key, value, path_)) << what;
        if (result == profile::EditResult::Changed) {
            ExpectOneLocalChange(bytes_, next, what);
            bytes_ = next;
            exists_ = true;
        }
        if (w.value) {
            // The value reads back as it would from a file that held nothing else.
            const std::string alone = (w.section.empty() ? "" : "[" + w.section + "]\r\n") + w.key + "=" + *w.value;
            EXPECT_EQ(profile::ReadValue(bytes_, w.section, w.key, kDefault, kBuffer),
                      profile::ReadValue(alone, w.section, w.key, kDefault, kBuffer))
                << what;
        }
#ifndef _WIN32
        // Our file layer wrote exactly what the rules made of the file, and nothing when
        // there was nothing to do.
        std::string onDisk;
        ASSERT_EQ(kelvra::test::ReadIniFile(path_, onDisk), exists_) << what;
        if (exists_) {
            EXPECT_EQ(onDisk, bytes_) << what;
        }
#endif
        CompareReads("after " + Describe(w));
    }

private:
    const ProfileCase& case_;
    std::string dir_, path_, bytes_;
    bool exists_ = false;
};

TEST(PrivateProfileDifferential, ReadsAgreeBeforeAndAfterEveryWrite) {
    for (const ProfileCase& c : Cases()) {
        ProfileRun run(c);
        run.CompareReads("before any write");
        for (const Write& w : c.writes) run.Apply(w);
    }
}

TEST(PrivateProfileDifferential, DefaultsAndBufferSizesAgree) {
    struct Read {
        std::string section, key, defaultValue;
        size_t size;
    };
    const std::string file = std::string("[s]\r\nk=abcdefgh\r\nc=\xD6\xD0\xCE\xC4\r\nq=\"abcdef\"\r\nm=a\xD6\xD0\r\nbig=") +
                             std::string(70000, 'a') + "\r\n";
    const std::vector<Read> reads = {
        {"s", "k", "", 5},          {"s", "k", "", 9},         {"s", "k", "", 2},         {"s", "k", "", 1},
        {"s", "k", "", 0},          {"s", "c", "", 4},         {"s", "c", "", 2},         {"s", "c", "", 5},
        {"s", "m", "", 3},          {"s", "q", "", 4},         {"s", "big", "", 65535},   {"s", "big", "", 70001},
        {"s", "none", "   ", 99},   {"s", "none", "  d  ", 99}, {"s", "none", "\td\t", 99}, {"s", "none", "\"d\"", 99},
        {"s", "none", "'d'", 99},   {"s", "none", "\"d\"  ", 99}, {"s", "none", " \"d\" ", 99},
        {"s", "none", "abcdef", 4}, {"s", "none", "\xD6\xD0\xCE\xC4", 4}, {"x", "k", "", 99}, {"x", "k", "d", 99},
    };
    const std::string dir = kelvra::test::MakeIniTestDir();
    const std::string path = dir + "profile.ini";
    kelvra::test::WriteIniFile(path, file);
    for (const Read& r : reads) {
        EXPECT_EQ(GetProfileString(r.section, r.key, r.defaultValue, r.size, path),
                  profile::ReadValue(file, r.section, r.key, r.defaultValue, r.size))
            << "[" << r.section << "] " << r.key << " default '" << r.defaultValue << "' size " << r.size;
    }
    // A missing file gives the default and is not created.
    const std::string missing = dir + "missing.ini";
    EXPECT_EQ(GetProfileString("s", "k", "d", 99, missing), "d");
    EXPECT_EQ(profile::ReadValue("", "s", "k", "d", 99), "d");
    EXPECT_FALSE(kelvra::test::IniFileExists(missing));
    kelvra::test::RemoveIniTestDir(dir);
}

}  // namespace
