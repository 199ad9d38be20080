// The private-profile rules on any file bytes: a write followed by reads agrees with what was
// written, other keys read as before, a repeated write changes nothing, and a read fitted into
// a small buffer is the start of the whole value.
#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "platform/portable/PrivateProfileModel.h"

namespace profile = kelvra::platform::profile;
using profile::EditResult;

namespace {

constexpr size_t kBig = 1 << 20;
constexpr char kBase[] = ";\r\n";

// The value of a key, or none when the key is absent: two reads with different defaults agree
// only on a stored value.
std::optional<std::string> Read(const std::string& file, const std::string& section, const std::string& key) {
    const std::string a = profile::ReadValue(file, section, key, "\x01", kBig);
    const std::string b = profile::ReadValue(file, section, key, "\x02", kBig);
    if (a != b) return std::nullopt;
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(24);
    const std::string key = in.ConsumeRandomLengthString(24);
    const bool remove = in.ConsumeBool();
    const std::string value = in.ConsumeRandomLengthString(48);
    const std::string otherSection = in.ConsumeBool() ? section : in.ConsumeRandomLengthString(24);
    const std::string otherKey = in.ConsumeRandomLengthString(24);
    const size_t smallBuffer = in.ConsumeIntegralInRange<size_t>(0, 64);
    const std::string file = in.ConsumeRemainingBytesAsString();

    // A small buffer holds the start of what a large one holds.
    const std::string whole = profile::ReadValue(file, otherSection, otherKey, value, kBig);
    const std::string fitted = profile::ReadValue(file, otherSection, otherKey, value, smallBuffer);
    FUZZ_CHECK(fitted.size() + 1 <= (smallBuffer == 0 ? 1 : smallBuffer));
    FUZZ_CHECK(whole.compare(0, fitted.size(), fitted) == 0);

    const char* written = remove ? nullptr : value.c_str();
    std::string newBytes = "stale";
    const EditResult result = profile::EditValue(file, section, key, written, newBytes);
    if (result != EditResult::Changed) FUZZ_CHECK(newBytes.empty());
    if (result == EditResult::Refused) return 0;
    const std::string& after = result == EditResult::Changed ? newBytes : file;

    // What the reader makes of the value: the same write into a file of one comment line (so
    // nothing lands at the very start), read back.
    std::string fresh;
    const EditResult onBase = profile::EditValue(kBase, section, key, written, fresh);
    if (!remove) {
        FUZZ_CHECK(onBase == EditResult::Changed);
        const std::optional<std::string> meant = Read(fresh, section, key);
        FUZZ_CHECK(meant.has_value());
        const std::optional<std::string> got = Read(after, section, key);
        FUZZ_CHECK(got.has_value());
        // A file with a byte order mark stores the value converted; compare where that is lossless.
        const bool plain = after.compare(0, 2, "\xFF\xFE") != 0 && after.compare(0, 2, "\xFE\xFF") != 0 &&
                           after.compare(0, 3, "\xEF\xBB\xBF") != 0;
        if (plain) FUZZ_CHECK(*got == *meant);
        // Writing the same again finds it stored.
        std::string again;
        FUZZ_CHECK(profile::EditValue(after, section, key, written, again) == EditResult::Unchanged);
    } else if (result == EditResult::Changed) {
        // A deleted key is gone, or an older duplicate of it shows again (one line goes per delete).
        FUZZ_CHECK(after.size() < file.size() || file.compare(0, 2, "\xFF\xFE") == 0 ||
                   file.compare(0, 2, "\xFE\xFF") == 0);
    }

    // Another key keeps its value where the reader tells the two apart.
    std::string probe;
    if (profile::EditValue(kBase, section, key, "1", probe) == EditResult::Changed &&
        !Read(probe, otherSection, otherKey).has_value()) {
        FUZZ_CHECK(Read(file, otherSection, otherKey) == Read(after, otherSection, otherKey));
    }
    return 0;
}
