// The default member (DISPID_VALUE) across the automation boundary: the one an
// object stands for when the platform has to make it a number or text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "host/host_object.h"
#include "host/host_value.h"

namespace clasp {

// Reads the default member of `dispatch` as the platform's conversions read it:
// a property get of DISPID_VALUE with no arguments. Raises Failure when the
// object has none or it fails.
HostValue ReadDefaultMember(IDispatch* dispatch);

// Answers a caller's access to DISPID_VALUE on one of our own hosts: a read
// gives the host's default member; anything else is a member it does not have.
HostValue AnswerDefaultMember(const HostObject& host, WORD flags, const DISPPARAMS& params);

}  // namespace clasp
