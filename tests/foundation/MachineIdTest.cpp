#include "foundation/MachineId.h"

#include "support/RequireTool.h"
#include "support/TempHome.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// One interface of a fake /sys/class/net.
struct FakeNic {
    std::string name;
    std::string address;
    int index = 0;
    bool device = true;
    std::string kind; // "", "wlan" (uevent), "wireless" (folder), "bluetooth"
    std::string assignType = "0";
};

void AddNic(const std::string& root, const FakeNic& nic)
{
    std::string dir = root + "/class/net/" + nic.name;
    fs::create_directories(dir);
    std::ofstream(dir + "/address") << nic.address << "\n";
    std::ofstream(dir + "/ifindex") << nic.index << "\n";
    std::ofstream(dir + "/addr_assign_type") << nic.assignType << "\n";
    std::ofstream(dir + "/type") << (nic.name == "lo" ? "772" : "1") << "\n";
    std::string uevent = "INTERFACE=" + nic.name + "\n";
    if (nic.kind == "wlan" || nic.kind == "bluetooth")
        uevent += "DEVTYPE=" + nic.kind + "\n";
    std::ofstream(dir + "/uevent") << uevent;
    if (nic.kind == "wireless")
        fs::create_directories(dir + "/wireless");
    if (nic.device)
        fs::create_directories(dir + "/device");
}

const std::regex kTwelveHex("[0-9A-F]{12}");

} // namespace

TEST(MachineId, PrefersWiredThenWirelessThenBluetoothLastOfAKindWins)
{
    TempHome home;
    std::string root = home.Path("sys");
    AddNic(root, { "lo", "00:00:00:00:00:00", 1, false, "" });
    AddNic(root, { "bnep0", "11:11:11:11:11:11", 2, true, "bluetooth" });
    AddNic(root, { "wlp2s0", "22:22:22:22:22:2a", 3, true, "wlan" });
    EXPECT_EQ(GetMacAddress(root), "22222222222A");
    AddNic(root, { "enp1s0", "33:33:33:33:33:33", 5, true, "" });
    AddNic(root, { "eno1", "44:44:44:44:44:44", 4, true, "" });
    AddNic(root, { "docker0", "55:55:55:55:55:55", 6, false, "" }); // virtual: no device
    AddNic(root, { "veth1", "66:66:66:66:66:66", 7, true, "", "1" }); // random address
    AddNic(root, { "zero", "00:00:00:00:00:00", 8, true, "" });
    AddNic(root, { "odd", "not-an-address", 9, true, "" });

    auto adapters = platform::ListNetworkAdapters(root);
    std::vector<std::string> names;
    for (const auto& a : adapters)
        names.push_back(a.name);
    EXPECT_EQ(names, (std::vector<std::string> { "bnep0", "wlp2s0", "eno1", "enp1s0" }));
    EXPECT_EQ(adapters[1].description, "Wireless wlp2s0");
    // enp1s0 has the higher interface index, so it is listed last and wins.
    EXPECT_EQ(GetMacAddress(root), "333333333333");
}

TEST(MachineId, DescriptionsAndFallbacks)
{
    std::vector<platform::SAdapterRecord> list {
        { "a", "Intel(R) WiFi Link wireless", { 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0x01 } },
        { "b", "Generic BlueTooth PAN", { 0x01, 0x02, 0x03, 0x04, 0x05, 0x06 } },
    };
    EXPECT_EQ(ChooseMacAddress(list), "AABBCCDDEE01");
    list.erase(list.begin());
    EXPECT_EQ(ChooseMacAddress(list), "010203040506");
    EXPECT_EQ(ChooseMacAddress({}), "");

    // With only virtual interfaces, they count rather than nothing.
    TempHome home;
    std::string root = home.Path("sys");
    AddNic(root, { "br0", "02:42:ac:11:00:01", 3, false, "" });
    EXPECT_EQ(GetMacAddress(root), "0242AC110001");

    // Without adapters the id is a UUID node.
    std::string empty = home.Path("empty");
    EXPECT_TRUE(std::regex_match(GetMacAddress(empty), kTwelveHex));
    uint8_t node[6];
    EXPECT_TRUE(GetUuidNode(node));
    EXPECT_FALSE(GetUuidNode(nullptr));
}

TEST(MachineId, AgreesWithIpLinkOnThisMachine)
{
    TAVDJ_REQUIRE_TOOL(CommandSucceeds("ip -o link"), "ip (iproute2)");
    std::set<std::string> known;
    FILE* pipe = popen("ip -o link", "r");
    ASSERT_NE(pipe, nullptr);
    char line[2048];
    std::regex ether("link/\\S+ ([0-9a-f:]+)");
    while (fgets(line, sizeof line, pipe) != nullptr) {
        std::cmatch m;
        if (std::regex_search(line, m, ether)) {
            std::string mac;
            for (char c : m[1].str()) {
                if (c != ':')
                    mac += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            known.insert(mac);
        }
    }
    pclose(pipe);

    auto adapters = platform::ListNetworkAdapters();
    for (const auto& adapter : adapters)
        EXPECT_TRUE(known.count(MacText(adapter))) << adapter.name << " " << MacText(adapter);
    std::string id = GetMacAddress();
    EXPECT_TRUE(std::regex_match(id, kTwelveHex)) << id;
    if (!adapters.empty()) {
        EXPECT_TRUE(known.count(id)) << id;
    }
}
