#include "host/serve/DriverDevice.h"

#include <mutex>

#include "host/BoardWatch.h"
#include "host/Driver.h"
#include "host/diagnosis/Diagnosis.h"

namespace {

// Copies load one at a time, and so does the diagnosis of one that does not:
// it opens tuners to see whether they are free, and must not take one from a
// copy that is loading meanwhile.
std::mutex g_loading;

// Pieces taken from the plug-in per Read at most, so that a stream that is
// always ready still lets the owner see its requests.
const int kPiecesPerRead = 64;

class DriverDevice : public TunerDevice
{
public:
    explicit DriverDevice(const CopyInfo& copy) : m_copy(copy) {}
    ~DriverDevice() override { m_driver.Unload(); }

    bool Open(std::string* error) override
    {
        std::lock_guard<std::mutex> lock(g_loading);
        if (!m_driver.Load(m_copy.path, error)) {
            // In the words of check, not the loader's "DLL initialisation
            // failed".
            std::string cause = LoadFailureCause(m_copy.path, m_driver.LoadError());
            if (!cause.empty())
                *error = cause;
            return false;
        }
        if (!m_driver.OpenTuner()) {
            *error = "the driver could not open its tuner";
            m_driver.Unload();
            return false;
        }
        return true;
    }

    std::vector<ChannelInfo> Channels() override
    {
        std::vector<ChannelInfo> channels;
        ChannelInfo c;
        for (c.space = 0; m_driver.SpaceName(c.space, &c.spaceName); ++c.space) {
            for (c.channel = 0; m_driver.ChannelName(c.space, c.channel, &c.name); ++c.channel)
                channels.push_back(c);
        }
        return channels;
    }

    bool Tune(uint32_t space, uint32_t channel) override
    {
        if (!m_driver->SetChannel(space, channel))
            return false;
        // What the driver still holds from before is not this channel's.
        m_driver->PurgeTsStream();
        return true;
    }

    bool Read(unsigned waitMs, const std::function<void(const uint8_t*, size_t)>& sink) override
    {
        DWORD ready = m_driver->WaitTsStream(waitMs);
        if (ready == 0xFFFFFFFF)
            return false;
        DWORD remain = ready != 0 ? 1 : 0;
        for (int i = 0; remain != 0 && i < kPiecesPerRead; ++i) {
            BYTE* data = nullptr;
            DWORD size = 0;
            remain = 0;
            if (!m_driver->GetTsStream(&data, &size, &remain) || data == nullptr || size == 0)
                break;
            sink(data, size);
        }
        return true;
    }

    double SignalDb() override { return m_driver->GetSignalLevel(); }

    // Found anew each time: the library goes when the last copy does.
    int32_t Boards() override { return BoardWatch().Count(); }

    void Close() override { m_driver.Unload(); }

private:
    CopyInfo m_copy;
    Driver m_driver;
};

}  // namespace

std::unique_ptr<TunerDevice> MakeDriverDevice(const CopyInfo& copy)
{
    return std::unique_ptr<TunerDevice>(new DriverDevice(copy));
}
