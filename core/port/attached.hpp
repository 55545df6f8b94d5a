// How the port routines use the record of attached ports (port/record.hpp):
// this process's record, read from and written to where the platform keeps
// it, and the one check every routine makes before it touches a handle.
#pragma once

#include <cstdint>

#include "frame/messages.hpp"
#include "port/record.hpp"

namespace mexlink {

// This process's record; empty when there is none yet, or when what is kept
// is not a record of this process.
void readPortRecord(PortRecord *record);
// Keeps `record` as this process's; 0 when it could not be kept.
int writePortRecord(const PortRecord &record);

// The port the record lists under *handle, with the record read into
// *record. Anything it does not list is refused with `notAttached` before any
// call on the handle; a listed port whose number no longer names its device
// (closed behind the plug-ins' back and reused) too, where `device` asks.
enum class DeviceCheck { none, asked };
Port recordedPort(const std::uint32_t *handle, const Message &notAttached, DeviceCheck device, PortRecord *record);

} // namespace mexlink
