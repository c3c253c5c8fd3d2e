// Fixture of the driver's native tests: a fake board, a fake OS, and the
// instance slot through which the DLL's notifications and Release act.
#pragma once

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "driver/Instance.h"
#include "testsupport/FakeBoard.h"
#include "testsupport/FakeOs.h"

const wchar_t kFolder[] = L"C:\\TV\\";

inline std::wstring InFolder(const std::wstring& name)
{
    return kFolder + name;
}

// The whole instance is the driver itself here; in the DLL it sits inside
// the host's object.
inline DriverCore* EmplaceDriver(void* block, const BoardCalls* board, const OsCalls* os, void* module)
{
    return new (block) DriverCore(board, os, module);
}

inline void UnmakeDriver(void* object)
{
    static_cast<DriverCore*>(object)->~DriverCore();
}

const InstanceType kDriverOnly = {sizeof(DriverCore), EmplaceDriver, UnmakeDriver};

// The attach notification with the fake board and OS, as the current ones.
inline bool AttachToFakes(InstanceSlot* slot)
{
    return AttachInstance(slot, kDriverOnly, FakeBoard::Calls(), FakeOs::Calls(), nullptr);
}

class DriverTest : public ::testing::Test
{
protected:
    void TearDown() override { DetachInstance(&slot, true); }

    // The attach notification of a copy named dllName in kFolder.
    bool Load(const std::wstring& dllName)
    {
        os.modulePath = InFolder(dllName);
        return AttachToFakes(&slot);
    }

    DriverCore& Core() { return *slot.core.load(); }
    void Release() { ReleaseInstance(&slot); }

    // Loaded, tuner opened and tuned to space 0, channel 0.
    void LoadAndTune(const std::wstring& dllName)
    {
        ASSERT_TRUE(Load(dllName));
        ASSERT_TRUE(Core().OpenTuner());
        ASSERT_TRUE(Core().SetChannel(0, 0));
    }

    FakeBoard board;
    FakeOs os;
    InstanceSlot slot = {};
};
