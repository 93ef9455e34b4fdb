#include "host/failure.h"

#include <array>
#include <iterator>
#include <memory>
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

Failure::Failure(std::int32_t number, std::u16string description)
    : number_(number), texts_(std::make_shared<const Texts>(std::move(description))) {}

Failure::Texts::~Texts() { delete what.load(std::memory_order_acquire); }

const char* Failure::what() const noexcept {
  if (const std::string* made = texts_->what.load(std::memory_order_acquire)) {
    return made->c_str();
  }
  try {
    auto text = std::make_unique<const std::string>(std::to_string(number_) + " " +
                                                    Utf8(texts_->description));
    const std::string* expected = nullptr;
    if (texts_->what.compare_exchange_strong(expected, text.get(), std::memory_order_acq_rel)) {
      return text.release()->c_str();
    }
    return expected->c_str();  // another copy made it first
  } catch (...) {
    return "clasp::Failure";  // no memory for the text; the number is still in the failure
  }
}

static_assert(std::is_nothrow_copy_constructible_v<Failure>);

namespace {

// Made before memory can run out: reporting it must not need any.
const Failure kOutOfMemoryFailure = Failure::Standard(kOutOfMemory);

}  // namespace

Failure Failure::Standard(std::int32_t number) {
  // One set of texts per known number, made at the first standard failure of
  // the process.
  static const auto kShared = [] {
    std::array<std::shared_ptr<const Texts>, std::size(kKnownFailures)> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      texts[i] = std::make_shared<const Texts>(std::u16string(kKnownFailures[i].description));
    }
    return texts;
  }();
  for (std::size_t i = 0; i < kShared.size(); ++i) {
    if (kKnownFailures[i].number == number) return Failure(number, kShared[i]);
  }
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
