// Placeholder until the stand-in's shell module is written.
#include "modules.h"

namespace winsim::detail {
void ResetShell() {}
}  // namespace winsim::detail
