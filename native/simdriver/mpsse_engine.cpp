// Placeholder until the engine is written: compiles and links, runs nothing.
#include "mpsse_engine.h"

namespace sim {

MpsseEngine::MpsseEngine(const ChipKind& kind, PinBus& bus) : kind_(kind), bus_(bus) {}
void MpsseEngine::write(const uint8_t*, std::size_t, std::vector<uint8_t>&) {}
void MpsseEngine::pinsChanged(std::vector<uint8_t>&) {}
void MpsseEngine::reset() { pending_.clear(); }
bool MpsseEngine::waiting() const { return waitingFor_ >= 0; }

}  // namespace sim
