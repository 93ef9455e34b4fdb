#include "server/com/call_failures.h"

#include "server/com/error.h"

namespace clasp {

Failure CallFailures::Of(HRESULT result, ExcepInfo& excep_info, IDispatch* host, REFIID called) {
  // A host that offered no ISupportErrorInfo when asked is not read from
  // later either: its calls were made without the error object cleared.
  return FailureOfCall(result, excep_info, OffersErrorObjects(host) ? host : nullptr, called,
                       last_);
}

}  // namespace clasp
