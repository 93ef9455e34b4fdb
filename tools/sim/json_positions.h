// Where each value of a JSON document starts, so that errors found after
// parsing can still name a line and a column.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace clasp::sim {

struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 1;
};

// Line and column (both from 1) of the byte at `offset`; columns count characters.
TextPosition PositionOf(std::string_view text, std::size_t offset);

// Maps JSON pointers ("/answer/StepMks.CardReaderRetain") to the offset of the
// value, and "<pointer>#key" to the offset of an object key.
class JsonPositions {
 public:
  // `text` must already parse; a document that does not gives an empty map.
  // The positions keep their own copy, so any string will do, a temporary too.
  static JsonPositions Of(std::string text);
  // Position of the value at `pointer`, or of its key when `key` is set;
  // the nearest enclosing value when the pointer is unknown.
  TextPosition Find(const std::string& pointer, bool key = false) const;

 private:
  std::string text_;
  std::map<std::string, std::size_t> offsets_;
};

}  // namespace clasp::sim
