// A test fixture for everything that drives the controller: the controller exists, the
// port log starts empty, and the return path is empty before and after each test.
#pragma once

#include <gtest/gtest.h>

#include "keypad/Red10.h"
#include "support/CapturedStreams.h"
#include "support/PortTrace.h"
#include "support/RecordingPort.h"

/// Base fixture: a fresh port log and an empty return path for every test.
class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        controller = &instance();
        controller->isPortReady();  // opened before the log is cleared, as a run opens it
        ASSERT_TRUE(controller->getReturnPath().empty());
        portlib::recorder::clear();
    }
    void TearDown() override {
        if (!controller->getReturnPath().empty()) {
            CapturedStreams quiet;
            controller->returnToPerformance();
        }
    }

    Red10* controller = nullptr;
};
