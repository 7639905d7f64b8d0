#pragma once

#include "fake_operator.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro::testing {

// A test with a settings file of its own in a fresh folder, and the fake operator installed.
class OwnSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { set_settings_path(dir.file("Veltro_HDMI.ini")); }
    void TearDown() override { set_settings_path({}); }

    TempDir dir;
    FakeOperator op;
};

} // namespace veltro::testing
