// Renders the window on every page and channel, and every dialog, into PNG files, so the program
// can be looked at without a display (the offscreen platform).
#pragma once

#include <QString>
#include <QStringList>

namespace corvella::shell {

class CMainFrame;

// Writes the files into `folder` (created when missing) and lists them in `written`. False, with
// `error` set, when a file cannot be written.
bool WriteScreenshots(CMainFrame& frame, const QString& folder, QStringList* written,
                      QString* error);

}  // namespace corvella::shell
