#include "sim/json_positions.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace clasp::sim {
namespace {

// An input iterator over the text that tells the parser's position to anyone
// holding the shared counter. The parser copies iterators, so the count lives
// outside them.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* at, std::size_t* consumed) : at_(at), consumed_(consumed) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    ++at_;
    ++*consumed_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator old = *this;
    ++*this;
    return old;
  }
  friend bool operator==(const CountingIterator& a, const CountingIterator& b) {
    return a.at_ == b.at_;
  }
  friend bool operator!=(const CountingIterator& a, const CountingIterator& b) {
    return a.at_ != b.at_;
  }

 private:
  const char* at_;
  std::size_t* consumed_;
};

std::string EscapePointerToken(const std::string& token) {
  std::string out;
  for (char c : token) {
    if (c == '~') out += "~0";
    else if (c == '/') out += "~1";
    else out += c;
  }
  return out;
}

// The number the parser gives when a number does not fit a double.
constexpr int kNumberOverflow = 406;

// A fault found while reading, by offsets; turned into lines and columns once
// the whole text is known.
struct FaultAt {
  std::size_t offset = 0;
  std::string message;
  std::optional<std::size_t> earlier;
};

// Records, for every value and key, where the parser stood when it reported
// it; Start() then walks back to the first character of the token.
class Recorder : public nlohmann::json_sax<nlohmann::json> {
 public:
  Recorder(std::string_view text, const std::size_t* consumed,
           std::map<std::string, std::size_t>* offsets, std::optional<FaultAt>* fault)
      : text_(text), consumed_(consumed), offsets_(offsets), fault_(fault) {}

  bool null() override { return Scalar(); }
  bool boolean(bool) override { return Scalar(); }
  bool number_integer(number_integer_t) override { return Scalar(); }
  bool number_unsigned(number_unsigned_t) override { return Scalar(); }
  bool number_float(number_float_t, const string_t&) override { return Scalar(); }
  bool string(string_t&) override { return Scalar(); }
  bool binary(binary_t&) override { return Scalar(); }
  bool start_object(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_array() override { return Close(); }
  bool key(string_t& name) override {
    const std::size_t at = Start(*consumed_);
    Frame& frame = frames_.back();
    if (const auto first = frame.keys.find(name); first != frame.keys.end()) {
      *fault_ = FaultAt{at, "key '" + name + "' given twice", first->second};
      return false;
    }
    frame.keys.emplace(name, at);
    frame.key = name;
    (*offsets_)[Pointer() + "#key"] = at;
    return true;
  }
  bool parse_error(std::size_t read, const std::string& token,
                   const nlohmann::detail::exception& error) override {
    if (error.id == kNumberOverflow) {
      *fault_ = FaultAt{Start(*consumed_), "'" + token + "' is out of range for a number", {}};
      return false;
    }
    // The parser has read one character past the fault; its message starts
    // with its own position, which the caller gives in its own form.
    std::string message = error.what();
    if (const auto colon = message.find(": "); colon != std::string::npos) message.erase(0, colon + 2);
    *fault_ = FaultAt{read > 0 ? read - 1 : 0, "malformed JSON: " + message, {}};
    return false;
  }

 private:
  struct Frame {
    bool array;
    std::size_t index = 0;
    std::string key;
    std::map<std::string, std::size_t> keys;  // each key of an object, at its offset
  };

  std::string Pointer() const {
    std::string pointer;
    for (const Frame& f : frames_) {
      pointer += "/" + (f.array ? std::to_string(f.index) : EscapePointerToken(f.key));
    }
    return pointer;
  }

  // The lexer has read one character past a number or literal, but stops
  // right after a closing quote or bracket.
  std::size_t Start(std::size_t end) const {
    std::size_t at = std::min(end, text_.size());
    while (at > 0 && IsSpaceOrSeparator(text_[at - 1])) --at;
    if (at == 0) return 0;
    if (text_[at - 1] == '"') {
      --at;
      while (at > 0) {
        --at;
        if (text_[at] == '"' && !Escaped(at)) return at;
      }
      return 0;
    }
    while (at > 0 && !IsSpaceOrSeparator(text_[at - 1]) && text_[at - 1] != '[' &&
           text_[at - 1] != '{')
      --at;
    return at;
  }
  static bool IsSpaceOrSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ':' ||
           c == ']' || c == '}';
  }
  bool Escaped(std::size_t at) const {
    std::size_t backslashes = 0;
    while (at > backslashes && text_[at - 1 - backslashes] == '\\') ++backslashes;
    return backslashes % 2 == 1;
  }

  bool Scalar() {
    (*offsets_)[Pointer()] = Start(*consumed_);
    Advance();
    return true;
  }
  bool Open(bool array) {
    // The bracket was the last character read.
    (*offsets_)[Pointer()] = *consumed_ > 0 ? *consumed_ - 1 : 0;
    frames_.push_back(Frame{array, 0, {}, {}});
    return true;
  }
  bool Close() {
    frames_.pop_back();
    Advance();
    return true;
  }
  void Advance() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }

  std::string_view text_;
  const std::size_t* consumed_;
  std::map<std::string, std::size_t>* offsets_;
  std::optional<FaultAt>* fault_;
  std::vector<Frame> frames_;
};

}  // namespace

TextPosition PositionOf(std::string_view text, std::size_t offset) {
  TextPosition position;
  offset = std::min(offset, text.size());
  for (std::size_t i = 0; i < offset; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((byte & 0xC0) != 0x80) {  // count characters, not UTF-8 continuation bytes
      ++position.column;
    }
  }
  return position;
}

JsonPositions JsonPositions::Of(std::string text) {
  JsonPositions positions;
  positions.text_ = std::move(text);
  const std::string& kept = positions.text_;
  std::size_t consumed = 0;
  std::optional<FaultAt> fault;
  Recorder recorder(kept, &consumed, &positions.offsets_, &fault);
  CountingIterator first(kept.data(), &consumed);
  CountingIterator last(kept.data() + kept.size(), &consumed);
  nlohmann::json::sax_parse(first, last, &recorder);
  if (fault) {
    positions.fault_ = JsonFault{PositionOf(kept, fault->offset), fault->message, std::nullopt};
    if (fault->earlier) positions.fault_->earlier = PositionOf(kept, *fault->earlier);
  }
  return positions;
}

TextPosition JsonPositions::Find(const std::string& pointer, bool key) const {
  std::string at = pointer;
  if (key) {
    if (auto it = offsets_.find(at + "#key"); it != offsets_.end()) {
      return PositionOf(text_, it->second);
    }
  }
  while (true) {
    if (auto it = offsets_.find(at); it != offsets_.end()) return PositionOf(text_, it->second);
    if (at.empty()) return {};
    at.erase(at.rfind('/'));
  }
}

}  // namespace clasp::sim
