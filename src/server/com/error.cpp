#include "server/com/error.h"

#include <iterator>

namespace clasp {
namespace {

// What a dispatch error means to a host of this kind, in its own numbers.
struct DispatchError {
  HRESULT result;
  std::int32_t number;
};
constexpr DispatchError kDispatchErrors[] = {
    {DISP_E_UNKNOWNNAME, kMemberMissing},
    {DISP_E_MEMBERNOTFOUND, kMemberMissing},
    {DISP_E_TYPEMISMATCH, kTypeMismatch},
    {DISP_E_OVERFLOW, kOverflow},
    {DISP_E_BADPARAMCOUNT, kWrongArgumentCount},
};

constexpr std::uint32_t kFacilityMask = 0xFFFF0000u;
constexpr std::uint32_t kCodeMask = 0x0000FFFFu;

// The numbers a host failure without a description of its own is described
// by: those the dispatch errors map to and those the host's runtime raises
// itself. Others keep the host's empty description, as they always have.
constexpr std::int32_t kDescribedNumbers[] = {kOverflow,         kTypeMismatch,  kObjectNotSet,
                                              kInvalidUseOfNull, kMemberMissing, kWrongArgumentCount};

// The description the host's runtime would show for a number nobody described.
std::u16string_view StandardDescription(std::int32_t number) {
  for (const std::int32_t known : kDescribedNumbers) {
    if (known == number) return DescriptionOf(number);
  }
  return {};
}

// The description of the error object the call left, when the host vouches
// for it: only a host that says it leaves error objects for the interface it
// was called through made this one. Any other was left by someone else's
// call (one the host made itself, say) and is not this failure's.
Bstr ErrorObjectDescription(IUnknown* host, REFIID called) {
  // Always taken, so that a stale error object never describes a later failure.
  ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.Put()) != S_OK || !error || !host) return {};
  ComPtr<ISupportErrorInfo> support;
  if (FAILED(host->QueryInterface(__uuidof(ISupportErrorInfo), support.PutVoid())) || !support) {
    return {};
  }
  IID asked = called;  // the host's own copy: what it does with it cannot reach ours
  if (support->InterfaceSupportsErrorInfo(asked) != S_OK) return {};
  Bstr description;
  if (FAILED(error->GetDescription(description.Put()))) return {};
  return description;
}

}  // namespace

HRESULT HresultOf(const Failure& failure) noexcept {
  const std::int32_t number = failure.Number();
  if (number > 0 && number <= kLargestControlNumber) {
    return static_cast<HRESULT>(static_cast<std::uint32_t>(kControlFacilityBase) |
                                static_cast<std::uint32_t>(number));
  }
  if (number < 0) return static_cast<HRESULT>(number);
  // Zero or beyond the low word: the description still tells the story.
  return E_FAIL;
}

std::optional<std::int32_t> ControlNumber(HRESULT result) noexcept {
  const auto bits = static_cast<std::uint32_t>(result);
  if ((bits & kFacilityMask) != static_cast<std::uint32_t>(kControlFacilityBase)) return {};
  return static_cast<std::int32_t>(bits & kCodeMask);
}

std::int32_t NumberOf(HRESULT result) noexcept {
  if (const auto number = ControlNumber(result)) return *number;
  for (const DispatchError& known : kDispatchErrors) {
    if (known.result == result) return known.number;
  }
  return static_cast<std::int32_t>(result);
}

Failure FailureOfCall(HRESULT result, ExcepInfo& excep_info, IUnknown* host, REFIID called,
                      std::optional<Failure>& previous) {
  std::int32_t number = NumberOf(result);
  std::u16string_view description;
  if (result == DISP_E_EXCEPTION) {
    excep_info.FillIn();
    const EXCEPINFO& info = excep_info.Get();
    if (info.scode != 0) {
      number = NumberOf(info.scode);
    } else if (info.wCode != 0) {
      number = info.wCode;
    }
    description = ViewOf(info.bstrDescription);
  }
  // Hosts may describe the failure through an error object instead.
  const Bstr from_object = ErrorObjectDescription(host, called);
  if (description.empty()) description = ViewOf(from_object.Get());
  if (description.empty()) description = StandardDescription(number);
  if (!previous || previous->Number() != number || previous->Description() != description) {
    previous.emplace(number, std::u16string(description));
  }
  return *previous;
}

void Check(HRESULT result) {
  if (FAILED(result)) {
    throw Failure(NumberOf(result), std::u16string(StandardDescription(NumberOf(result))));
  }
}

HRESULT ToHresult() noexcept {
  try {
    return HresultOf(CurrentFailure());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ToHresult(REFGUID interface_id, std::u16string_view source) noexcept {
  try {
    const Failure failure = CurrentFailure();
    // Out of memory for the error object still leaves the number to return.
    try { SetErrorObject(failure, interface_id, source); } catch (...) {}
    return HresultOf(failure);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ToCaller(EXCEPINFO* excep_info, REFGUID interface_id,
                 std::u16string_view source) noexcept {
  try {
    const Failure failure = CurrentFailure();
    if (excep_info) {
      FillExcepInfo(failure, source, excep_info);
      return DISP_E_EXCEPTION;
    }
    SetErrorObject(failure, interface_id, source);
    return HresultOf(failure);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

void FillExcepInfo(const Failure& failure, std::u16string_view source, EXCEPINFO* excep_info) {
  if (!excep_info) return;
  Bstr description(failure.Description());
  Bstr source_text(source);
  *excep_info = EXCEPINFO{};
  excep_info->scode = HresultOf(failure);
  excep_info->bstrDescription = description.Detach();
  excep_info->bstrSource = source_text.Detach();
}

void SetErrorObject(const Failure& failure, REFGUID interface_id, std::u16string_view source) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.Put()))) return;
  const std::u16string description = failure.Description();
  const std::u16string source_text(source);
  create->SetGUID(interface_id);
  create->SetSource(const_cast<LPOLESTR>(WideOf(source_text)));
  create->SetDescription(const_cast<LPOLESTR>(WideOf(description)));
  if (const ComPtr<IErrorInfo> error = QueryAs<IErrorInfo>(create.Get())) {
    SetErrorInfo(0, error.Get());
  }
}

}  // namespace clasp
