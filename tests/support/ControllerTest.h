// A test fixture for everything that drives the controller: the controller exists, the
// port log starts empty, and the return path is empty before and after each test.
#pragma once

#include <gtest/gtest.h>

#include "keypad/Red10.h"
#include "portlib/RecordingPort.h"
#include "support/CapturedStreams.h"
#include "support/PortTrace.h"

/// Base fixture: a fresh port log and an empty return path for every test.
class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        controller = &instance();
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
