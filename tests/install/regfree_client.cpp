// A client that creates Clasp.Holdfast the way a host does, by name, and
// prints every HRESULT on the way. Run with its application manifest it
// needs nothing in the registry; without it, it must fail cleanly.
// Exit status: 0 when the instance was created and answers by name, else 1.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "server/guid_text.h"
#include "server/registration_table.h"

namespace {

// The class identifier, for the attempt that does not go through the name.
constexpr CLSID kClsid = clasp::GuidFromText(clasp::registration::kClsid);

void Show(const char* step, HRESULT result) {
  std::printf("%s: 0x%08lX\n", step, static_cast<unsigned long>(result));
}

int Run() {
  CLSID clsid = kClsid;
  Show("CLSIDFromProgID", CLSIDFromProgID(L"Clasp.Holdfast", &clsid));
  IDispatch* object = nullptr;
  const HRESULT created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                           reinterpret_cast<void**>(&object));
  Show("CoCreateInstance", created);
  if (FAILED(created) || !object) return 1;
  OLECHAR name[] = L"Cols";
  OLECHAR* names[] = {name};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  Show("GetIDsOfNames(Cols)", found);
  std::printf("Cols: dispid 0x%08lX\n", static_cast<unsigned long>(id));
  object->Release();
  return SUCCEEDED(found) ? 0 : 1;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int status = Run();
  CoUninitialize();
  return status;
}
