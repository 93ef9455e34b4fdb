#include "host/failure.h"

#include <new>
#include <utility>

#include "host/text.h"

namespace clasp {

Failure::Failure(std::int32_t number, std::u16string description)
    : number_(number),
      description_(std::move(description)),
      what_(std::to_string(number) + " " + Utf8(description_)) {}

Failure OverflowFailure() { return {kOverflow, u"Overflow"}; }
Failure TypeMismatchFailure() { return {kTypeMismatch, u"Type mismatch"}; }
Failure ObjectNotSetFailure() {
  return {kObjectNotSet, u"Object variable or With block variable not set"};
}
Failure InvalidUseOfNullFailure() {
  return {kInvalidUseOfNull, u"Invalid use of Null"};
}
Failure MemberMissingFailure() {
  return {kMemberMissing, u"Object doesn't support this property or method"};
}
Failure WrongArgumentCountFailure() {
  return {kWrongArgumentCount,
          u"Wrong number of arguments or invalid property assignment"};
}

Failure UnsupportedTypeFailure() {
  return {kUnsupportedType, u"Variable uses an Automation type not supported in VBScript"};
}

Failure CurrentFailure() {
  try {
    throw;
  } catch (const Failure& failure) {
    return failure;
  } catch (const std::bad_alloc&) {
    return {kOutOfMemory, u"Out of memory"};
  } catch (const std::exception& other) {
    return {kInternalError, Utf16(other.what())};
  } catch (...) {
    return {kInternalError, u"Internal error"};
  }
}

}  // namespace clasp
