// Everything the program knows about the link to the unit and the state of the protocol, as one
// record per running program. Only the owner's thread (UI or CLI main thread) touches it.
#pragma once

#include <string>
#include <vector>

namespace corvella::link {

// One unit that answered a probe during the device search.
struct FoundDevice {
  int index = 0;  // 1-based position in the list, in order of discovery
  int port = 0;   // port number (COMn) it answered on
  int id = 0;     // device ID read from answer positions 1..2
  int kind = 0;   // 1: the probe answer had 19 characters (such units never answer "M00)"); 0: 21
  std::string name;  // answer positions 4..17, 14 characters
};

struct LinkState {
  // A unit is connected; pages send parameter frames only while it is 1. Set by the connect step,
  // cleared by the disconnect answer or its timeout, "Device Not Found!" and cancelling Select. It
  // is not cleared when answers merely stop coming.
  int linkConnected = 0;

  // Receive assembly: "(" starts rxFrame afresh, ")" sets frameComplete; only the answer check
  // that consumes the frame clears frameComplete.
  int frameComplete = 0;
  std::string rxFrame;
  // An overlong frame was dropped; bytes are ignored until the next "(".
  bool rxOverflow = false;

  int deviceId = 1;        // ID of the connected unit (1..10)
  std::string deviceName;  // its 14-character name
  int comPort = 1;         // port number in use

  // Empty ticks counted by every answer timer together; only timeout actions reset it.
  int waitCount = 0;
  int transferDirection = 0;  // 0 upload (unit to PC), 1 download (PC to unit)
  int infoOnly = 0;           // the next "I000)" answer only refreshes program number and name

  int identityShown = 0;       // the header shows program and device values instead of "NULL"
  int deviceInfoEditable = 0;  // a transfer completed: "Edit Current Device Information" enabled
  int deviceKind = 0;          // kind of the connected unit, as in FoundDevice
  int downloadRequested = 0;   // the "M00)" answer starts a download only while this is 1
  int keepPcName = 0;          // keep the PC's program name and send it with "N000" at the end
  int m00Pending = 0;          // "M00)" was sent and not yet acted upon
  int uploadEnded = 0;         // "U00)" was sent at the end of a transfer; never cleared
  int saveAfterDownload = 0;   // store the downloaded settings with "S000)" (factory default)

  int pendingDeviceId = 0;        // new ID entered in the device-information dialog
  std::string pendingDeviceName;  // its new name, "."-padded to 14 characters
  int recallProgram = 0;          // program memory being recalled, 1..6


  // Device search.
  int probeId = 0;                      // device ID being probed (1..10)
  std::vector<FoundDevice> deviceList;  // units found by the last search, in order of discovery
  int searchPass = 0;                   // completed passes over all ports without a result
  int searching = 0;      // a search runs; "Enable Communications" is greyed while this or
                          // linkConnected is 1
  int searchEnded = 0;    // the search ended (not found or cancelled): no further passes
  int searchRestart = 1;  // the next search starts afresh at COM1 and shows the search dialog
  int selectedPort = 1;   // port of the unit highlighted in the Select dialog
};

}  // namespace corvella::link
