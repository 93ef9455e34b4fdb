// A host object for load and failure-injection runs: answers by member from a
// fixed table, keeps no log, and counts its references atomically, so that
// thousands of calls cost the host nothing and leave nothing behind.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <string>
#include <vector>

namespace clasp::testing {

// The result codes the component answers on its roads.
inline constexpr LONG kRetainedCode = 10120011;
inline constexpr LONG kDisplayFailureCode = 10140003;
inline constexpr LONG kFailureCode = 10010003;

class PlainHost final : public IDispatch {
 public:
  // A new host holding one reference for the caller.
  static PlainHost* Create();

  // The member answers a 4-byte integer, or text, on every call.
  PlainHost& Answers(const wchar_t* member, LONG value);
  PlainHost& AnswersText(const wchar_t* member, const wchar_t* text);
  // The member fails with DISP_E_EXCEPTION carrying `scode` and a description.
  PlainHost& Raises(const wchar_t* member, SCODE scode);

  ULONG RefCount() const { return count_.load(); }
  // The text of the last line handed to TraceWrite.
  const std::wstring& LastTrace() const { return last_trace_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT*) override;

 private:
  PlainHost();
  ~PlainHost() = default;

  enum class Answer { kEmpty, kInteger, kText, kRaise };
  struct Member {
    Answer answer = Answer::kEmpty;
    LONG value = 0;
    std::wstring text;
  };
  // DISPID of a member is its index in the name table plus one; 0 when unknown.
  static DISPID IdOf(const wchar_t* name);
  Member* Find(DISPID id);

  std::atomic<ULONG> count_{1};
  std::vector<Member> members_;
  std::wstring last_trace_;
};

// The five step objects of one component, set up for one road of Cols.
struct PlainHostSet {
  enum class Road { kCapture, kNotRetained, kDeviceFault, kDisplayFailure, kFailurePath,
                    kFailureInFailurePath };
  explicit PlainHostSet(Road road);
  ~PlainHostSet();
  PlainHostSet(const PlainHostSet&) = delete;
  PlainHostSet& operator=(const PlainHostSet&) = delete;

  // True when every host is held by this set alone again.
  bool Balanced() const;

  PlainHost* disp;
  PlainHost* mks;
  PlainHost* run;
  PlainHost* trac;
  PlainHost* jour;
};

// What Cols answers on a road when nothing goes wrong; 0 for the road that
// fails the call itself.
LONG NormalResult(PlainHostSet::Road road);
// The road's name, for output.
const char* RoadName(PlainHostSet::Road road);

}  // namespace clasp::testing
