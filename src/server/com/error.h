// Failures across the automation boundary: Failure <-> HRESULT, EXCEPINFO and
// IErrorInfo. Failures are translated here and nowhere else.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/failure.h"
#include "server/com/owners.h"
#include "server/registration_table.h"

namespace clasp {

// Source of every error our objects leave for their callers. The ProgID: what
// a host's error object names as the component that raised it, so a script's
// Err.Source reads the same whichever of our objects failed.
inline constexpr std::u16string_view kErrorSource = registration::kProgId;

// The control facility carries automation error numbers in its low word:
// number 13 travels as 0x800A000D.
inline constexpr HRESULT kControlFacilityBase =
    static_cast<HRESULT>(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0));
inline constexpr std::int32_t kLargestControlNumber = 0xFFFF;

// The HRESULT that carries `failure`'s number: control facility for the
// automation numbers, the number itself when it already is a failing HRESULT.
HRESULT HresultOf(const Failure& failure) noexcept;

// The automation error number a control-facility code carries; nothing for
// a code of any other facility.
std::optional<std::int32_t> ControlNumber(HRESULT result) noexcept;

// The failure number a failing HRESULT stands for: the low word of a
// control-facility code, the core's numbers for the dispatch errors, and the
// signed value of anything else.
std::int32_t NumberOf(HRESULT result) noexcept;

// The failure a member call on `host` through interface `called` reported:
// its HRESULT, the EXCEPINFO it filled (deferred fill-in included) and the
// error object it left, when the host says through ISupportErrorInfo that it
// leaves them for that interface. The caller clears the thread's error object
// before the call, or passes no host, and then no error object is read.
// `previous` is the failure the caller's host reported last: when this one
// reads the same, number and description, it is handed back again, so that a
// device failing the same way every time costs no new texts; otherwise this
// one takes its place.
Failure FailureOfCall(HRESULT result, ExcepInfo& excep_info, IUnknown* host, REFIID called,
                      std::optional<Failure>& previous);

// Raises a Failure when `result` failed; for platform calls with no error info.
void Check(HRESULT result);

// Inside a catch block of an export: the exception in flight as an HRESULT
// (E_OUTOFMEMORY when not even that can be built).
HRESULT ToHresult() noexcept;

// Inside a catch block of an interface method: the exception in flight as an
// HRESULT, with an error object carrying number and description for the caller.
HRESULT ToHresult(REFGUID interface_id, std::u16string_view source) noexcept;

// Inside a catch block of a dispatch method: the failure in flight for an
// automation caller, through `excep_info` (DISP_E_EXCEPTION) when it passed
// one, else as an error object and the failure's HRESULT. When even that cannot
// be built (out of memory), E_OUTOFMEMORY with `excep_info` left as it was.
HRESULT ToCaller(EXCEPINFO* excep_info, REFGUID interface_id,
                 std::u16string_view source) noexcept;

// Fills a caller's EXCEPINFO for `failure`: scode (never only wCode, which
// script hosts read as 0), description and source. All or nothing: when a
// text cannot be made, it raises and the EXCEPINFO is untouched.
void FillExcepInfo(const Failure& failure, std::u16string_view source, EXCEPINFO* excep_info);

// Runs `body`, which returns an HRESULT, with whatever it raises translated:
// the one place a COM method's exceptions stop.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return ToHresult();
  }
}

// Leaves an error object for `failure` on this thread.
void SetErrorObject(const Failure& failure, REFGUID interface_id, std::u16string_view source);

}  // namespace clasp
