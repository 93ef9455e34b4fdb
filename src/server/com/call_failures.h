// How the failed calls on one host become failures: the error object it may
// leave, and the failure it reported last.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <optional>

#include "host/failure.h"
#include "server/com/owners.h"

namespace clasp {

// Only a host that offers ISupportErrorInfo can have its failure described by
// an error object, so only its calls clear the thread's error object first;
// the host is asked once, as an object's interfaces never change. A host that
// fails the same way again gets back the failure it made last.
class CallFailures {
 public:
  // Before each call on `host`: an error object left by an earlier call must
  // not describe this one.
  void BeforeCall(IDispatch* host) {
    if (OffersErrorObjects(host)) SetErrorInfo(0, nullptr);
  }
  // The failure of a call on `host` through `called` that answered `result`.
  Failure Of(HRESULT result, ExcepInfo& excep_info, IDispatch* host, REFIID called);

 private:
  bool OffersErrorObjects(IDispatch* host) {
    if (!offers_error_objects_) {
      offers_error_objects_ = static_cast<bool>(QueryAs<ISupportErrorInfo>(host));
    }
    return *offers_error_objects_;
  }

  // Unknown until the first call.
  std::optional<bool> offers_error_objects_;
  std::optional<Failure> last_;
};

}  // namespace clasp
