#include "host/failure.h"

#include <new>
#include <type_traits>
#include <utility>

#include "host/encoding.h"

namespace clasp {

std::u16string_view DescriptionOf(std::int32_t number) noexcept {
  for (const KnownFailure& known : kKnownFailures) {
    if (known.number == number) return known.description;
  }
  return {};
}

Failure::Failure(std::int32_t number, std::u16string description) : number_(number) {
  std::string what = std::to_string(number) + " " + Utf8(description);
  texts_ = std::make_shared<const Texts>(Texts{std::move(description), std::move(what)});
}

static_assert(std::is_nothrow_copy_constructible_v<Failure>);

namespace {

// Made before memory can run out: reporting it must not need any.
const Failure kOutOfMemoryFailure = Failure::Standard(kOutOfMemory);

}  // namespace

Failure Failure::Standard(std::int32_t number) {
  return {number, std::u16string(DescriptionOf(number))};
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
    return Failure::Standard(kInternalError);
  }
}

}  // namespace clasp
