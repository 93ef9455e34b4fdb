// The platform's own conversions for the kinds the core leaves to it (dates,
// currency, decimals, arrays). A host written for the platform gets exactly
// the platform's answer for these.
#include "server/platform_convert.h"

#include <windows.h>
#include <oleauto.h>

#include "host/convert.h"
#include "host/failure.h"
#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/com/value.h"

namespace clasp {
namespace {

// Numbers and dates read and written as in the United States, whatever the
// machine's own locale, so that every terminal takes the same branch.
constexpr LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// The platform refuses a date outside the years 100 to 9999 as an invalid
// argument; the host's runtime raises its own failure for it, as the core does.
void CheckConversion(HRESULT result) {
  if (result == E_INVALIDARG) throw InvalidArgumentFailure();
  Check(result);
}

Variant ChangeType(const HostValue& value, VARTYPE type) {
  Variant source = ToVariant(value);
  Variant result;
  CheckConversion(VariantChangeTypeOf(result, source, kEnglishUs, 0, type));
  return result;
}

class OlePlatformConversions final : public PlatformConversions {
 public:
  std::int32_t ToInt32(const HostValue& value) const override {
    return V_I4(&ChangeType(value, VT_I4).Get());
  }

  std::u16string ToText(const HostValue& value) const override {
    return TextOf(V_BSTR(&ChangeType(value, VT_BSTR).Get()));
  }

  int CompareWith(const HostValue& value, std::int32_t constant) const override {
    Variant left = ToVariant(value);
    Variant right;
    VARIANT* raw_right = right.Put();
    V_VT(raw_right) = VT_I4;
    V_I4(raw_right) = constant;
    const HRESULT order = VarCmpOf(left, right, kEnglishUs, 0);
    switch (order) {
      case VARCMP_LT: return -1;
      case VARCMP_EQ: return 0;
      case VARCMP_GT: return 1;
      default:
        // None of these kinds is null, so anything else is a failure.
        CheckConversion(order);
        throw TypeMismatchFailure();
    }
  }
};

// Constant-initialised: ready before any instance is made, with no guard to take.
const OlePlatformConversions kOleConversions;

}  // namespace

const PlatformConversions& OleConversions() { return kOleConversions; }

}  // namespace clasp
