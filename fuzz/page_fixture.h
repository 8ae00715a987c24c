// The editor pages as the window holds them, for the page fuzzers: the pages tests' harness (a
// connected session whose frames go to a recording port, timers that never fire) plus the page set,
// under one application for the whole run.
#pragma once

#include <QApplication>

#include "pages/page_set.h"
#include "support/page_harness.h"

namespace corvella::fuzz {

// The pages live for the whole run, as they do in the window: state carried from one input to
// the next is part of what is tried.
struct Pages : pages::testing::PageHarness {
  pages::PageSet set{context, &window};

  Pages() { Activate(); }
};

inline Pages& ThePages() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  (void)app;
  static Pages* pages = new Pages;
  return *pages;
}

}  // namespace corvella::fuzz
