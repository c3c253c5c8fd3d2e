// Fixture of the network plug-in's native tests: a fake OS and a fake
// network with scripted servers, and the instance slot through which the
// DLL's export, Release and detach act.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "net/Instance.h"
#include "testsupport/FakeNet.h"
#include "testsupport/FakeOs.h"

const wchar_t kNetDll[] = L"C:\\TV\\Zendrel-Net.dll";
const wchar_t kNetIni[] = L"C:\\TV\\Zendrel-Net.ini";
const wchar_t kNetCache[] = L"C:\\TV\\Zendrel-Net.channels.cache";
const char kServerA[] = "a:40080";
const char kServerB[] = "b:40080";

// The instance is the NetCore itself here; in the DLL it sits inside the
// host's object.
inline NetCore* EmplaceCore(void* block, const NetCalls* calls, void* module)
{
    return new (block) NetCore(calls, module);
}

inline void UnmakeCore(void* block)
{
    static_cast<NetCore*>(block)->~NetCore();
}

const NetInstanceType kCoreOnly = {sizeof(NetCore), EmplaceCore, UnmakeCore};

// One channel as /api/channels lists it.
struct Listed {
    const char* kind;
    uint32_t space;
    const char* spaceName;
    uint32_t channel;
    const char* name;
};

inline std::string ChannelsAnswer(const std::vector<Listed>& channels, const std::string& errors = "[]")
{
    std::string text = "{\"channels\":[";
    for (size_t i = 0; i < channels.size(); ++i) {
        const Listed& c = channels[i];
        text += std::string(i ? "," : "") + "{\"kind\":\"" + c.kind + "\",\"space\":" + std::to_string(c.space) +
                ",\"space_name\":\"" + c.spaceName + "\",\"channel\":" + std::to_string(c.channel) +
                ",\"name\":\"" + c.name + "\",\"url\":\"http://x/stream\"}";
    }
    return text + "],\"errors\":" + errors + "}";
}

inline double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Whole packets whose bytes after the sync byte count up from first.
inline std::string Packets(int count, int first = 0)
{
    std::string bytes;
    for (int p = 0; p < count; ++p) {
        bytes += '\x47';
        bytes += std::string(187, static_cast<char>(first + p));
    }
    return bytes;
}

class NetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        os.modulePath = kNetDll;
        os.realTime = true;
    }

    void TearDown() override
    {
        if (slot.core != nullptr)
            ReleaseNetInstance(&slot, FakeNet::Calls(), slot.core);
        EXPECT_TRUE(net.WaitForThreads(10000));
        EXPECT_EQ(os.BlocksAlive(), 0);
        EXPECT_EQ(net.HandlesOpen(), 0);
    }

    void Settings(const std::string& text) { os.files[kNetIni] = text; }

    // A server listing channels, streaming each of them from stream (when
    // given) with this tuner's name.
    void ServeChannels(const std::string& server, const std::vector<Listed>& channels,
                       std::shared_ptr<FakeBody> stream = nullptr, int32_t streamStatus = 200)
    {
        std::string list = ChannelsAnswer(channels);
        net.Serve(server, [list, stream, streamStatus](const std::string& path) {
            if (path == "/api/channels")
                return TextAnswer(200, list);
            if (path.compare(0, 8, "/stream/") != 0)
                return TextAnswer(404, "{}");
            FakeAnswer answer;
            answer.status = streamStatus;
            answer.headers["Zendrel-Tuner"] = "Zendrel-S0.dll";
            if (stream != nullptr)
                answer.body = stream;
            return answer;
        });
    }

    NetCore* Load()
    {
        NetInstance(&slot, kCoreOnly, FakeNet::Calls(), nullptr);
        return slot.core;
    }

    void Release()
    {
        ReleaseNetInstance(&slot, FakeNet::Calls(), slot.core);
    }

    std::vector<std::wstring> Names(NetCore* core, uint32_t space)
    {
        std::vector<std::wstring> names;
        for (uint32_t c = 0; core->EnumChannelName(space, c) != nullptr; ++c)
            names.push_back(core->EnumChannelName(space, c));
        return names;
    }

    FakeOs os;
    FakeNet net{&os};
    NetSlot slot = {};
};
