// Values no automation value can be: a hostile caller puts them into the
// component, a misbehaving host answers them, and the IDispatchEx offered for
// the core's own hosts is passed some of them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace clasp::hostile {

// Room for what a malformed VARIANT points to, kept until the component has
// read it.
struct Pointee {
  VARIANT inner;
  LONG number;
};

// A VARIANT no automation value can be, put by a caller or answered by a host.
struct BadValue {
  const char* name;
  void (*make)(VARIANT& value, Pointee& pointee);
  HRESULT refused;     // what a caller putting it is answered
  const char* traced;  // how the failure path's trace line ends when a host answers it
};

// The values both callers and hosts try.
extern const std::vector<BadValue> kBadValues;
// Two of them, for attacks that pass one alone: a by-reference `kKind` whose
// pointer is null, and a by-reference VARIANT pointing at itself.
template <VARTYPE kKind>
void NullReference(VARIANT& value, Pointee&) {
  V_VT(&value) = VT_BYREF | kKind;
  V_BYREF(&value) = nullptr;
}
void SelfReference(VARIANT& value, Pointee& pointee);

}  // namespace clasp::hostile
