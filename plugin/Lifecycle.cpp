// Construction and destruction of the driver instance: everything the DLL
// does at load and at release, in this order.
#include <stddef.h>
#include <string.h>

#include "board/EarthPtDll.h"
#include "plugin/Zendrel.h"

CZendrel::CZendrel(HMODULE module, HRESULT* result)
    : m_module(module),
      m_tuner(-1),
      m_isTerrestrial(true),
      m_isOpen(false),
      m_haveSettingsFile(false),
      m_haveChannelFile(false),
      m_autoMake(true),
      m_ready(false),
      m_uhfSpace(0),
      m_catvSpace(-1),
      m_bsSpace(0),
      m_cs110Space(-1),
      m_deviceCount(0),
      m_deviceNumber(-1),
      m_lnbPower(0),
      // Before the first tuning there is no current channel; a host tells
      // these apart from any real space or channel index.
      m_curSpace(0xFFFFFFFF),
      m_curChannel(0xFFFFFFFF)
{
    m_tunerName[0] = L'\0';
    m_partnerName[0] = L'\0';
    m_channelNameW[0] = L'\0';
    m_modulePath[0] = L'\0';
    m_settingsPath[0] = L'\0';
    m_channelFilePath[0] = L'\0';
    *result = Construct();
}

HRESULT CZendrel::Construct()
{
    if (!EnsureInstanceLock())
        return E_OUTOFMEMORY;
    m_deviceCount = PtDllGetDevCount();
    if (m_deviceCount == 0)
        return E_OUTOFMEMORY;
    if (!ParseModuleName())
        return E_OUTOFMEMORY;
    if (!SelectAndOpenTuner())
        return E_OUTOFMEMORY;

    // The instance was allocated zero-filled, so the stream buffer, pool and
    // tables are zero already; only the reader's fields, which share the
    // stream buffer's first bytes, are cleared again for certain.
    memset(&m_lineReader, 0, offsetof(LineReader, buffer));
    ClearChannelStore(m_bandTable, &m_namePool);
    m_lineReader.chunkSize = kChunkSize;

    LoadSettingsFile();
    LoadChannels();
    if (m_uhfSpace == -1 && m_catvSpace == -1 && m_bsSpace == -1 && m_cs110Space == -1)
        return E_OUTOFMEMORY;
    if (!m_isTerrestrial && m_lnbPower)
        PtDllSetLnbPower(m_tuner, 2);
    m_ready = true;
    return S_OK;
}

CZendrel::~CZendrel()
{
    if (m_ready && m_autoMake) {
        if (!m_haveSettingsFile)
            CreateDefaultSettingsFile();
        if (!m_haveChannelFile)
            WriteChannelFile();
    }
    // The LNB feeds both satellite tuners of the board: it may go off only
    // when the partner tuner is free, which opening it proves.
    if (!m_isTerrestrial && m_lnbPower && m_tuner != -1) {
        int32_t partner = VersionGuardedOpen(m_partnerName);
        if (partner != -1) {
            PtDllSetLnbPower(m_tuner, 0);
            PtDllClose(partner);
        }
    }
    if (m_tuner != -1) {
        PtDllClose(m_tuner);
        m_tuner = -1;
    }
}

ChannelSetup CZendrel::Channels()
{
    ChannelSetup setup = {{&m_uhfSpace, &m_catvSpace, &m_bsSpace, &m_cs110Space},
                          m_bandTable,
                          &m_namePool};
    return setup;
}
