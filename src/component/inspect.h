// What tests and tools read of an instance that its hosts never can.
#pragma once

#include "component/fields.h"

namespace clasp {

class Holdfast;

// The instance's state as it stands; read-only.
const HoldfastFields& FieldsOf(const Holdfast& holdfast) noexcept;

}  // namespace clasp
