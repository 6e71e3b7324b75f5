// Compiled twice by the test suite: with the launch module linked it builds; from the
// platform layer, which links nothing above it, the include must not be found.
#include "launch/compose.h"

fraglane::launch::LaunchOptions BoundaryCheckOptions() {
    return {};
}
