// The window's command numbers: menu items and page buttons send these, as the original resources
// numbered them.
#pragma once

namespace corvella::app::cmd {

// File
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kAppExit = 57665;
// Communications
inline constexpr int kEnableCommunications = 32771;
inline constexpr int kDisableCommunications = 32772;
// Program
inline constexpr int kDisplayProgramNumber = 32774;
inline constexpr int kDisplayProgramName = 32775;
inline constexpr int kEditProgramName = 32776;
inline constexpr int kListProgram = 32777;
inline constexpr int kSaveProgramInDevice = 32778;
inline constexpr int kLoadDefaultSetting = 32782;
// Device
inline constexpr int kEditDeviceInformation = 32779;
// Help
inline constexpr int kAppAbout = 57664;
// Tools: the unit's program beside the PC's
inline constexpr int kCompareWithDevice = 32801;
inline constexpr int kVerifyAfterDownload = 32802;
// Tools: transfers that go on as soon as each answer is in
inline constexpr int kFastTransfer = 32803;

// Edit menu and Tools > A/B: the tuning history
inline constexpr int kEditUndo = 32821;
inline constexpr int kEditRedo = 32822;
inline constexpr int kStoreAsA = 32823;
inline constexpr int kStoreAsB = 32824;
inline constexpr int kSwitchAb = 32825;

// Page selection: 1001 MIC PEQ .. 1013 compressor & limiter.
inline constexpr int kMicPeq = 1001;
inline constexpr int kLinePeq = 1002;
inline constexpr int kMicLevel = 1003;
inline constexpr int kLineLevel = 1004;
inline constexpr int kHighCrossover = 1005;
inline constexpr int kLowCrossover = 1006;
inline constexpr int kHighPeq = 1007;
inline constexpr int kLowPeq = 1008;
inline constexpr int kHighLevel = 1009;
inline constexpr int kLowLevel = 1010;
inline constexpr int kLowDelay = 1011;
inline constexpr int kHighDelay = 1012;
inline constexpr int kCompressor = 1013;
inline constexpr int kFirstPage = kMicPeq;
inline constexpr int kLastPage = kCompressor;

}  // namespace corvella::app::cmd
