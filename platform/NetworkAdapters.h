#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One network adapter as the machine identity sees it.
struct SAdapterRecord {
    std::string name; // interface name, e.g. "eth0"
    std::string description; // "Wired eth0", "Wireless wlan0", "Bluetooth bnep0"
    std::vector<uint8_t> address; // hardware address bytes
};

// The adapters under <sysfsRoot>/class/net in interface-index order. Left
// out: loopback, all-zero addresses, and addresses the kernel made up at
// random (virtual interfaces that change at every boot). Only adapters
// backed by a device count; when there is none, every remaining interface
// does. Hostile or odd trees give fewer adapters, never an error.
// Thread: any.
[[nodiscard]] std::vector<SAdapterRecord> ListNetworkAdapters(const std::string& sysfsRoot = "/sys");

} // namespace platform
