#include "server/com/default_member.h"

#include "host/failure.h"
#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/com/value.h"

namespace clasp {

HostValue ReadDefaultMember(IDispatch* dispatch) {
  if (!dispatch) throw ObjectNotSetFailure();
  // Exactly the platform's own call: no EXCEPINFO, so the member's failure
  // reaches us as its HRESULT alone, as it reaches the platform.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant answer;
  SetErrorInfo(0, nullptr);
  const HRESULT result = dispatch->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYGET, &none, answer.Put(), nullptr,
                                          nullptr);
  // Not left behind to describe a later call.
  SetErrorInfo(0, nullptr);
  Check(result);
  return ToHostValue(answer.Get());
}

HostValue AnswerDefaultMember(const HostObject& host, WORD flags, const DISPPARAMS& params) {
  const bool read = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0 &&
                    (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) == 0;
  if (!read || params.cArgs != 0) throw MemberMissingFailure();
  return host.DefaultValue();
}

}  // namespace clasp
