// Where each value of a JSON document starts, so that errors found after
// parsing can still name a line and a column.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace clasp::sim {

struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 1;
};

// Line and column (both from 1) of the byte at `offset`; columns count characters.
TextPosition PositionOf(std::string_view text, std::size_t offset);

// Why a document cannot be read, and where: malformed JSON, a number no
// double holds, or a key an object already has (the parser itself would keep
// the last of two equal keys without a word).
struct JsonFault {
  TextPosition at;
  std::string message;
  // For a key given twice: where it was given first.
  std::optional<TextPosition> earlier;
};

// Maps JSON pointers ("/answer/StepMks.CardReaderRetain") to the offset of the
// value, and "<pointer>#key" to the offset of an object key.
class JsonPositions {
 public:
  // The positions keep their own copy, so any string will do, a temporary too.
  // A document with a fault gives the positions read before it.
  static JsonPositions Of(std::string text);
  // The first fault of the document, if it has one.
  const std::optional<JsonFault>& Fault() const { return fault_; }
  // Position of the value at `pointer`, or of its key when `key` is set;
  // the nearest enclosing value when the pointer is unknown.
  TextPosition Find(const std::string& pointer, bool key = false) const;

 private:
  std::string text_;
  std::map<std::string, std::size_t> offsets_;
  std::optional<JsonFault> fault_;
};

}  // namespace clasp::sim
