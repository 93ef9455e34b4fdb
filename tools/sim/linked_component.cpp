#include "component/holdfast.h"
#include "sim/component.h"

namespace clasp::sim {
namespace {

class Linked final : public Component {
 public:
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
    using Setter = void (Holdfast::*)(const HostValue&);
    static constexpr Setter kSetters[] = {&Holdfast::DisapleVal01, &Holdfast::DisapleVal02,
                                          &Holdfast::DisapleVal03, &Holdfast::DisapleVal04};
    (holdfast_.Get()->*kSetters[slot])(value);
  }
  std::int32_t Cols() override { return holdfast_->Cols(); }

 private:
  Ref<Holdfast> holdfast_ = Holdfast::Create();
};

}  // namespace

std::unique_ptr<Component> MakeLinkedComponent() { return std::make_unique<Linked>(); }

}  // namespace clasp::sim
