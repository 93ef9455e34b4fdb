// A sink for the component's own failures that hands each one to a function:
// what a tool (the simulator, a test) gives IOwnFailureWatch::Watch.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "host/failure.h"
#include "server/com/com_object.h"
#include "server/own_failures.h"

namespace clasp {

class FunctionSink final : public ComObject<FunctionSink, IOwnFailureSink> {
 public:
  // Told the field, the member and the failure; what it answers goes back to
  // the component, which ignores it. Whatever it throws stops at the sink.
  using Function =
      std::function<HRESULT(const std::u16string& field, const std::u16string& member,
                            const Failure& failure)>;

  void* Interface(REFIID iid) noexcept {
    return iid == kIidOwnFailureSink ? static_cast<IOwnFailureSink*>(this) : nullptr;
  }
  HRESULT STDMETHODCALLTYPE Raised(LPCOLESTR field, LPCOLESTR member, LONG number,
                                   LPCOLESTR description) noexcept override {
    try {
      return function_(Text(field), Text(member),
                       Failure(static_cast<std::int32_t>(number), Text(description)));
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  friend class ComObject<FunctionSink, IOwnFailureSink>;
  explicit FunctionSink(Function function) : function_(std::move(function)) {}
  ~FunctionSink() = default;

  static std::u16string Text(LPCOLESTR text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
  }

  Function function_;
};

}  // namespace clasp
