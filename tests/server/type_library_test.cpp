// The type library as hosts and their tools read it back through ITypeLib.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "holdfast_idl.h"  // _Holdfast and its dispatch identifiers, as the IDL declares them
#include "server.h"

namespace clasp::testing {
namespace {

constexpr LCID kEnglishUs = 0x0409;
constexpr wchar_t kStdOle[] = L"{00020430-0000-0000-C000-000000000046}";

ComPtr<ITypeLib> Library() {
  ComPtr<ITypeLib> library;
  EXPECT_EQ(LoadTypeLibEx(Server::Get().path.c_str(), REGKIND_NONE, library.Put()), S_OK);
  return library;
}

struct Attributes {
  explicit Attributes(ITypeInfo* info) : info(info) { info->GetTypeAttr(&attr); }
  ~Attributes() { info->ReleaseTypeAttr(attr); }
  ITypeInfo* info;
  TYPEATTR* attr = nullptr;
};

std::wstring NameOf(ITypeInfo* info, MEMBERID id) {
  Bstr name;
  info->GetDocumentation(id, name.Put(), nullptr, nullptr, nullptr);
  return name.Get() ? name.Get() : L"";
}

// The type the library describes under `guid`, checked to be `name`, of
// `kind` and version 1.2.
ComPtr<ITypeInfo> TypeOf(const wchar_t* guid, const wchar_t* name, TYPEKIND kind) {
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(Library()->GetTypeInfoOfGuid(GuidOf(guid), info.Put()), S_OK);
  if (!info) return info;
  EXPECT_EQ(NameOf(info.Get(), MEMBERID_NIL), name);
  const Attributes attributes(info.Get());
  EXPECT_EQ(attributes.attr->typekind, kind);
  EXPECT_EQ(attributes.attr->wMajorVerNum, 1);
  EXPECT_EQ(attributes.attr->wMinorVerNum, 2);
  return info;
}

// The type `info` names as its implemented type `index` (-1: a dual
// interface's table of operations).
ComPtr<ITypeInfo> Implemented(ITypeInfo* info, int index) {
  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> implemented;
  EXPECT_EQ(info->GetRefTypeOfImplType(index, &ref), S_OK);
  EXPECT_EQ(info->GetRefTypeInfo(ref, implemented.Put()), S_OK);
  return implemented;
}

ComPtr<ITypeInfo> InfoNamed(ITypeLib* library, const wchar_t* name) {
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    Bstr found;
    library->GetDocumentation(i, found.Put(), nullptr, nullptr, nullptr);
    if (found.Get() && std::wstring(found.Get()) == name) {
      ComPtr<ITypeInfo> info;
      library->GetTypeInfo(i, info.Put());
      return info;
    }
  }
  return {};
}

TEST(TypeLibrary, IsClasp12ForEnglishWithNoHelp) {
  const ComPtr<ITypeLib> library = Library();
  ASSERT_TRUE(library);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(TextOfGuid(attr->guid), kLibidText);
  EXPECT_EQ(attr->lcid, kEnglishUs);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 2);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  library->ReleaseTLibAttr(attr);

  Bstr name, doc, help_file;
  DWORD help_context = 0;
  ASSERT_EQ(library->GetDocumentation(-1, name.Put(), doc.Put(), &help_context, help_file.Put()),
            S_OK);
  EXPECT_EQ(std::wstring(name.Get()), L"Clasp");
  EXPECT_EQ(doc.Get(), nullptr);
  EXPECT_EQ(help_file.Get(), nullptr);
  EXPECT_EQ(help_context, 0u);
  // _Holdfast, the class and the two aliases; nothing else.
  EXPECT_EQ(library->GetTypeInfoCount(), 4u);
}

TEST(TypeLibrary, HoldfastInterfaceIsHiddenDualNonextensibleAutomation) {
  const ComPtr<ITypeInfo> info = TypeOf(kIidText, L"_Holdfast", TKIND_DISPATCH);
  ASSERT_TRUE(info);
  const Attributes attributes(info.Get());
  for (const WORD flag : {TYPEFLAG_FHIDDEN, TYPEFLAG_FDUAL, TYPEFLAG_FNONEXTENSIBLE,
                          TYPEFLAG_FDISPATCHABLE}) {
    SCOPED_TRACE(flag);
    EXPECT_TRUE(attributes.attr->wTypeFlags & flag);
  }

  // The table-of-operations side: automation-compatible, and based on IDispatch of stdole2 2.0.
  const ComPtr<ITypeInfo> vtable = Implemented(info.Get(), -1);
  ASSERT_TRUE(vtable);
  const Attributes vtable_attributes(vtable.Get());
  EXPECT_EQ(vtable_attributes.attr->typekind, TKIND_INTERFACE);
  for (const WORD flag : {TYPEFLAG_FHIDDEN, TYPEFLAG_FDUAL, TYPEFLAG_FNONEXTENSIBLE,
                          TYPEFLAG_FOLEAUTOMATION}) {
    SCOPED_TRACE(flag);
    EXPECT_TRUE(vtable_attributes.attr->wTypeFlags & flag);
  }
  const ComPtr<ITypeInfo> base = Implemented(vtable.Get(), 0);
  ASSERT_TRUE(base);
  EXPECT_EQ(NameOf(base.Get(), MEMBERID_NIL), L"IDispatch");
  ComPtr<ITypeLib> stdole;
  UINT index = 0;
  ASSERT_EQ(base->GetContainingTypeLib(stdole.Put(), &index), S_OK);
  TLIBATTR* stdole_attr = nullptr;
  ASSERT_EQ(stdole->GetLibAttr(&stdole_attr), S_OK);
  EXPECT_EQ(TextOfGuid(stdole_attr->guid), kStdOle);
  EXPECT_EQ(stdole_attr->wMajorVerNum, 2);
  EXPECT_EQ(stdole_attr->wMinorVerNum, 0);
  stdole->ReleaseTLibAttr(stdole_attr);
}

// The automation type of an argument as the generated header declares it.
template <class Argument>
constexpr VARTYPE kVarType = std::is_same_v<Argument, IDispatch*> ? VT_DISPATCH
                             : std::is_same_v<Argument, BSTR>     ? VT_BSTR
                             : std::is_same_v<Argument, VARIANT>  ? VT_VARIANT
                             : std::is_same_v<Argument, LONG>     ? VT_I4
                             : std::is_pointer_v<Argument>        ? VT_PTR
                                                                  : VT_ILLEGAL;

// A member of _Holdfast as the header generated from the IDL declares it.
struct MemberRow {
  const wchar_t* name;
  INVOKEKIND kind;
  MEMBERID id;
  VARTYPE argument;  // what the one parameter is
  VARTYPE pointee;   // what it points at, when it is a pointer
  SHORT slot;        // its byte offset in the table of operations
};

// The row of `method`. The prefix is how widl names a property put and a put
// by reference; the slot is read from the pointer to the method, in which the
// C++ ABI g++ follows keeps a virtual method's byte offset plus one.
template <class Argument>
MemberRow Declared(const wchar_t* name, std::wstring_view prefix, MEMBERID id,
                   HRESULT (STDMETHODCALLTYPE _Holdfast::*method)(Argument)) {
  struct {
    std::intptr_t offset_plus_one;
    std::ptrdiff_t adjustment;
  } pointer;
  static_assert(sizeof(pointer) == sizeof(method));
  std::memcpy(&pointer, &method, sizeof(pointer));
  const INVOKEKIND kind = prefix == L"putref_" ? INVOKE_PROPERTYPUTREF
                          : prefix == L"put_"  ? INVOKE_PROPERTYPUT
                                               : INVOKE_FUNC;
  return {name, kind, id, kVarType<Argument>, kVarType<std::remove_pointer_t<Argument>>,
          static_cast<SHORT>(pointer.offset_plus_one - 1)};
}

// Name, kind, identifier and argument each come from the generated header, so
// a member the IDL changes cannot be written down wrongly here; a row for a
// member it lacks does not compile. Listed in slot order, which is fixed for good.
#define CLASP_MEMBER(prefix, name) \
  Declared(L## #name, L## #prefix, kDispid##name, &_Holdfast::prefix##name)
const MemberRow kMembers[] = {
    CLASP_MEMBER(putref_, StepDisp),     CLASP_MEMBER(putref_, StepMks),
    CLASP_MEMBER(putref_, StepRunModul), CLASP_MEMBER(putref_, StepTrac),
    CLASP_MEMBER(putref_, StepJour),     CLASP_MEMBER(, Cols),
    CLASP_MEMBER(put_, DisapleVal01),    CLASP_MEMBER(put_, DisapleVal02),
    CLASP_MEMBER(put_, DisapleVal03),    CLASP_MEMBER(put_, DisapleVal04),
    CLASP_MEMBER(put_, ScreenNo),
};
#undef CLASP_MEMBER

TEST(TypeLibrary, MembersInSlotOrderWithKindsIdsAndNoArgumentNames) {
  ComPtr<ITypeInfo> dispatch;
  ASSERT_EQ(Library()->GetTypeInfoOfGuid(GuidOf(kIidText), dispatch.Put()), S_OK);
  const ComPtr<ITypeInfo> info = Implemented(dispatch.Get(), -1);
  ASSERT_TRUE(info);
  const Attributes attributes(info.Get());
  ASSERT_EQ(attributes.attr->typekind, TKIND_INTERFACE);
  ASSERT_EQ(attributes.attr->cFuncs, std::size(kMembers));
  // No property can be read: no member anywhere is a property get.
  for (UINT i = 0; i < std::size(kMembers); ++i) {
    const MemberRow& row = kMembers[i];
    SCOPED_TRACE(::testing::Message() << "slot " << i);
    FUNCDESC* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    EXPECT_EQ(NameOf(info.Get(), func->memid), row.name);
    EXPECT_EQ(func->memid, row.id);
    EXPECT_EQ(func->invkind, row.kind);
    EXPECT_EQ(func->oVft, row.slot);
    EXPECT_EQ(func->wFuncFlags & (FUNCFLAG_FHIDDEN | FUNCFLAG_FRESTRICTED), 0);
    EXPECT_EQ(func->cParamsOpt, 0);
    ASSERT_EQ(func->cParams, 1);
    EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, row.argument);
    if (row.argument == VT_PTR) {
      EXPECT_EQ(func->lprgelemdescParam[0].tdesc.lptdesc->vt, row.pointee);
      EXPECT_TRUE(func->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
    }
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
    // The member's name and nothing for its argument.
    BSTR names[3] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(func->memid, names, 3, &count), S_OK);
    EXPECT_EQ(count, 1u);
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(func);
  }
}

TEST(TypeLibrary, AliasesCarryTheirOwnIdentifiersAndVersions) {
  const ComPtr<ITypeLib> library = Library();
  const struct {
    const wchar_t* name;
    const wchar_t* iid;
    WORD minor;
  } aliases[] = {{L"Holdfast___v0", kIidV0Text, 0}, {L"Holdfast___v1", kIidV1Text, 1}};
  for (const auto& alias : aliases) {
    SCOPED_TRACE(::testing::Message() << alias.name);
    const ComPtr<ITypeInfo> info = InfoNamed(library.Get(), alias.name);
    ASSERT_TRUE(info);
    const Attributes attributes(info.Get());
    const TYPEATTR& attr = *attributes.attr;
    EXPECT_EQ(attr.typekind, TKIND_ALIAS);
    EXPECT_EQ(TextOfGuid(attr.guid), alias.iid);
    EXPECT_EQ(attr.wMajorVerNum, 1);
    EXPECT_EQ(attr.wMinorVerNum, alias.minor);
    EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FHIDDEN);
    ASSERT_EQ(attr.tdescAlias.vt, VT_USERDEFINED);
    ComPtr<ITypeInfo> target;
    ASSERT_EQ(info->GetRefTypeInfo(attr.tdescAlias.hreftype, target.Put()), S_OK);
    EXPECT_EQ(NameOf(target.Get(), MEMBERID_NIL), L"_Holdfast");
  }
}

TEST(TypeLibrary, ClassIsCreatableOnlyWithHoldfastAsDefault) {
  const ComPtr<ITypeInfo> info = TypeOf(kClsidText, L"Holdfast", TKIND_COCLASS);
  ASSERT_TRUE(info);
  const Attributes attributes(info.Get());
  const TYPEATTR& attr = *attributes.attr;
  EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_FALSE(attr.wTypeFlags & TYPEFLAG_FAGGREGATABLE);
  EXPECT_FALSE(attr.wTypeFlags & TYPEFLAG_FAPPOBJECT);
  EXPECT_FALSE(attr.wTypeFlags & TYPEFLAG_FCONTROL);
  ASSERT_EQ(attr.cImplTypes, 1);
  INT flags = 0;
  ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  const ComPtr<ITypeInfo> interface_info = Implemented(info.Get(), 0);
  ASSERT_TRUE(interface_info);
  const Attributes interface_attributes(interface_info.Get());
  EXPECT_EQ(TextOfGuid(interface_attributes.attr->guid), kIidText);
}

TEST(TypeLibrary, LiveInstanceServesTheSameInformation) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  UINT count = 0;
  ASSERT_EQ(component->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(component->GetTypeInfo(0, kEnglishUs, info.Put()), S_OK);
  const Attributes attributes(info.Get());
  EXPECT_EQ(TextOfGuid(attributes.attr->guid), kIidText);
  for (const MemberRow& row : kMembers) {
    SCOPED_TRACE(::testing::Message() << row.id);
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
    ASSERT_EQ(component->GetIDsOfNames(IID_NULL, names, 1, kEnglishUs, &id), S_OK);
    EXPECT_EQ(id, row.id);
  }
  // Nonextensible: no names beyond its own.
  DISPID id = 0;
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"RetCode")};
  EXPECT_EQ(component->GetIDsOfNames(IID_NULL, unknown, 1, kEnglishUs, &id), DISP_E_UNKNOWNNAME);
}

// What installers and file property pages read. Not the values themselves
// but what must hold between them: the translation names the string block
// there is, the fixed and the written versions are one version, the names are
// this file's, and the self-registration mark is there.
TEST(VersionResource, AgreesWithItselfAndWithTheModule) {
  const std::wstring& path = Server::Get().path;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, sizeof(Translation));
  wchar_t block[9];
  swprintf(block, 9, L"%04X%04X", translation->language, translation->code_page);
  const auto value = [&](const wchar_t* name) -> std::optional<std::wstring> {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
    wchar_t* text = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &chars)) {
      return std::nullopt;
    }
    return std::wstring(text);
  };

  // "major.minor" with two digits of minor, as the fixed part holds it.
  const auto written = [](DWORD most_significant) {
    wchar_t text[16];
    swprintf(text, 16, L"%u.%02u", HIWORD(most_significant), LOWORD(most_significant));
    return std::wstring(text);
  };
  EXPECT_EQ(value(L"FileVersion"), written(fixed->dwFileVersionMS));
  EXPECT_EQ(value(L"ProductVersion"), written(fixed->dwProductVersionMS));

  const std::wstring file_name = path.substr(path.find_last_of(L"\\/") + 1);
  const std::wstring module_name = file_name.substr(0, file_name.rfind(L'.'));
  EXPECT_EQ(value(L"OriginalFilename"), file_name);
  EXPECT_EQ(value(L"InternalName"), module_name);
  EXPECT_EQ(value(L"ProductName"), module_name);
  EXPECT_TRUE(value(L"OLESelfRegister").has_value());
}

}  // namespace
}  // namespace clasp::testing
