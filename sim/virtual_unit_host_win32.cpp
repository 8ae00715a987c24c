// Windows has no pseudo-terminals: the host cannot run there (a virtual COM port pair would be
// needed), so it says so instead of pretending.
#include "sim/virtual_unit_host.h"

namespace corvella::sim {

bool VirtualUnitHost::Start(std::string* error) {
  if (error) *error = "The virtual unit needs a pseudo-terminal, which this system does not have.";
  return false;
}

void VirtualUnitHost::Stop() {}

void VirtualUnitHost::CloseLine() {}

void VirtualUnitHost::ReleaseExclusiveUse() {}

void VirtualUnitHost::Run() {}

}  // namespace corvella::sim
