// What tests and tools read of an instance that its hosts never can.
#pragma once

#include "component/holdfast.h"

namespace clasp {

// The instance's state as it stands; read-only.
const Holdfast::Fields& FieldsOf(const Holdfast& holdfast) noexcept;

}  // namespace clasp
