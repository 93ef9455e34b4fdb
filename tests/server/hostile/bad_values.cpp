#include "bad_values.h"

namespace clasp::hostile {
namespace {
// The failure path's trace line ends with the failure's number and description.
constexpr char kUnsupported[] = "458Variable uses an Automation type not supported in VBScript";
constexpr char kInvalid[] = "5Invalid procedure call or argument";
constexpr VARTYPE kGarbageByReference = 0x7FFF;
}  // namespace

void SelfReference(VARIANT& v, Pointee&) {
  V_VT(&v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v) = &v;
}

const std::vector<BadValue> kBadValues = {
    {"by-reference VARIANT, null pointer", NullReference<VT_VARIANT>, E_POINTER, kInvalid},
    {"by-reference BSTR, null pointer", NullReference<VT_BSTR>, E_POINTER, kInvalid},
    {"by-reference I4, null pointer", NullReference<VT_I4>, E_POINTER, kInvalid},
    {"by-reference VARIANT pointing at itself", SelfReference, DISP_E_BADVARTYPE, kUnsupported},
    {"by-reference VARIANT pointing at a by-reference I4",
     [](VARIANT& v, Pointee& p) {
       V_VT(&p.inner) = VT_BYREF | VT_I4;
       V_I4REF(&p.inner) = &p.number;
       V_VT(&v) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(&v) = &p.inner;
     },
     DISP_E_BADVARTYPE, kUnsupported},
    {"garbage kind with the by-reference bit",
     [](VARIANT& v, Pointee& p) {
       V_VT(&v) = kGarbageByReference;
       V_BYREF(&v) = &p.number;
     },
     DISP_E_BADVARTYPE, kUnsupported},
    {"bare VT_VARIANT", [](VARIANT& v, Pointee&) { V_VT(&v) = VT_VARIANT; }, DISP_E_BADVARTYPE,
     kUnsupported},
};

}  // namespace clasp::hostile
