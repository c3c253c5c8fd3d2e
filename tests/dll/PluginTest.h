// Fixture of the tests that load the plug-in: a reset stand-in with an empty
// call log, message boxes counted, and a fresh folder for the plug-in's copy.
#pragma once

#include "tests/dll/Plugin.h"
#include "tests/standin/Standin.h"

class PluginTest : public StandinTest
{
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        InterceptMessageBoxes();
        MessageBoxes() = MessageBoxRecord{0, nullptr, L"", false, 0};
        ept->EptSimLogClear();
    }

    std::vector<std::string> Log() { return CallLog(ept); }

    Folder folder;
};
