#!/usr/bin/env python3
"""Writes corpus/generated.txt: values around every boundary the conversions
have (rounding halves, the 16/32/64-bit ranges, the double range, date and
time carries) in every text form the platform reads. Deterministic; rerun
after changing it and commit the result."""

import itertools
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "generated.txt")

lines = []
seen = set()


def emit(line):
    if line not in seen:
        seen.add(line)
        lines.append(line)


def text(s):
    out = []
    for i, c in enumerate(s):
        edge = i == 0 or i == len(s) - 1
        if c == "\\":
            out.append("\\\\")
        elif c == " " and edge:
            out.append("\\s")
        elif 0x20 <= ord(c) < 0x7F:
            out.append(c)
        else:
            out.append("\\u%04X" % ord(c))
    emit("text " + "".join(out))


def real(kind, v):
    emit("%s %s" % (kind, float(v).hex() if math.isfinite(v) else repr(v)))


# Integers at the range edges of the kinds the platform knows.
EDGES = [0, 1, 2, 3, 5, 6, 7, 9, 10, 12, 99, 100, 419, 420, 999, 1000, 32767, 32768,
         65535, 65536, 2147483646, 2147483647, 2147483648, 4294967295, 4294967296,
         9007199254740992, 9223372036854775807, 9223372036854775808,
         18446744073709551615, 18446744073709551616, 79228162514264337593543950335]
SIGNED = sorted({s * e for e in EDGES for s in (1, -1)})

# Plain integers in text, and in every decoration the en-US reader may accept.
DECORATIONS = ["{}", " {} ", "\t{}", "{}\t", "+{}", "0{}", "00{}", "{}.", "{}.0", "{}.00",
               "{}e0", "{}E+0", "{}e-0", "${}", "{}$", "({})", "{}-", "{}+", "{} ",
               " {}", "{},", ",{}", "{}%", "{}d0", "{}D0", "{}e", "{} .", "( {} )"]
for n in SIGNED:
    for d in DECORATIONS:
        text(d.format(n))

# Thousands separators, well and badly placed.
for n in [1000, 12345, 1234567, 2147483647, 2147483648, 100]:
    s = str(n)
    grouped = "{:,}".format(n)
    for t in [grouped, "-" + grouped, "$" + grouped, "(" + grouped + ")", grouped + ".5",
              s[:1] + "," + s[1:], s[:-1] + "," + s[-1:], ",".join(s), s + ",", s + ",,0",
              grouped + ".25e1", "1,,000", "1, 000", "1 ,000", grouped.replace(",", ".")]:
        text(t)

# Halves and their neighbours around every integer that matters for rounding.
AROUND = [0, 1, 2, 3, 4, 5, 6, 41, 419, 420, 32767, 65535, 2147483646, 2147483647,
          9007199254740991]
for k in sorted({s * a for a in AROUND for s in (1, -1)}):
    for frac in ["5", "49", "499999999999999999999", "5000000000000000000001", "51",
                 "50", "500", "4", "6", "1", "9", "99999999999999999999", "0000001",
                 "5000000000000001", "49999999999999994"]:
        if k < 0:
            text("-%d.%s" % (-k, frac))
        else:
            text("%d.%s" % (k, frac))
    whole = abs(k)
    sign = "-" if k < 0 else ""
    text("%s%d5e-1" % (sign, whole))
    text("%s%d.5E0" % (sign, whole))
    text("%s0.%d5e%d" % (sign, whole, len(str(whole))))
    text("%s%d.5 " % (sign, whole))
    text("(%d.5)" % whole)
    text("$%s%d.5" % (sign, whole))

# Exponents: small and large, in all spellings.
for mantissa in ["1", "2.5", "-3.5", "12", "0.5", "1.5", "9.99999"]:
    for e in ["0", "1", "2", "9", "10", "-1", "-2", "+3", "15", "18", "19", "20", "30",
              "38", "39", "300", "308", "309", "-300", "-324", "-400", "400", "1000",
              "99999999999"]:
        for marker in ["e", "E", "d", "D"]:
            text(mantissa + marker + e)

# Hexadecimal and octal forms.
for digits in ["0", "1", "7", "F", "f", "7F", "FF", "7FFF", "8000", "FFFF", "10000", "1FFFF",
               "7FFFFFFF", "80000000", "FFFFFFFF", "100000000", "FFFFFFFFF",
               "7FFFFFFFFFFFFFFF", "8000000000000000", "FFFFFFFFFFFFFFFF",
               "10000000000000000", "00000000FF", "G", "", "-1", " 1", "1 ", "1.5",
               "1e2", "A0", "abcdef"]:
    for prefix in ["&H", "&h", " &H", "-&H", "(&H", "$&H", "&"]:
        t = prefix + digits
        if prefix.startswith("(") and digits:
            t += ")"
        text(t)
for digits in ["0", "7", "8", "17", "77", "377", "77777", "100000", "177777", "200000",
               "17777777777", "20000000000", "37777777777", "40000000000",
               "777777777777777777777", "1777777777777777777777", "2000000000000000000000",
               "9", "", "1.5"]:
    for prefix in ["&O", "&o", " &O", "-&O"]:
        text(prefix + digits)

# Blanks of every kind around a number, and characters that look like digits.
for blank in ["\t", "\n", "\r", "\v", "\f", "\u00a0", "\u3000", "\u2003", "\u0085",
              "\u200b", "\ufeff", "  ", " \t "]:
    text(blank + "12" + blank)
    text(blank + "12")
    text("12" + blank)
    text("1" + blank + "2")
for t in ["\uff11\uff12", "\u0661\u0662", "\u2212" + "12", "12\u00a0000", "1\u00b2",
          "\u00bd", "\uff0412", "\u00a512", "\u20ac12", "\u00a312", "12\u20ac",
          "\uff0d12", "\uff0b12"]:
    text(t)

# Texts that are no number, or only nearly one.
for t in ["", " ", "  ", "\t", ".", "-", "+", "-.", "+.", ".e1", "e1", "E", "$", "()", "(",
          ")", "&", "&H", "&O", "%", ",", ",,", "--1", "+-1", "-+1", "1..2", "1.2.3", "1 2",
          "1-2", "1+2", "1e1e1", "1e+-1", "1e 1", "1 e1", "- 1", "+ 1", "1 -", "$ 1",
          "1 $", "$-1", "-$1", "$(1)", "($1)", "(-1)", "-(1)", "(1", "1)", "((1))",
          "(1)-", "-1-", "1--", "$$1", "1$$", "abc", "12abc", "abc12", "True", "False",
          "true", "Yes", "No", "On", "Null", "Empty", "Nothing", "NaN", "Infinity", "inf",
          "-inf", "0x10", "0X1F", "1_000", "1'000", "1.000,5", "1,5", "0,5", ",5", ".5",
          "-.5", "+.5", "5.", "-5.", "0.", "-0", "+0", "-0.0", "0e0", "0e-999999",
          "1e-999999", "000", "00.00", "1:30", "12:00", "1/2", "1/2/2000", "#1/1/2000#",
          "2000-01-01", "1:30 PM", "12/31/1999 11:59:59 PM", "\u0000", "1\u0000",
          "1\u00002", "12\u0000\u0000"]:
    text(t)

# Doubles around the halves and the 32-bit range, exactly.
for k in list(range(-8, 9)) + [41, 419, 420, 2147483645, 2147483646, 2147483647,
                                -2147483647, -2147483648, -2147483649, 4294967295]:
    for base in [k, k + 0.5, k - 0.5]:
        real("r8", base)
        real("r8", math.nextafter(base, math.inf))
        real("r8", math.nextafter(base, -math.inf))
for v in [0.0, -0.0, 0.1, 0.2, 0.30000000000000004, 1 / 3, 2 / 3, 1e-5, 1e-4, 0.0001,
          123456789012345.0, 1234567890123456.0, 12345678901234567.0, 1e15, 1e16, 1e17,
          1e20, 1e21, 1e100, 1e300, 1.7976931348623157e308, 5e-324, 2.2250738585072014e-308,
          -1e20, 999999999999999.0, 999999999999999.4, 999999999999999.5, 0.000123456789,
          1.5e-10, 12.5, 100.25, -0.5, 3.14159265358979, 2.718281828459045, 1e-15,
          0.1 + 0.7, 9.5, 10.5, 2147483647.49999, 2147483647.50001, -2147483648.49999,
          -2147483648.50001, 4503599627370495.5, 4503599627370497.0, 1e19, 9.3e18,
          -9.3e18, 9.2233720368547758e18, 1.8446744073709552e19, 65535.5, 32767.5,
          -32768.5, math.inf, -math.inf, math.nan]:
    real("r8", v)

# Singles: the same boundaries where a float can hold them.
for v in [0.0, 0.5, 1.5, 2.5, 3.5, -0.5, -1.5, -2.5, 0.1, 1 / 3, 16777216.0, 16777217.0,
          2147483520.0, 2147483648.0, -2147483648.0, 1e10, 1e20, 1e-10, 3.4028234663852886e38,
          12.25, 100.5, 1234567.0, 12345678.0, 0.000001, 1e-45, 123.456]:
    emit("r4 %r" % struct.unpack("f", struct.pack("f", v))[0])

# Currency (raw, scaled by 10000): halves, range edges, every fraction digit.
for k in [0, 1, 2, 3, -1, -2, -3, 419, 2147483647, -2147483648, 2147483646]:
    for f in [0, 1, 4999, 5000, 5001, 9999, 2500, 7500, 1000, 100, 10]:
        emit("cy %d" % (k * 10000 + f))
        emit("cy %d" % (k * 10000 - f))
for raw in [9223372036854775807, -9223372036854775808, 21474836475000, 21474836474999,
            -21474836485000, -21474836485001, 123456789, -1, 1, 50000000]:
    emit("cy %d" % raw)

# Decimals: halves at many scales, and the 96-bit edge.
for scale in [0, 1, 2, 4, 9, 10, 18, 19, 20, 27, 28]:
    for k in [0, 1, 2, 3, 6, 2147483647, 2147483648, -2147483648, -2147483649]:
        for half in [0, 5, -5, 1, 4, 6]:
            m = abs(k) * 10 + half if k >= 0 else -(abs(k) * 10) - half
            value = m * 10 ** (scale - 1) if scale >= 1 else None
            if value is None or abs(value) >= 2 ** 96:
                continue
            emit("dec %d %d" % (value, scale))
for v, scale in [(2 ** 96 - 1, 0), (-(2 ** 96 - 1), 0), (2 ** 96 - 1, 28), (2 ** 96 - 1, 18),
                 (1, 28), (-1, 28), (5, 1), (15, 1), (25, 1), (0, 5), (100, 2), (123450, 3),
                 (12345678901234567890123456789, 10), (10 ** 28, 28), (10 ** 28, 19)]:
    if abs(v) < 2 ** 96:
        emit("dec %d %d" % (v, scale))
emit("dec -0 0")
emit("dec -0 3")

# Dates: the day and time carries, the era edges, negative serials.
for d in [0, 1, 2, -1, -2, 2, 36526, 36525, 44927, 2958465, -657434, 367, 60, 61, 59,
          -693593, 1000000, 2958466, -657435, 45000]:
    for t in [0, 0.5, 0.25, 0.75, 1 / 24, 1 / 1440, 1 / 86400, 0.5 / 86400,
              0.49 / 86400, 0.51 / 86400, 1 - 0.5 / 86400, 1 - 0.49 / 86400,
              1 - 0.51 / 86400, 1 - 1e-12, 0.999, 12.5 / 24, 11.99 / 24, 13 / 24]:
        real("date", d + t if d >= 0 else d - t)
for v in [0.5, -0.5, 1.5, 2.5, -1.5, -2.5, 1e10, -1e10, 3e6, 2147483647.5]:
    real("date", v)

# Every integer kind at its own edges and just beyond the 32-bit range.
INTEGER_KINDS = {
    "i1": (-128, 127), "i2": (-32768, 32767), "i4": (-2147483648, 2147483647),
    "i8": (-9223372036854775808, 9223372036854775807), "ui1": (0, 255), "ui2": (0, 65535),
    "ui4": (0, 4294967295), "ui8": (0, 18446744073709551615),
    "int": (-2147483648, 2147483647), "uint": (0, 4294967295),
}
for kind, (low, high) in INTEGER_KINDS.items():
    for v in [low, low + 1, -1, 0, 1, 6, 7, 420, high - 1, high, 2147483647, 2147483648,
              -2147483648, -2147483649, 32767, 65535]:
        if low <= v <= high:
            emit("%s %d" % (kind, v))

for line in ["empty", "null", "bool 1", "bool 0", "error 0", "error 10",
             "error -2147352572"]:
    emit(line)

with open(OUT, "w", encoding="utf-8", newline="\n") as f:
    f.write("# Generated by ../generate_corpus.py; do not edit by hand.\n")
    for line in lines:
        f.write(line + "\n")
print("%d cases written to %s" % (len(lines), OUT))
