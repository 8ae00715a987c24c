// The protocol engine's timer IDs and intervals. The ID names the answer a timer waits for; a
// chain of steps is a chain of IDs. The numbers are the unit protocol's own and must not change.
#pragma once

namespace corvella::link::timers {

// Device search and disconnect.
inline constexpr int kProbe = 1;
inline constexpr int kProbeMs = 170;
inline constexpr int kDisconnect = 2;
inline constexpr int kDisconnectMs = 200;

// Editor page edits; each waits for "(" + ID + "$" + its code + ")".
inline constexpr int kInputPeqFrequency = 3;   // $022
inline constexpr int kInputPeqBand = 4;        // $021
inline constexpr int kInputPeqQ = 5;           // $024
inline constexpr int kInputPeqGain = 6;        // $023
inline constexpr int kOutputPeqFrequency = 7;  // $046
inline constexpr int kOutputPeqQ = 8;          // $048
inline constexpr int kOutputPeqGain = 9;       // $047
inline constexpr int kOutputPeqBand = 10;      // $045
inline constexpr int kHpfFrequency = 11;       // $042
inline constexpr int kLpfFrequency = 12;       // $044
inline constexpr int kHpfType = 13;            // $041
inline constexpr int kLpfType = 14;            // $043
inline constexpr int kInputLevel = 15;         // $025
inline constexpr int kOutputLevel = 16;        // $049
inline constexpr int kDelay = 17;              // $051
inline constexpr int kCompressor = 18;         // $059
inline constexpr int kPhase = 67;              // $052
inline constexpr int kPageEditMs = 300;
inline constexpr int kDelayMs = 200;
inline constexpr int kCompressorMs = 500;
// Level frames go out after this pause, one at a time (it keeps a dragged slider below ten frames
// a second).
inline constexpr int kLevelPauseMs = 100;

// Program memories and identity.
inline constexpr int kProgramName = 19;  // "J0003" from "Edit Current Program Name"
inline constexpr int kProgramNameMs = 200;
inline constexpr int kSave = 52;
inline constexpr int kSaveMs = 500;
inline constexpr int kListFirst = 60;  // 60..65: names of programs 1..6
inline constexpr int kListLast = 65;
inline constexpr int kListMs = 300;
inline constexpr int kListPauseMs = 1000;  // after the sixth name, before the capture is released
inline constexpr int kRecall = 66;
inline constexpr int kRecallMs = 300;
inline constexpr int kIdentity = 70;  // "Z"
inline constexpr int kIdentityMs = 400;
inline constexpr int kDeviceName = 71;  // "Y"
inline constexpr int kDeviceNameMs = 200;

// Program transfer: the timer of a step is its step number.
inline constexpr int kProgramInfo = 20;  // "I000)"
inline constexpr int kProgramInfoMs = 230;
inline constexpr int kProgramInfoAfterSaveMs = 300;  // also after a recall
inline constexpr int kFirstBlock = 21;               // 21..51, then 68 and 69
inline constexpr int kLastNumberedBlock = 51;
inline constexpr int kPhaseHighBlock = 68;
inline constexpr int kPhaseLowBlock = 69;
inline constexpr int kTransferStepMs = 230;
inline constexpr int kDownloadStart = 72;  // "M00)", also the wait after the closing "U00)"
inline constexpr int kDownloadStartMs = 230;
inline constexpr int kAfterUploadMs = 500;
inline constexpr int kFactoryName = 75;  // "J0003" of the factory-default load
inline constexpr int kFactoryNameMs = 200;
inline constexpr int kInfoRefresh = 76;  // "U00)" after a download's read-back
inline constexpr int kInfoRefreshMs = 500;

// Engine-internal steps that replace blocking pauses; not unit protocol.
inline constexpr int kListPause = 80;
inline constexpr int kLevelPause = 81;
// One single-parameter edit of a list sent as a chain (a comparison's "send"); its interval is
// the edit's own.
inline constexpr int kEditStep = 82;

// Limits of the shared empty-tick counter.
inline constexpr int kWaitLimit = 20;
inline constexpr int kListWaitLimit = 3;
inline constexpr int kFactoryNameWaitLimit = 5;

}  // namespace corvella::link::timers
