// The benchmark's hosts: the native double, without a log, answering for one
// path of Cols, so that what is measured is the component on top of the host
// accesses it makes.
#pragma once

#include <memory>

#include "support/recording_host.h"

namespace clasp::bench {

using testing::HostSet;

// How the reader behaves: the paths of Cols that are measured.
enum class Path { kCapture, kDeviceFault, kFailure, kDisplayFailure };

// The five host objects a component is given, answering for `path`. With
// `log` they write one line per access; only the sequence check wants that.
HostSet HostsFor(Path path, std::shared_ptr<testing::AccessLog> log = nullptr);

}  // namespace clasp::bench
