#pragma once

// Fixed product information shown by the about dialog and the settings tab.
namespace papelo::appinfo {
inline constexpr const char *product = "PapeloInkleaf";
inline constexpr const char *organization = "PapeloBrightsheet";
inline constexpr const char *version = "1.0.0";
} // namespace papelo::appinfo
