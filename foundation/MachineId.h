#pragma once

#include "platform/NetworkAdapters.h"

#include <cstdint>
#include <string>
#include <vector>

// The machine id sent to the station services: one adapter's hardware
// address as upper-case hexadecimal without separators, preferring wired
// over wireless over Bluetooth (the last adapter of a kind wins), else the
// node of a new time-based UUID, else "". Thread: any.
[[nodiscard]] std::string GetMacAddress(const std::string& sysfsRoot = "/sys");

// The choice above over a given adapter list; "" when it has none.
[[nodiscard]] std::string ChooseMacAddress(const std::vector<platform::SAdapterRecord>& adapters);

// Each address byte as "%02X".
[[nodiscard]] std::string MacText(const platform::SAdapterRecord& adapter);

// The node field (last six bytes) of a new time-based UUID.
[[nodiscard]] bool GetUuidNode(uint8_t node[6]);
