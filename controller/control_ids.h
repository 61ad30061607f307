// Control identifiers of the main window. Below the window they are plain
// numbers: the protocol and controller layers name controls by id only.
#pragma once

namespace quorvane {

inline constexpr int IDD_MAIN = 102;
inline constexpr int IDI_APP = 128;

inline constexpr int IDC_OPEN_PORT = 1000;
inline constexpr int IDC_SET_CURRENT = 1001;
inline constexpr int IDC_SET_FREQUENCY = 1002;
inline constexpr int IDC_PORT_LIST = 1003;
inline constexpr int IDC_SET_DURATION = 1004;
inline constexpr int IDC_CURRENT_EDIT = 1005;
inline constexpr int IDC_PUMP_TEMP = 1006;
inline constexpr int IDC_SEED_TEMP = 1007;
inline constexpr int IDC_CURRENT_SLIDER = 1008;
inline constexpr int IDC_FREQUENCY_EDIT = 1009;
inline constexpr int IDC_CURRENT_READ = 1010;
inline constexpr int IDC_SOFT_ACTIVE = 1011;
inline constexpr int IDC_DURATION_EDIT = 1012;
inline constexpr int IDC_CURRENT_DOWN = 1013;
inline constexpr int IDC_CURRENT_UP = 1014;

}  // namespace quorvane
