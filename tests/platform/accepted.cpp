#include "accepted.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "host/text.h"

namespace clasp::platform_test {
namespace {

std::size_t SignificantDigits(std::u16string_view text) {
  const auto first = text.find_first_of(u"123456789");
  if (first == std::u16string_view::npos) return 0;
  return static_cast<std::size_t>(
      std::count_if(text.begin() + static_cast<std::ptrdiff_t>(first), text.end(),
                    [](char16_t c) { return c >= u'0' && c <= u'9'; }));
}

bool IsKind(const Case& c, std::initializer_list<Kind> kinds) {
  return std::find(kinds.begin(), kinds.end(), c.kind) != kinds.end();
}

bool Succeeded(const std::string& outcome) { return outcome.rfind("fails", 0) != 0; }

}  // namespace

const std::vector<Accepted>& AcceptedDisagreements() {
  static const std::vector<Accepted> accepted = {
      {"ToText",
       "A truth value reads True or False, as the host's own CStr gives it; "
       "VariantChangeType without VARIANT_ALPHABOOL gives -1 or 0.",
       [](const Case& c, const std::string&, const std::string&) { return c.kind == Kind::kBool; }},
      {"ToText",
       "Null as text fails as 'Invalid use of Null' (94), the number the host's "
       "runtime raises; VariantChangeType only knows a type mismatch.",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return c.kind == Kind::kNull && core == "fails 94" && platform == "fails 13";
       }},
      {"ToInt32",
       "An unsigned value above 2147483647 is outside the 32-bit range and "
       "overflows; Wine's VariantChangeType hands back its bits as a negative number.",
       [](const Case& c, const std::string& core, const std::string&) {
         return IsKind(c, {Kind::kUI4, Kind::kUInt}) && core == "fails 6";
       }},
      {"ToInt32",
       "NaN is no number a host can mean and overflows; Wine makes it 2147483647.",
       [](const Case& c, const std::string& core, const std::string&) {
         return c.kind == Kind::kR8 && std::isnan(c.real) && core == "fails 6";
       }},
      {"Compare",
       "NaN is no number a host can mean and overflows; Wine's VarCmp calls it greater.",
       [](const Case& c, const std::string& core, const std::string&) {
         return c.kind == Kind::kR8 && std::isnan(c.real) && core == "fails 6";
       }},
      {"ToInt32",
       "Text between 0 and 0.1 rounds to 0; Wine rounds it by its first significant "
       "digit as if that were the tenths (0.09 and 9e-2 become 1).",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return c.kind == Kind::kText && core == "0" && (platform == "1" || platform == "-1");
       }},
      {"Compare",
       "Signed one-byte values and unsigned 16-, 32- and 64-bit ones compare by their number; "
       "Wine's VarCmp refuses these kinds (type mismatch or bad variable type).",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return IsKind(c, {Kind::kI1, Kind::kUI2, Kind::kUI4, Kind::kUI8, Kind::kUInt}) &&
                Succeeded(core) && !Succeeded(platform);
       }},
      {"Compare",
       "Currency at the very ends of its range compares by its number; Wine's VarCmp "
       "overflows on its way there.",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return c.kind == Kind::kCurrency && Succeeded(core) && platform == "fails 6";
       }},
      {"Compare",
       "An &H / &O text compares as the 32-bit pattern ToInt32 reads (&HFFFFFFFF is -1) "
       "and overflows beyond 32 bits; Wine reads such patterns as doubles erratically: "
       "overflow above &H80000000, some wider ones as large numbers.",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return c.kind == Kind::kText && c.text.find(u'&') != std::u16string::npos &&
                (core == "fails 6" || platform == "fails 6");
       }},
      {"Compare",
       "Text in the subnormal range (below 2.2250738585072014E-308) is not zero; "
       "Wine reads it as 0.",
       [](const Case& c, const std::string& core, const std::string& platform) {
         if (c.kind != Kind::kText || platform != "=" || !Succeeded(core)) return false;
         const double v = std::strtod(Utf8(c.text).c_str(), nullptr);
         return v != 0 && std::fabs(v) < std::numeric_limits<double>::min();
       }},
      {"ToInt32",
       "A decimal that is exactly a half rounds to even (2.5 with 27 places is 2); "
       "64-bit Wine goes through an inexact double and rounds some of them up.",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return c.kind == Kind::kDecimal && Succeeded(core) && Succeeded(platform) &&
                std::abs(std::stoll(core) - std::stoll(platform)) == 1;
       },
       true},
      {"Compare",
       "Text with more digits than a double holds compares as the nearest double; "
       "64-bit Wine's reading can miss it by a unit in the last place, so that "
       "0.99999999999999999999 comes out above 1.",
       [](const Case& c, const std::string& core, const std::string& platform) {
         return c.kind == Kind::kText && Succeeded(core) && Succeeded(platform) &&
                SignificantDigits(c.text) > std::numeric_limits<double>::max_digits10;
       },
       true},
  };
  return accepted;
}

}  // namespace clasp::platform_test
