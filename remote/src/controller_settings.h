// The remote's one in-memory settings record, shared by every handler. Texts
// are UTF-8 std::strings so that HouseCode and DeviceCode can go to the
// transmitter control by reference, as they are.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

struct ControllerSettings {
    std::string ForeGroundColor;  // colour number as decimal text
    std::string BackroundColor;   // colour number as decimal text
    std::string HouseCode;        // "A" to "P", or whatever the house box held
    std::string DeviceCode;       // unit of the last press, "1" to "16"
    std::string BackroundImage;   // picture path, "OFF" or empty
    std::string OnButtonSkin;     // picture path or empty
    std::string OffButtonSkin;    // picture path or empty
    std::string Bridge;           // "mqtt://host:port" or "mqtts://host:port"; empty: the COM port
    std::string BridgeTopic;      // the bridge's base topic; empty: "kestrix"
    std::string BridgeUser;       // the broker's login; empty: none
    std::int16_t ComPort = 0;
    bool TypeOfButtons = false;   // standard buttons stand in the unit rows
    bool SkinnedButtons = false;  // skinned images stand in the unit rows
};

}  // namespace vantrel
