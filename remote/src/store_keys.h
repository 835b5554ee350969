// The names the remote's settings are kept under in the store, each
// spelled once for loading and saving. "BackroundColor" is spelled so in
// every settings file written so far.
#pragma once

namespace vantrel::keys {

inline constexpr char WindowPositionTop[] = "WindowPositionTop";
inline constexpr char WindowPositionLeft[] = "WindowPositionLeft";
inline constexpr char BackroundColor[] = "BackroundColor";
inline constexpr char ForeGroundColor[] = "ForeGroundColor";
inline constexpr char HouseCode[] = "HouseCode";
inline constexpr char BackroundImage[] = "BackroundImage";
inline constexpr char FormWidth[] = "FormWidth";
inline constexpr char FormHeight[] = "FormHeight";
inline constexpr char OnButtonSkin[] = "OnButtonSkin";
inline constexpr char OffButtonSkin[] = "OffButtonSkin";
inline constexpr char FontName[] = "FontName";
inline constexpr char FontSize[] = "FontSize";
inline constexpr char FontBold[] = "FontBold";
inline constexpr char FontItalic[] = "FontItalic";
inline constexpr char ComPort[] = "ComPort";
inline constexpr char TypeOfButtons[] = "TypeOfButtons";
inline constexpr char Bridge[] = "Bridge";
inline constexpr char BridgeTopic[] = "BridgeTopic";
inline constexpr char BridgeUser[] = "BridgeUser";

}  // namespace vantrel::keys
