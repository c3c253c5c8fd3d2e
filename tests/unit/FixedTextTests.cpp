// The fixed texts against the same texts written here in Unicode and
// converted to code page 932 by the system's iconv (natively only).
#include "RuleTestSupport.h"

#ifndef _WIN32
#include <iconv.h>

namespace {

std::string ToCodePage932(std::string utf8)
{
    iconv_t converter = iconv_open("CP932", "UTF-8");
    std::string out(utf8.size() * 2, '\0');
    char *in = &utf8[0], *next = &out[0];
    size_t inLeft = utf8.size(), outLeft = out.size();
    if (converter == reinterpret_cast<iconv_t>(-1))
        return "no converter";
    const size_t result = iconv(converter, &in, &inLeft, &next, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        return "conversion failed";
    out.resize(out.size() - outLeft);
    return out;
}

const std::string kChannel = u8"\u30c1\u30e3\u30f3\u30cd\u30eb";
const std::string kSettingsFile = u8"\u8a2d\u5b9a\u30d5\u30a1\u30a4\u30eb";
const std::string kReceiveUnlessNeeded = u8"\u5e2f\u53d7\u4fe1\u3001\u5fc5\u8981\u306a\u3051\u308c\u3070";
const std::string kDisableIt = u8"\u30bb\u30df\u30b3\u30ed\u30f3\u3067\u7121\u52b9\u306b\u3057\u3066\u304f\u3060\u3055\u3044";
const std::string kColumns = "; " + kChannel + u8"\u540d\u79f0\tband\tPT-ch";

std::string Section(const std::string& band)
{
    return ";[" + band + u8"\u8a2d\u5b9a]\u4e0d\u5fc5\u8981\u306a" + kChannel + u8"\u306f" + kDisableIt + "\r\n";
}

std::string Row(const std::string& name, int band, int pt, int tsId, int index, const std::string& remark)
{
    char row[64];
    snprintf(row, sizeof row, "%-8s\t\t%d\t%2d\t0x%04x\t; %2d:", name.c_str(), band, pt, tsId, index);
    return row + remark + "\r\n";
}

}  // namespace
#endif

TEST(FixedTexts, AreTheCodePage932Texts)
{
#ifdef _WIN32
    GTEST_SKIP() << "checked in the native build";
#else
    const std::string settings = "[SET]\r\nOutLNB=0\t; LNB" + std::string(u8"\u96fb\u6e90\u4f9b\u7d66(0:\u306a\u3057,1:15V)\r\n") +
                                 "AutoMake=1\t; " + kChannel + kSettingsFile +
                                 u8"\u304c\u7121\u3044\u6642\u3001\u81ea\u52d5\u751f\u6210(0:\u7121\u52b9,1:\u6709\u52b9)\r\n";

    const std::string bsRemarks[] = {u8"BS\u671d\u65e51", "BS-TBS", "WOWOW", u8"BS\u30b8\u30e3\u30d1\u30f3", "BS11",
                                     u8"\u30b9\u30bf\u30fc\u30fb" + kChannel, "TwelV", u8"BS\u65e5\u30c6\u30ec",
                                     u8"BS\u30d5\u30b8\u30fb181", "NHK BS1", u8"NHK BS\u30d7\u30ec\u30df\u30a2\u30e0",
                                     u8"\u96e3\u8996\u8074\u5bfe\u7b561", u8"\u96e3\u8996\u8074\u5bfe\u7b562"};
    const char* bsNames[] = {"BS1/TS0", "BS1/TS1", "BS3/TS0", "BS3/TS1", "BS9/TS0", "BS9/TS1", "BS9/TS2",
                             "BS13/TS0", "BS13/TS1", "BS15/TS0", "BS15/TS1", "BS17/TS0", "BS17/TS1"};
    const int bsPt[] = {0, 0, 1, 1, 4, 4, 4, 6, 6, 7, 7, 8, 8};
    const int bsTsIds[] = {0x4010, 0x4011, 0x4030, 0x4031, 0x4090, 0x4091, 0x4092, 0x40d0, 0x40d1, 0x40f1, 0x40f2, 0x4310, 0x4311};
    const int csTsIds[] = {0x6020, 0x7040, 0x7060, 0x6080, 0x60a0, 0x70c0, 0x70e0, 0x7100, 0x7120, 0x7140, 0x7160, 0x7180};
    std::string satellite = "; BS/CS" + kChannel + kSettingsFile + "\r\n$BS\t0\t; BS" + kReceiveUnlessNeeded + kDisableIt +
                            "\r\n$CS110\t1\t; CS110" + kReceiveUnlessNeeded + kDisableIt + "\r\n" + Section("BS") + kColumns +
                            "\tTS-ID\r\n";
    for (int i = 0; i < 13; ++i)
        satellite += Row(bsNames[i], 0, bsPt[i], bsTsIds[i], i, bsRemarks[i]);
    satellite += Section("CS110") + kColumns + "\tTS-ID\r\n";
    for (int k = 0; k < 12; ++k)
        satellite += Row("ND" + std::to_string(2 * k + 2), 1, 12 + k, csTsIds[k], k, "");

    const std::string terrestrial =
        "; " + std::string(u8"\u5730\u30c7\u30b8UHF/CATV") + kChannel + kSettingsFile + "\r\n$UHF\t0\t; UHF" +
        kReceiveUnlessNeeded + kDisableIt + "\r\n" +
        u8";$CATV\t1\t; \u30b1\u30fc\u30d6\u30eb\u30c6\u30ec\u30d3\u53d7\u4fe1\u3001\u5fc5\u8981\u306a\u3089\u3070"
        u8"\u30bb\u30df\u30b3\u30ed\u30f3\u3092\u5916\u3057\u3066\u6709\u52b9\u306b\u3057\u3066\u304f\u3060\u3055\u3044\r\n"
        u8";$VHF\tx\t; \u3053\u306e\u8a2d\u5b9a\u306f\u6a5f\u80fd\u3057\u307e\u305b\u3093\r\n" +
        Section("UHF") + kColumns + "\r\n";

    const struct {
        std::string expected, actual;
        size_t size;
    } texts[] = {
        {ToCodePage932(settings), Bytes(g_defaultSettingsText, sizeof g_defaultSettingsText), 115},
        {ToCodePage932(satellite), Bytes(g_satelliteChannelText, sizeof g_satelliteChannelText), 1200},
        {ToCodePage932(terrestrial), Bytes(g_terrestrialHeader, sizeof g_terrestrialHeader), 308},
        {ToCodePage932(Section("CATV") + kColumns + "\r\n"), Bytes(g_catvHeader, sizeof g_catvHeader), 92},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(t.expected.size(), t.size);
        EXPECT_EQ(t.actual, t.expected);
    }
#endif
}
