// The fixture of the tests that drive the stand-in board library.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/Folder.h"
#include "testsupport/StandinLoader.h"

typedef std::vector<uint8_t> Bytes;

// The project's test-pattern clip, which the build puts beside the stand-in.
inline std::wstring ClipPath()
{
    return BinDirectory() + L"standin\\testpattern.ts";
}

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

    // Everything ready on the tuner, read in one call.
    Bytes ReadReady(int32_t handle)
    {
        uint32_t size = 0;
        EXPECT_EQ(ept->PtDllGetStreamSize(handle, &size), 0);
        Bytes out(size);
        uint32_t copied = 0;
        EXPECT_EQ(ept->PtDllGetStreamData(handle, out.data(), size, &copied), 0);
        out.resize(copied);
        return out;
    }

    // Opens, wakes, tunes and starts a tuner; on a satellite tuner also
    // selects tsId.
    int32_t Tune(const wchar_t* name, uint32_t ptChannel, uint32_t tsId = 0)
    {
        int32_t h = ept->PtDllOpen(name);
        EXPECT_EQ(ept->PtDllSetTunerSleep(h, 0), 0);
        EXPECT_EQ(ept->PtDllSetFrequency(h, ptChannel), 0);
        if (tsId != 0)
            EXPECT_EQ(ept->PtDllSetIdS(h, tsId), 0);
        EXPECT_EQ(ept->PtDllSetStreamEnable(h, 1), 0);
        return h;
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

// Tuners lock at once and bytes become ready only when the test pushes them.
class PushedStreamTest : public StandinTest
{
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        PushOnly();
    }

    void PushOnly()
    {
        ept->EptSimSetStreamMode(EPTSIM_MODE_MANUAL);
        ept->EptSimSetLockTime(0);
    }

    // Makes packets ready and reads everything ready.
    Bytes Push(int32_t handle, uint32_t packets)
    {
        ept->EptSimPushBytes(handle, packets * 188);
        return ReadReady(handle);
    }
};

