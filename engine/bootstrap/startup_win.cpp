#include "bootstrap/startup.h"

namespace velmora {

int runSetup() { return 0; }

} // namespace velmora
