// Host objects for the COM benchmark: IDispatch objects that do nothing but
// find a member by name and give its fixed answer (or raise its failure).
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "server/com/owners.h"

namespace clasp::bench {

class NullDispatch final : public IDispatch {
 public:
  // `log`, when given, receives one line per call; only the sequence check uses it.
  static ComPtr<NullDispatch> Create(std::wstring name, std::vector<std::wstring>* log);

  // A member answering `answer` (puts are accepted and dropped).
  NullDispatch& Answers(const wchar_t* member, Variant answer);
  // A member that takes puts and answers Empty.
  NullDispatch& Knows(const wchar_t* member);
  // A member that raises `number` with `description`, as a script class does.
  NullDispatch& Raises(const wchar_t* member, LONG number, const wchar_t* description);
  ULONG Count() const noexcept { return count_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* argument) override;

 private:
  NullDispatch(std::wstring name, std::vector<std::wstring>* log)
      : name_(std::move(name)), log_(log) {}
  ~NullDispatch() = default;

  struct Member {
    std::wstring name;
    Variant answer;
    bool raises = false;
    LONG number = 0;
    std::wstring description;
  };
  Member& Add(const wchar_t* member);
  void Record(const Member& member, WORD flags, const DISPPARAMS& params) const;

  ULONG count_ = 1;
  std::wstring name_;
  std::vector<std::wstring>* log_;
  std::vector<Member> members_;
};

// Readable form of an argument, the same for both sides of the sequence check.
std::wstring DescribeVariant(const VARIANT& value);

// The paths of Cols that are measured.
enum class Path { kCapture, kFailure };

// The five host objects of one component.
struct ComHosts {
  explicit ComHosts(Path path, std::vector<std::wstring>* log = nullptr);
  // Assigns them to the component's five properties through IDispatch.
  bool GiveTo(IDispatch* component) const;

  ComPtr<NullDispatch> disp, mks, run, trac, jour;
};

}  // namespace clasp::bench
