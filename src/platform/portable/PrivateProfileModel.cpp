#include "platform/portable/PrivateProfileModel.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Cp936.h"
#include "platform/Encoding.h"

namespace kelvra::platform::profile {
namespace {

constexpr size_t npos = std::string::npos;

enum class FileEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// ---- Characters ---------------------------------------------------------------------------

// Blanks that a line, a name or a value is trimmed of ('\r' and '\n' end lines; ^Z is the old
// end-of-file mark some editors leave).
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }

bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length of the character at `i`: 2 for a complete two-byte character of code page 936.
size_t CharLength(const std::string& t, size_t i, size_t end, bool cp936) {
    if (cp936 && IsCp936LeadByte(static_cast<unsigned char>(t[i])) && i + 1 < end &&
        IsTrailByte(static_cast<unsigned char>(t[i + 1])))
        return 2;
    return 1;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Names match when they hold the same characters, ASCII letters compared without case.
bool NamesMatch(const std::string& t, size_t begin, size_t end, const std::string& name, bool cp936) {
    if (end - begin != name.size()) return false;
    for (size_t i = 0; i < name.size();) {
        const size_t n = CharLength(name, i, name.size(), cp936);
        if (n == 2) {
            if (t.compare(begin + i, 2, name, i, 2) != 0) return false;
        } else if (FoldAscii(t[begin + i]) != FoldAscii(name[i])) {
            return false;
        }
        i += n;
    }
    return true;
}

// ---- Texts of the arguments -----------------------------------------------------------------

std::string UpToZero(const std::string& s) {
    const size_t zero = s.find('\0');
    return zero == npos ? s : s.substr(0, zero);
}

// A lead byte at the very end has lost its second byte: it is no character and is dropped.
std::string DropCutCharacter(std::string s) {
    size_t i = 0;
    while (i < s.size()) {
        const size_t n = CharLength(s, i, s.size(), true);
        if (n == 1 && i + 1 == s.size() && IsCp936LeadByte(static_cast<unsigned char>(s[i]))) {
            s.pop_back();
            break;
        }
        i += n;
    }
    return s;
}

void TrimSpan(const std::string& t, size_t& begin, size_t& end) {
    while (begin < end && IsBlank(t[begin])) ++begin;
    while (end > begin && IsBlank(t[end - 1])) --end;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    TrimSpan(s, b, e);
    return s.substr(b, e - b);
}

std::string PrepareArgument(const std::string& s) { return Trim(DropCutCharacter(UpToZero(s))); }

// One pair of matching quotes around a value is not part of it.
std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// A lead byte takes the byte after it whatever it is; without a valid second byte the pair
// (or the lead byte alone at the end) is no character of code page 936 and reads as '?'.
std::string ReplaceBrokenCharacters(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size();) {
        const size_t n = CharLength(v, i, v.size(), true);
        if (n == 1 && IsCp936LeadByte(static_cast<unsigned char>(v[i]))) {
            out += '?';
            i += (i + 1 < v.size()) ? 2 : 1;
            continue;
        }
        out.append(v, i, n);
        i += n;
    }
    return out;
}

// At most bufferSize-1 bytes, and never the first byte of a character without its second.
std::string FitBuffer(const std::string& v, size_t bufferSize) {
    if (bufferSize == 0) return std::string();
    const size_t limit = bufferSize - 1;
    if (v.size() <= limit) return v;
    size_t i = 0;
    while (i < limit) {
        const size_t n = CharLength(v, i, v.size(), true);
        if (i + n > limit) break;
        i += n;
    }
    return v.substr(0, i);
}

// The default loses trailing spaces (never its first character) and one pair of quotes.
std::string ProcessDefault(const std::string& d) {
    std::string v = DropCutCharacter(UpToZero(d));
    while (v.size() > 1 && v.back() == ' ') v.pop_back();
    return Unquote(v);
}

// ---- Unicode files --------------------------------------------------------------------------

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate is kept as its own three-byte sequence so that the
// untouched parts of the file come back unchanged.
std::string Utf16ToUtf8(const std::string& bytes, size_t from, bool bigEndian) {
    std::string out;
    const size_t end = from + (bytes.size() - from) / 2 * 2;
    auto unit = [&](size_t i) -> uint32_t {
        const uint32_t a = static_cast<unsigned char>(bytes[i]);
        const uint32_t b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (size_t i = from; i < end; i += 2) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 2 < end) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u);
    }
    return out;
}

void AppendUtf16Unit(std::string& out, uint32_t u, bool bigEndian) {
    const char hi = char(u >> 8), lo = char(u & 0xFF);
    if (bigEndian) {
        out += hi;
        out += lo;
    } else {
        out += lo;
        out += hi;
    }
}

std::string Utf8ToUtf16(const std::string& text, bool bigEndian) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
        }
        if (n > 1) {
            if (i + n > text.size()) {
                n = 1;
            } else {
                cp = c & (0x7F >> n);
                for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUtf16Unit(out, 0xD800 + (cp >> 10), bigEndian);
            AppendUtf16Unit(out, 0xDC00 + (cp & 0x3FF), bigEndian);
        } else {
            AppendUtf16Unit(out, cp, bigEndian);
        }
        i += n;
    }
    return out;
}

// ---- The file as lines ----------------------------------------------------------------------

// The file's text, in the encoding the rules work on: code page 936 for a file without a byte
// order mark, UTF-8 otherwise (UTF-16 files are converted and converted back on writing).
struct ProfileText {
    FileEncoding encoding = FileEncoding::Ansi;
    std::string bom;
    std::string text;
    std::string oddTail;  // a last byte of a UTF-16 file that makes no whole unit

    bool cp936() const { return encoding == FileEncoding::Ansi; }

    static ProfileText Decode(const std::string& bytes) {
        ProfileText p;
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            p.encoding = FileEncoding::Utf8;
            p.bom = bytes.substr(0, 3);
            p.text = bytes.substr(3);
        } else if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
            const bool big = bytes[0] == '\xFE';
            p.encoding = big ? FileEncoding::Utf16Be : FileEncoding::Utf16Le;
            p.bom = bytes.substr(0, 2);
            p.text = Utf16ToUtf8(bytes, 2, big);
            if ((bytes.size() - 2) % 2 != 0) p.oddTail = bytes.substr(bytes.size() - 1);
        } else {
            p.text = bytes;
        }
        return p;
    }

    std::string Encode() const {
        switch (encoding) {
            case FileEncoding::Utf16Le: return bom + Utf8ToUtf16(text, false) + oddTail;
            case FileEncoding::Utf16Be: return bom + Utf8ToUtf16(text, true) + oddTail;
            default: return bom + text;
        }
    }

    // A code page 936 text of ours in the file's encoding, and back.
    std::string FromArgument(const std::string& cp936Text) const {
        return cp936() ? cp936Text : Cp936ToUtf8(cp936Text);
    }
    std::string ToResult(const std::string& fileText) const {
        return cp936() ? ReplaceBrokenCharacters(fileText) : Utf8ToCp936(fileText);
    }
};

enum class LineKind { Blank, Header, Entry };

struct Line {
    size_t begin = 0, end = 0, next = 0;  // content [begin, end), line end [end, next)
    LineKind kind = LineKind::Blank;
    size_t nameBegin = 0, nameEnd = 0;
    bool hasValue = false;
    size_t valueBegin = 0, valueEnd = 0;
};

void ClassifyLine(const std::string& t, Line& line, bool cp936) {
    size_t b = line.begin, e = line.end;
    TrimSpan(t, b, e);
    if (b == e) {
        line.kind = LineKind::Blank;
        return;
    }
    if (t[b] == '[') {
        size_t close = npos;
        for (size_t i = b + 1; i < e;) {
            const size_t n = CharLength(t, i, e, cp936);
            if (n == 1 && t[i] == ']') close = i;
            i += n;
        }
        if (close != npos) {
            line.kind = LineKind::Header;
            line.nameBegin = b + 1;
            line.nameEnd = close;
            TrimSpan(t, line.nameBegin, line.nameEnd);
            return;
        }
    }
    line.kind = LineKind::Entry;
    // Searched within the line only: a file of lines without '=' stays linear work.
    // '=' is never the second byte of a character.
    const char* found = static_cast<const char*>(std::memchr(t.data() + b, '=', e - b));
    const size_t eq = found ? size_t(found - t.data()) : npos;
    if (eq == npos) {
        line.nameBegin = b;
        line.nameEnd = e;
        line.hasValue = false;
        return;
    }
    line.nameBegin = b;
    line.nameEnd = eq;
    TrimSpan(t, line.nameBegin, line.nameEnd);
    line.hasValue = true;
    line.valueBegin = eq + 1;
    line.valueEnd = e;
    TrimSpan(t, line.valueBegin, line.valueEnd);
}

// "\r\n" ends a line, and so does a '\r' or '\n' of its own.
std::vector<Line> SplitLines(const std::string& t, bool cp936) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < t.size()) {
        Line line;
        line.begin = pos;
        const size_t stop = t.find_first_of("\r\n", pos);
        line.end = stop == npos ? t.size() : stop;
        line.next = line.end;
        if (line.next < t.size()) {
            line.next += (t[line.next] == '\r' && line.next + 1 < t.size() && t[line.next + 1] == '\n') ? 2 : 1;
        }
        ClassifyLine(t, line, cp936);
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

std::string FirstLineEnd(const std::string& t) {
    const size_t stop = t.find_first_of("\r\n");
    if (stop == npos) return "\r\n";
    if (t[stop] == '\r') return (stop + 1 < t.size() && t[stop + 1] == '\n') ? "\r\n" : "\r";
    return "\n";
}

// The lines of a section: [first, end), with the header at first-1 (none for the top section).
struct SectionSpan {
    bool found = false;
    size_t header = npos;
    size_t first = 0, end = 0;
};

SectionSpan FindSection(const std::vector<Line>& lines, const std::string& t, const std::string& name, bool cp936) {
    SectionSpan span;
    size_t i = 0;
    if (name.empty()) {
        // Entries before the first header make the section without a name.
        span.found = true;
    } else {
        for (; i < lines.size(); ++i) {
            if (lines[i].kind == LineKind::Header &&
                NamesMatch(t, lines[i].nameBegin, lines[i].nameEnd, name, cp936))
                break;
        }
        if (i == lines.size()) return span;
        span.found = true;
        span.header = i;
        ++i;
    }
    span.first = i;
    while (i < lines.size() && lines[i].kind != LineKind::Header) ++i;
    span.end = i;
    return span;
}

size_t FindEntry(const std::vector<Line>& lines, const SectionSpan& span, const std::string& t,
                 const std::string& name, bool cp936) {
    for (size_t i = span.first; i < span.end; ++i) {
        if (lines[i].kind == LineKind::Entry && NamesMatch(t, lines[i].nameBegin, lines[i].nameEnd, name, cp936))
            return i;
    }
    return npos;
}

// A written line must read back as what was meant: a header of exactly that section, an entry
// of exactly that key and value.
bool ReadsBackAsHeader(const std::string& lineText, const std::string& section) {
    Line line;
    line.end = lineText.size();
    ClassifyLine(lineText, line, true);
    return line.kind == LineKind::Header &&
           lineText.compare(line.nameBegin, line.nameEnd - line.nameBegin, section) == 0;
}

bool ReadsBackAsEntry(const std::string& lineText, const std::string& key, const std::string& value) {
    Line line;
    line.end = lineText.size();
    ClassifyLine(lineText, line, true);
    return line.kind == LineKind::Entry && line.hasValue &&
           lineText.compare(line.nameBegin, line.nameEnd - line.nameBegin, key) == 0 &&
           lineText.compare(line.valueBegin, line.valueEnd - line.valueBegin, value) == 0;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != npos; }

}  // namespace

std::string ReadValue(const std::string& fileBytes, const std::string& section, const std::string& key,
                      const std::string& defaultValue, size_t bufferSize) {
    std::string result;
    bool found = false;
    if (fileBytes.size() <= kMaxFileBytes) {
        const ProfileText file = ProfileText::Decode(fileBytes);
        const std::string sectionName = file.FromArgument(PrepareArgument(section));
        const std::string keyName = file.FromArgument(PrepareArgument(key));
        const std::vector<Line> lines = SplitLines(file.text, file.cp936());
        const SectionSpan span = FindSection(lines, file.text, sectionName, file.cp936());
        if (span.found) {
            const size_t entry = FindEntry(lines, span, file.text, keyName, file.cp936());
            if (entry != npos && lines[entry].hasValue) {
                const Line& line = lines[entry];
                result = file.ToResult(Unquote(file.text.substr(line.valueBegin, line.valueEnd - line.valueBegin)));
                found = true;
            }
        }
    }
    if (!found) result = ProcessDefault(defaultValue);
    return FitBuffer(result, bufferSize);
}

EditResult EditValue(const std::string& fileBytes, const std::string& section, const std::string& key,
                     const char* value, std::string& newBytes) {
    newBytes.clear();
    if (fileBytes.size() > kMaxFileBytes) return EditResult::Refused;
    ProfileText file = ProfileText::Decode(fileBytes);
    // A zero byte means this is no text file; rewriting any part of it could only damage it.
    if (file.text.find('\0') != npos) return EditResult::Refused;

    const std::string sectionArg = PrepareArgument(section);
    const std::string keyArg = PrepareArgument(key);
    const std::string valueArg = value ? PrepareArgument(value) : std::string();
    if (HasLineBreak(sectionArg) || HasLineBreak(keyArg) || HasLineBreak(valueArg)) return EditResult::Refused;
    if (value && !ReadsBackAsEntry(keyArg + "=" + valueArg, keyArg, valueArg)) return EditResult::Refused;
    if (!sectionArg.empty() && !ReadsBackAsHeader("[" + sectionArg + "]", sectionArg)) return EditResult::Refused;

    const bool cp936 = file.cp936();
    const std::string sectionName = file.FromArgument(sectionArg);
    const std::string keyName = file.FromArgument(keyArg);
    const std::string valueText = file.FromArgument(valueArg);
    std::string& t = file.text;
    const std::vector<Line> lines = SplitLines(t, cp936);
    const SectionSpan span = FindSection(lines, t, sectionName, cp936);
    const size_t entry = span.found ? FindEntry(lines, span, t, keyName, cp936) : npos;
    const std::string eol = FirstLineEnd(t);

    if (!value) {
        if (entry == npos) return EditResult::Unchanged;
        t.erase(lines[entry].begin, lines[entry].next - lines[entry].begin);
    } else if (entry != npos) {
        const Line& line = lines[entry];
        if (line.hasValue) {
            if (t.compare(line.valueBegin, line.valueEnd - line.valueBegin, valueText) == 0)
                return EditResult::Unchanged;
            t.replace(line.valueBegin, line.valueEnd - line.valueBegin, valueText);
        } else {
            t.insert(line.nameEnd, "=" + valueText);
        }
    } else if (span.found) {
        // After the section's last entry, so blank lines before the next header stay there.
        size_t after = span.header;
        for (size_t i = span.first; i < span.end; ++i) {
            if (lines[i].kind == LineKind::Entry) after = i;
        }
        std::string added = keyName + "=" + valueText + eol;
        size_t at = 0;
        if (after != npos) {
            at = lines[after].next;
            if (lines[after].next == lines[after].end) added = eol + added;
        }
        t.insert(at, added);
    } else {
        std::string added = "[" + sectionName + "]" + eol + keyName + "=" + valueText + eol;
        if (!t.empty() && t.back() != '\r' && t.back() != '\n') added = eol + added;
        t += added;
    }
    newBytes = file.Encode();
    // A file without a byte order mark must not get one: a key written first into an empty top
    // section, or the first line deleted, can leave the file starting with the bytes of a mark,
    // and the file would then read as Unicode, the written key lost and every other text garbled.
    if (ProfileText::Decode(newBytes).encoding != file.encoding) {
        newBytes.clear();
        return EditResult::Refused;
    }
    return EditResult::Changed;
}

}  // namespace kelvra::platform::profile
