#include "corpus.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "host/text.h"

namespace clasp::platform_test {
namespace {

constexpr int kHexBase = 16;
constexpr int kUnicodeEscapeDigits = 4;

const std::map<std::string_view, Kind>& KindsByName() {
  static const std::map<std::string_view, Kind> kinds = {
      {"empty", Kind::kEmpty}, {"null", Kind::kNull},     {"i1", Kind::kI1},
      {"i2", Kind::kI2},       {"i4", Kind::kI4},         {"i8", Kind::kI8},
      {"ui1", Kind::kUI1},     {"ui2", Kind::kUI2},       {"ui4", Kind::kUI4},
      {"ui8", Kind::kUI8},     {"int", Kind::kInt},       {"uint", Kind::kUInt},
      {"error", Kind::kError}, {"bool", Kind::kBool},     {"r4", Kind::kR4},
      {"r8", Kind::kR8},       {"date", Kind::kDate},     {"cy", Kind::kCurrency},
      {"dec", Kind::kDecimal}, {"text", Kind::kText},
  };
  return kinds;
}

std::u16string Unescape(std::string_view payload) {
  std::string utf8;
  std::u16string out;
  auto flush = [&] {
    out += Utf16(utf8);
    utf8.clear();
  };
  for (std::size_t i = 0; i < payload.size(); ++i) {
    if (payload[i] != '\\') {
      utf8.push_back(payload[i]);
      continue;
    }
    if (++i == payload.size()) throw std::invalid_argument("dangling backslash");
    switch (payload[i]) {
      case '\\': utf8.push_back('\\'); break;
      case 's': utf8.push_back(' '); break;
      case 't': utf8.push_back('\t'); break;
      case 'n': utf8.push_back('\n'); break;
      case 'r': utf8.push_back('\r'); break;
      case 'u': {
        if (payload.size() - i <= kUnicodeEscapeDigits) {
          throw std::invalid_argument("short \\u escape");
        }
        const std::string hex(payload.substr(i + 1, kUnicodeEscapeDigits));
        flush();
        out.push_back(static_cast<char16_t>(std::stoul(hex, nullptr, kHexBase)));
        i += kUnicodeEscapeDigits;
        break;
      }
      default:
        throw std::invalid_argument("unknown escape");
    }
  }
  flush();
  return out;
}

// Splits a decimal magnitude of up to 29 digits into the 96-bit high:low form.
void ParseDecimal(std::string_view payload, Decimal& out) {
  const auto space = payload.find(' ');
  if (space == std::string_view::npos) throw std::invalid_argument("dec needs a scale");
  std::string_view digits = payload.substr(0, space);
  out.scale = static_cast<std::uint8_t>(std::stoi(std::string(payload.substr(space + 1))));
  out.negative = !digits.empty() && digits.front() == '-';
  if (out.negative) digits.remove_prefix(1);
  if (digits.empty()) throw std::invalid_argument("dec needs digits");
  // Three 32-bit limbs, least significant first, multiplied up digit by digit.
  std::uint64_t limb[3] = {0, 0, 0};
  for (char c : digits) {
    if (c < '0' || c > '9') throw std::invalid_argument("dec digit");
    std::uint64_t carry = static_cast<std::uint64_t>(c - '0');
    for (auto& l : limb) {
      const std::uint64_t v = l * 10 + carry;
      l = v & 0xFFFFFFFFu;
      carry = v >> 32;
    }
    if (carry != 0) throw std::invalid_argument("dec beyond 96 bits");
  }
  out.high = static_cast<std::uint32_t>(limb[2]);
  out.low = (limb[1] << 32) | limb[0];
}

}  // namespace

bool ParseCase(std::string_view line, Case& out) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.empty() || line.front() == '#') return false;
  const auto space = line.find(' ');
  const std::string_view name = line.substr(0, space);
  const std::string_view payload =
      space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  const auto found = KindsByName().find(name);
  if (found == KindsByName().end()) throw std::invalid_argument("unknown kind");
  out = Case{};
  out.line = std::string(line);
  out.kind = found->second;
  switch (out.kind) {
    case Kind::kEmpty:
    case Kind::kNull:
      break;
    case Kind::kText:
      out.text = Unescape(payload);
      break;
    case Kind::kR4:
    case Kind::kR8:
    case Kind::kDate:
      out.real = std::strtod(std::string(payload).c_str(), nullptr);
      if (out.kind == Kind::kR4) out.real = static_cast<float>(out.real);
      break;
    case Kind::kDecimal:
      ParseDecimal(payload, out.decimal);
      break;
    case Kind::kUI8:
      out.integer = static_cast<std::int64_t>(std::stoull(std::string(payload)));
      break;
    default:
      out.integer = std::stoll(std::string(payload));
      break;
  }
  return true;
}

std::vector<Case> ReadCorpus(const std::string& directory) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<Case> cases;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      const std::string where = file.filename().string() + ":" + std::to_string(number);
      Case c;
      try {
        if (!ParseCase(line, c)) continue;
      } catch (const std::exception& e) {
        throw std::invalid_argument(where + ": " + e.what());
      }
      c.source = where;
      cases.push_back(std::move(c));
    }
  }
  return cases;
}

std::string TextLine(std::u16string_view text) {
  std::string line = "text ";
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool edge = i == 0 || i + 1 == text.size();
    if (c == u'\\') {
      line += "\\\\";
    } else if (c == u' ' && edge) {
      line += "\\s";
    } else if (c >= 0x20 && c < 0x7F) {
      line.push_back(static_cast<char>(c));
    } else {
      line += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) line.push_back(kHex[(c >> shift) & 0xF]);
    }
  }
  return line;
}

HostValue ToHostValue(const Case& c) {
  switch (c.kind) {
    case Kind::kEmpty: return HostValue::Empty();
    case Kind::kNull: return HostValue::Null();
    case Kind::kText: return HostValue::Text(c.text);
    case Kind::kBool: return HostValue::Bool(c.integer != 0);
    case Kind::kI2: return HostValue::I2(static_cast<std::int16_t>(c.integer));
    case Kind::kI4: return HostValue::I4(static_cast<std::int32_t>(c.integer));
    case Kind::kR8: return HostValue::R8(c.real);
    case Kind::kR4:
    case Kind::kDate: return HostValue::Real(c.kind, c.real);
    case Kind::kDecimal: return HostValue::Dec(c.decimal);
    default: return HostValue::Integer(c.kind, c.integer);
  }
}

}  // namespace clasp::platform_test
