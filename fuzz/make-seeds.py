#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/ from the cases the unit tests use.

The inputs follow each target's layout (FuzzedDataProvider: strings from the front, ended by a
backslash and one more byte; numbers and flags from the back)."""
import os
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def s(text):
    """A string as FuzzedDataProvider.ConsumeRandomLengthString reads it, with its end mark."""
    if isinstance(text, str):
        text = text.encode("latin-1")
    return text.replace(b"\\", b"\\\\") + b"\\;"


def raw(text):
    return text.encode("latin-1") if isinstance(text, str) else text


def write(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# ---- SNTP replies: 8 bytes of our transmit time, then the reply ------------------------------
NONCE = 0xA1B2C3D4E5F60718


def reply(length, first, stratum, echo, zero_transmit, ref):
    r = bytearray(64)
    r[0], r[1] = first, stratum
    r[12:16] = ref
    r[24:28] = struct.pack(">I", NONCE >> 32)
    r[28:32] = struct.pack(">I", (NONCE & 0xFFFFFFFF) ^ (0 if echo else 1))
    r[32:36] = struct.pack(">I", 3913056000)
    if not zero_transmit:
        r[40:44] = struct.pack(">I", 3913056001)
        r[44:48] = struct.pack(">I", 0xFFFFFFFF)
    return struct.pack(">Q", NONCE) + bytes(r[:length])


for name, args in {
    "good": (48, 0x24, 2, True, False, b"GPS\0"),
    "version_one": (48, 0x0C, 1, True, False, b"PPS\0"),
    "longer": (64, 0x24, 2, True, False, b"GPS\0"),
    "stratum15": (48, 0x24, 15, True, False, b"GPS\0"),
    "short47": (47, 0x24, 2, True, False, b"GPS\0"),
    "client_mode": (48, 0x23, 2, True, False, b"GPS\0"),
    "wrong_originate": (48, 0x24, 2, False, False, b"GPS\0"),
    "kiss_deny": (48, 0x24, 0, True, False, b"DENY"),
    "kiss_rate": (48, 0xE4, 0, True, False, b"RATE"),
    "leap_three": (48, 0xE4, 2, True, False, b"GPS\0"),
    "stratum16": (48, 0x24, 16, True, False, b"GPS\0"),
    "zero_transmit": (48, 0x24, 2, True, True, b"GPS\0"),
}.items():
    write("fuzz_sntp_reply", name, reply(*args))

# ---- Web time page: the last byte picks the part (0 lower, 1 markers, 2 split, 3 number, 4 page)
def page(d, t):
    return "<date>" + d + "</date><time>" + t + "</time>"


pages = [
    page("2015-06-01", "08:30:05"),
    "<DATE>2015-06-01</DATE><TIME>08:30:05</TIME>",
    page("2015-6-1", "8:30:5"),
    "<html><body>Now: <Date>2015-06-01</Date> at <TIME>08:30:05</time></body></html>",
    page("2015--06-01", "08:30:05"),
    page("2015-02-30", "08:30:05"),
    page("2015- 06 -01x", " 8:30:05"),
    page("2015/06/01", "08:30:05"),
    "</date>2015-06-01<date><time>08:30:05</time>",
    "<date>2015-06-01</date>",
    page("2015-06-01", "08:30"),
    page("1899-12-31", "08:30:05"),
    page("2015-06-01", "24:00:00"),
    page("3001-06-01", "08:30:05"),
    page("99999999999-06-01", "08:30:05"),
    "\xA3\xC4\xA3\xC1\xA3\xD4\xA3\xC5" + page("2015-06-01", "08:30:05"),
]
for i, p in enumerate(pages):
    write("fuzz_web_time_page", "page%02d" % i, raw(p) + b"\x04")
write("fuzz_web_time_page", "page_refused_clock", raw(pages[0]) + b"\x84")
for i, t in enumerate(["<DATE>ABC</DATE>", "\xA2\xF1\xA3\xC1\xA6\xA1\xA7\xA1\xA7\xC1\x81\x41Z", "\xA3"]):
    write("fuzz_web_time_page", "lower%02d" % i, raw(t) + b"\x00")
for i, (src, a, b) in enumerate([
    ("<date>2015-06-01</date>", "<date>", "</date>"),
    ("xabcdef", "abc", "bcd"),
    ("</date>x<date>", "<date>", "</date>"),
    ("\x81" "abXab123cd", "ab", "cd"),
    ("cdXXab12", "ab", "cdXXa"),
]):
    write("fuzz_web_time_page", "extract%02d" % i, s(a) + s(b) + raw(src) + b"\x01")
for i, (src, delim, minimum) in enumerate([
    ("2015-06-01", "-", 1), ("a--b", "-", 0), ("ab--cd-e", "-", 0), ("a::b::c", "::", 1), ("ab", "", 5),
]):
    # from the back: what=2, clearFirst=1 (byte 2), minLength, no earlier items
    write("fuzz_web_time_page", "split%02d" % i, s(delim) + raw(src) + bytes([0, minimum, 2, 2]))
for i, t in enumerate([" 06 ", "\t\n+7", "-5", "2147483648", "-99999999999", "0x1A", "- 5"]):
    write("fuzz_web_time_page", "number%02d" % i, raw(t) + b"\x03")

# ---- Private profile: section, key, value, other key, then the file; flags from the back -------
CONFIG = "[DaZirAdur]\r\nState=1\r\nIntervalMin=10\r\nLog=1\r\nFresh=0\r\n"
profile_cases = [
    ("DaZirAdur", "Last", "2024-03-05 09:07:03", "State", CONFIG, 0),
    ("daziradur", "STATE", "0", "Log", CONFIG, 0),
    ("DaZirAdur", "Log", "", "Fresh", CONFIG, 1),
    ("DaZirAdur", "Fresh", "\"1\"",
     "State", "  [ DaZirAdur ]  junk ; c\n  State \t=\t 1 \nIntervalMin = 1 0\n\tLog=\nFresh\t=\t\"1\"\t\n", 0),
    ("q", "d", "\" x \"", "a", "[q]\r\na=\"v\"\r\nb='v'\r\nc= \"v\" \r\nd=\" v \"\r\ne=\"\"\r\n", 0),
    ("s", "a", "9", "d", "[s]\na=1\na=2\n[S]\na=3\nb=4\n[t]\nc=5\n[s]\nd=6\n", 1),
    ("s", "flag", "on", "k", "[s]\r\nflag\r\nk=v\r\nempty=\r\n", 0),
    ("t", "a", "b", "k", "[s]\rk=1\r[t]\rm=2", 0),
    ("", "k2", "v", "k", "k=top\r\n\r\n[s]\r\nk=s\r\n", 0),
    ("\xD6\xD0\xCE\xC4", "\xD0\xC2", "\xCE\xC4", "\xC3\xFB", "[\xD6\xD0\xCE\xC4]\r\n\xC3\xFB=\xD6\xB5\r\n[\xB0\x5D]\r\nk=2\r\n", 0),
    ("s", "n", "1", "l", "[s]\r\nl=\xD6\r\nm=a\xD6\r\nn=\xD6 x\r\no=\x80\r\np=\xFF\r\n", 0),
    ("s", "k", "\xD6\xD0", "m", "\xEF\xBB\xBF[s]\r\nk=1\r\nm=\xE4\xB8\xAD\r\n", 0),
    ("s", "k", "2", "m", b"\xFF\xFE" + "[s]\r\nk=1\r\nm=x\r\n".encode("utf-16-le"), 0),
    ("s", "k", "2", "m", b"\xFE\xFF" + "[s]\r\nk=1\r\nm=x\r\n".encode("utf-16-be"), 1),
    ("s", "k", "v", "m", "[s]\r\nk=1\x00\r\nm=2\r\n", 0),
    ("s", "k\r\nx", "v", "m", "[s]\r\nm=2\r\n", 0),
]
for i, (sec, key, value, other, file, remove) in enumerate(profile_cases):
    # from the back: remove flag, "other section is the same" flag (1), buffer size 4
    data = s(sec) + s(key) + s(value) + s(other) + raw(file) + bytes([4, 1, remove])
    write("fuzz_private_profile", "case%02d" % i, data)

# ---- HTTP responses: the response, then chunk seed, transfer-ok flag, 1 MiB limit flag ---------
def response(status, headers, body):
    return ("HTTP/1.0 %d X\r\n%s\r\n" % (status, headers)).encode("latin-1") + raw(body)


def length(n):
    return "Content-Length: %d\r\n" % n


body45 = page("2015-06-01", "08:30:05")[:45]
http_cases = [
    response(200, length(45), body45),
    response(404, length(35), "<html><body>Not Found</body></html>"),
    response(200, "", "<date>2015-06-01</date>"),
    response(200, "Content-Length: abc\r\n", "abc"),
    response(200, length(0), ""),
    response(200, length(16), "0123456789\0after"),
    response(200, length(5), "HelloWorld"),
    response(200, length(20), "Hello"),
    response(200, length(4294967296 + 5), "12345"),
    response(200, length(1024 * 1024 + 1), "x"),
    b"HTTP/1.1 100 Continue\r\n\r\n" + response(200, "content-length:  5 \r\n", "Hello"),
]
for i, r in enumerate(http_cases):
    write("fuzz_http_response", "case%02d" % i, r + bytes([7, 1, 1]))
write("fuzz_http_response", "short_failed", response(200, length(20), "Hello") + bytes([3, 0, 1]))

print("seeds written under", ROOT, file=sys.stderr)
