// What one simulated device does with a frame addressed to it (no I/O here).
#pragma once

#include "tests/support/sim/device_sim.h"

namespace sim {

// The reply frame to a request, or nullopt when the device stays silent. Changes the
// device's state as the request says (a write, a clear, a speed change, the log cursor).
std::optional<QByteArray> Respond(DeviceState& device, const Frame& request);

// Moves the demonstration cycle of live values on to `elapsed` since the bus started;
// writes a log record when the engine starts or stops.
void Animate(DeviceState& device, std::chrono::milliseconds elapsed);

}  // namespace sim
