// The retain-card step component: the class a host creates and calls.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "component/fields.h"
#include "host/convert.h"
#include "host/host_object.h"
#include "host/host_value.h"
#include "host/ref.h"
#include "output/text_buffer.h"

namespace clasp {

// Results of Cols besides the reader's own device-fault codes and kFailure.
inline constexpr std::int32_t kNotRetained = 0;
inline constexpr std::int32_t kRetained = 10120011;
inline constexpr std::int32_t kDisplayFailure = 10140003;
// The English journal prompt of a failure: this, then the device result.
inline constexpr std::u16string_view kFailurePromptPrefix = u"ClaspErr:";
// The screen shown when the host set no screen number (or set 0).
inline constexpr std::int16_t kDefaultScreen = 420;

namespace detail {
class UnsetFields;  // unset_fields.h
}  // namespace detail

struct InsideFailure;  // inside_failures.h

// One retain-card step component. Reference counted; made only by Create.
class Holdfast : public RefCounted<Holdfast, NoInterface, SharedCount> {
 public:
  using Fields = HoldfastFields;  // fields.h

  // A new instance with one count owned by the returned reference, reading its
  // hosts' answers with `conversions`: the core's own rules unless the platform
  // it runs on hands it its own.
  static Ref<Holdfast> Create(Conversions conversions = Conversions());

  // Host step objects; assigning never fails and calls nothing on the object.
  void StepDisp(const HostObject& object);
  void StepMks(const HostObject& object);
  void StepRunModul(const HostObject& object);
  void StepTrac(const HostObject& object);
  void StepJour(const HostObject& object);

  // Display values go straight to the display object, unconverted, unkept;
  // nested too deeply, they fail as Cols does.
  void DisapleVal01(const HostValue& value);
  void DisapleVal02(const HostValue& value);
  void DisapleVal03(const HostValue& value);
  void DisapleVal04(const HostValue& value);

  // Screen number as text; on a failed conversion the previous number stays.
  void ScreenNo(const std::u16string& text);

  // Runs the retain-card step and returns its result code. Fails itself only
  // when the failure path cannot write its own journal entry and trace line,
  // or when members are nested too deeply on this thread (kOutOfStackSpace).
  std::int32_t Cols();

 private:
  friend RefCounted;
  explicit Holdfast(Conversions conversions);
  ~Holdfast();
  friend std::span<const InsideFailure> InsideFailuresOf(const Holdfast& holdfast) noexcept;
  friend const Fields& FieldsOf(const Holdfast& holdfast) noexcept;  // inspect.h

  void Assign(HostObject Fields::*field, const HostObject& object);
  void PutDisplayValue(std::u16string_view member, const HostValue& value);
  Outcome<std::int32_t> RetainCard();
  void SetStatusCharacter(char16_t outcome);
  void Journal(const std::u16string& chn_prompt, const std::u16string& eng_prompt);
  // The failure entry for the device result in RetCode.
  void FailureJournal();
  std::int32_t FailurePath(const class Failure& failure);
  // The host field, or its stand-in when the host never assigned it.
  const HostObject& Field(HostObject Fields::*field) const noexcept;

  const Conversions convert_;
  Fields fields_;
  std::unique_ptr<detail::UnsetFields> unset_;
  // The trace writer's copy of each line, and the failure entry's prompts, each
  // made in a buffer kept from one to the next.
  TextBuffer lines_;
  TextBuffer failure_chn_;
  TextBuffer failure_eng_;
};

}  // namespace clasp
