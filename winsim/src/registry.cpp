// Placeholder until the stand-in's registry module is written.
#include "modules.h"

namespace winsim::detail {
void ResetRegistry() {}
}  // namespace winsim::detail
