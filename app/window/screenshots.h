// Renders the window on every page and channel, and every dialog, into PNG files, so the program
// can be looked at without a display (the offscreen platform).
#pragma once

#include <QString>
#include <QStringList>

namespace corvella::app {

class MainWindow;

// Writes the files into `folder` (created when missing) and lists them in `written`. False, with
// `error` set, when a file cannot be written.
bool WriteScreenshots(MainWindow& frame, const QString& folder, QStringList* written,
                      QString* error);

}  // namespace corvella::app
