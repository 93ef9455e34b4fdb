// Host objects that do nothing but give a fixed answer, for measuring what the
// component itself costs on top of the host accesses it makes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "component/holdfast.h"
#include "host/failure.h"
#include "host/host_object.h"
#include "host/host_value.h"
#include "host/ref.h"

namespace clasp::bench {

class NullHost final : public HostDispatch {
 public:
  // `log`, when given, receives one line per access; only the sequence check uses it.
  static Ref<NullHost> Create(std::string name, std::vector<std::string>* log = nullptr);

  void AddRef() noexcept override { ++count_; }
  void Release() noexcept override {
    if (--count_ == 0) delete this;
  }
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;

  // Invoke of `member` answers `value`; members without an answer give Empty.
  NullHost& Answers(std::u16string member, HostValue value);
  // Invoke of `member` raises `failure`.
  NullHost& Raises(std::u16string member, Failure failure);

  std::uint32_t RefCount() const { return count_; }

 private:
  NullHost(std::string name, std::vector<std::string>* log)
      : name_(std::move(name)), log_(log) {}
  ~NullHost() = default;

  void Record(std::u16string_view member, std::span<const HostValue> args, bool put);

  std::uint32_t count_ = 1;
  std::string name_;
  std::vector<std::string>* log_;
  std::vector<std::pair<std::u16string, HostValue>> answers_;
  std::optional<std::pair<std::u16string, Failure>> raises_;
};

// How the reader behaves: the paths of Cols that are measured.
enum class Path { kCapture, kDeviceFault, kFailure, kDisplayFailure };

// The five host objects a component is given, answering for one path.
struct Hosts {
  explicit Hosts(Path path, std::vector<std::string>* log = nullptr);
  void GiveTo(Holdfast& component) const;
  bool Balanced(std::uint32_t expected) const;  // every host at `expected` counts

  Ref<NullHost> disp, mks, run, trac, jour;
};

}  // namespace clasp::bench
