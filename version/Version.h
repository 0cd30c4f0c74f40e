#pragma once
// The version of Corvane's programs.

namespace corvane {

// The project version ("0.1.0"), followed by the git description of the checkout it was built from when there
// was one ("0.1.0 (675e2ee-dirty)").
const char* CorvaneVersion();

} // namespace corvane
