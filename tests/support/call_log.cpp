#include "support/call_log.h"

#include <string_view>

#include "host/encoding.h"
#include "server/com/owners.h"

namespace clasp::testing {
namespace {

std::string TypeName(VARTYPE type) {
  switch (type & VT_TYPEMASK) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    case VT_CY: return "VT_CY";
    case VT_DATE: return "VT_DATE";
    case VT_BSTR: return "VT_BSTR";
    case VT_DISPATCH: return "VT_DISPATCH";
    case VT_ERROR: return "VT_ERROR";
    case VT_BOOL: return "VT_BOOL";
    case VT_VARIANT: return "VT_VARIANT";
    case VT_UNKNOWN: return "VT_UNKNOWN";
    case VT_DECIMAL: return "VT_DECIMAL";
    case VT_I1: return "VT_I1";
    case VT_UI1: return "VT_UI1";
    case VT_UI2: return "VT_UI2";
    case VT_UI4: return "VT_UI4";
    case VT_I8: return "VT_I8";
    case VT_UI8: return "VT_UI8";
    default: return "VT_" + std::to_string(type & VT_TYPEMASK);
  }
}

std::string ArrayText(SAFEARRAY* array) {
  if (!array) return "{}";
  VARTYPE element = VT_EMPTY;
  SafeArrayGetVartype(array, &element);
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  std::string text = "{";
  for (LONG i = lower; i <= upper; ++i) {
    if (element != VT_UI1) {
      text += "?";
      break;
    }
    BYTE byte = 0;
    SafeArrayGetElement(array, &i, &byte);
    if (i > lower) text += ',';
    text += std::to_string(byte);
  }
  return text + "}";
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "x" + std::string.
std::string Quoted(const std::string& text) {
  std::string result = "\"";
  result += text;
  result += '"';
  return result;
}

std::string Braced(const std::string& text) {
  std::string result = "{";
  result += text;
  result += '}';
  return result;
}

std::string ValueText(const VARIANT& v) {
  const VARTYPE type = V_VT(&v);
  const bool by_ref = (type & VT_BYREF) != 0;
  if (type & VT_ARRAY) return ArrayText(by_ref ? *V_ARRAYREF(&v) : V_ARRAY(&v));
  switch (type & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL: return "";
    case VT_I2: return std::to_string(by_ref ? *V_I2REF(&v) : V_I2(&v));
    case VT_I4: return std::to_string(by_ref ? *V_I4REF(&v) : V_I4(&v));
    case VT_UI1: return std::to_string(by_ref ? *V_UI1REF(&v) : V_UI1(&v));
    case VT_I8: return std::to_string(V_I8(&v));
    case VT_R8: return std::to_string(V_R8(&v));
    case VT_DATE: return std::to_string(V_DATE(&v));
    case VT_CY: return std::to_string(V_CY(&v).int64);
    case VT_BOOL: return V_BOOL(&v) ? "True" : "False";
    case VT_ERROR: return std::to_string(V_ERROR(&v));
    case VT_BSTR: {
      const BSTR text = by_ref ? *V_BSTRREF(&v) : V_BSTR(&v);
      return Quoted(Utf8(TextOf(text)));
    }
    case VT_DISPATCH: return (by_ref ? *V_DISPATCHREF(&v) : V_DISPATCH(&v)) ? "object" : "Nothing";
    case VT_DECIMAL: {
      const DECIMAL& d = V_DECIMAL(&v);
      std::string text = d.sign ? "-" : "";
      text += std::to_string(d.Hi32);
      text += ":";
      text += std::to_string(d.Lo64);
      text += "e-";
      text += std::to_string(d.scale);
      return text;
    }
    case VT_VARIANT: return by_ref ? Braced(ShowVariant(*V_VARIANTREF(&v))) : "";
    default: return "?";
  }
}

}  // namespace

std::string ShowVariant(const VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  std::string name = TypeName(type);
  if (type & VT_ARRAY) name = "VT_ARRAY|" + name;
  if (type & VT_BYREF) name = "VT_BYREF|" + name;
  const std::string text = ValueText(value);
  return text.empty() ? name : name + " " + text;
}

std::vector<std::string> TraceLines(const CallLog& log) {
  // StepTrac.TraceWrite(VT_BSTR "path", VT_BYREF|VT_BSTR "text", VT_BSTR "source")
  static constexpr std::string_view kCall = "StepTrac.TraceWrite(";
  static constexpr std::string_view kText = "VT_BYREF|VT_BSTR \"";
  // Searched from the end: the text itself may hold anything, the source does not.
  static constexpr std::string_view kSource = "\", VT_BSTR \"";
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line.rfind(kCall, 0) != 0) continue;
    const auto start = line.find(kText);
    const auto end = line.rfind(kSource);
    if (start == std::string::npos || end == std::string::npos || end < start + kText.size()) {
      continue;
    }
    const auto from = start + kText.size();
    lines.push_back(line.substr(from, end - from));
  }
  return lines;
}

}  // namespace clasp::testing
