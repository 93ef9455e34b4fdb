#include <stdexcept>

#include "component/holdfast.h"
#include "host/encoding.h"
#include "sim/component.h"

namespace clasp::sim {
namespace {

class Linked final : public Component, private OwnFailureWatch {
 public:
  ~Linked() { holdfast_->Watch(nullptr); }

  void Assign(HostRole role, const HostObject& object) override {
    switch (role) {
      case HostRole::kDisp: holdfast_->StepDisp(object); break;
      case HostRole::kMks: holdfast_->StepMks(object); break;
      case HostRole::kRunModul: holdfast_->StepRunModul(object); break;
      case HostRole::kTrac: holdfast_->StepTrac(object); break;
      case HostRole::kJour: holdfast_->StepJour(object); break;
    }
  }
  void ScreenNo(const std::u16string& text) override { holdfast_->ScreenNo(text); }
  void DisplayValue(int slot, const HostValue& value) override {
    switch (slot) {
      case 0: holdfast_->DisapleVal01(value); break;
      case 1: holdfast_->DisapleVal02(value); break;
      case 2: holdfast_->DisapleVal03(value); break;
      case 3: holdfast_->DisapleVal04(value); break;
      default: throw std::out_of_range("display value slot");
    }
  }
  std::int32_t Cols() override { return holdfast_->Cols(); }
  bool WatchOwnFailures(OwnFailureHandler handler) override {
    handler_ = std::move(handler);
    holdfast_->Watch(handler_ ? this : nullptr);
    return true;
  }

 private:
  void Raised(std::u16string_view field, std::u16string_view member,
              const Failure& failure) noexcept override {
    try {
      handler_({Utf8(field), Utf8(member), failure});
    } catch (...) {
      // Out of memory while recording: the step goes on without this line.
    }
  }

  OwnFailureHandler handler_;
  Ref<Holdfast> holdfast_ = Holdfast::Create();
};

}  // namespace

std::unique_ptr<Component> MakeLinkedComponent() { return std::make_unique<Linked>(); }

}  // namespace clasp::sim
