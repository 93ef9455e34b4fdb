#include <span>
#include <stdexcept>
#include <vector>

#include "component/holdfast.h"
#include "component/inside_failures.h"
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
    taken_ = 0;  // the instance keeps only what this member raises
    switch (slot) {
      case 0: holdfast_->DisapleVal01(value); break;
      case 1: holdfast_->DisapleVal02(value); break;
      case 2: holdfast_->DisapleVal03(value); break;
      case 3: holdfast_->DisapleVal04(value); break;
      default: throw std::out_of_range("display value slot");
    }
  }
  std::int32_t Cols() override {
    taken_ = 0;
    return holdfast_->Cols();
  }
  bool TakeInsideFailures(std::vector<InsideFailure>& into) override {
    const std::span<const InsideFailure> raised = InsideFailuresOf(*holdfast_);
    if (taken_ < raised.size()) into.insert(into.end(), raised.begin() + taken_, raised.end());
    taken_ = raised.size();
    return true;
  }

 private:
  std::size_t taken_ = 0;
  Ref<Holdfast> holdfast_ = Holdfast::Create();
};

}  // namespace

std::unique_ptr<Component> MakeLinkedComponent() { return std::make_unique<Linked>(); }

}  // namespace clasp::sim
