#include "host/failure.h"

#include <new>
#include <utility>

#include "host/encoding.h"

namespace clasp {

std::u16string_view DescriptionOf(std::int32_t number) noexcept {
  for (const KnownFailure& known : kKnownFailures) {
    if (known.number == number) return known.description;
  }
  return {};
}

Failure::Failure(std::int32_t number, std::u16string description)
    : number_(number),
      description_(std::move(description)),
      what_(std::to_string(number) + " " + Utf8(description_)) {}

Failure Failure::Standard(std::int32_t number) {
  return {number, std::u16string(DescriptionOf(number))};
}

Failure CurrentFailure() {
  try {
    throw;
  } catch (const Failure& failure) {
    return failure;
  } catch (const std::bad_alloc&) {
    return Failure::Standard(kOutOfMemory);
  } catch (const std::exception& other) {
    return {kInternalError, Utf16(other.what())};
  } catch (...) {
    return Failure::Standard(kInternalError);
  }
}

}  // namespace clasp
