// The fixture of the tests that drive the stand-in board library.
#pragma once

#include <gtest/gtest.h>

#include "testsupport/StandinLoader.h"

// Every test starts from a freshly reset stand-in.
class StandinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ept = LoadStandin();
        ASSERT_NE(ept, nullptr) << "bin/standin/EarthPtDll.dll or one of its exports is missing";
        ept->EptSimReset();
    }

    EptSimTuner Tuner(const wchar_t* name)
    {
        EptSimTuner t = {};
        EXPECT_EQ(ept->EptSimGetTuner(name, &t), 0) << "unknown tuner";
        return t;
    }

    const Standin* ept = nullptr;
};

enum { kHandleBt1 = 0x100, kHandleBt2 = 0x101, kHandleBs1 = 0x102, kHandleBs2 = 0x103 };
