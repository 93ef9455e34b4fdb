#include "host/failure.h"

#include <new>
#include <type_traits>
#include <utility>

#include "host/text.h"

namespace clasp {

Failure::Failure(std::int32_t number, std::u16string description) : number_(number) {
  std::string what = std::to_string(number) + " " + Utf8(description);
  texts_ = std::make_shared<const Texts>(Texts{std::move(description), std::move(what)});
}

static_assert(std::is_nothrow_copy_constructible_v<Failure>);

namespace {

// Made before memory can run out: reporting it must not need any.
const Failure kOutOfMemoryFailure(kOutOfMemory, u"Out of memory");

}  // namespace

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

Failure CurrentFailure() {
  try {
    throw;
  } catch (const Failure& failure) {
    return failure;
  } catch (const std::bad_alloc&) {
    return kOutOfMemoryFailure;
  } catch (const std::exception& other) {
    return {kInternalError, Utf16(other.what())};
  } catch (...) {
    return {kInternalError, u"Internal error"};
  }
}

}  // namespace clasp
