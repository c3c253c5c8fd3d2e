// The side files and the board's channel list, where the board or the disk
// misbehave in ways the stand-in cannot.
#include "tests/driver/DriverTest.h"

class SideFileTest : public DriverTest
{
};

TEST_F(SideFileTest, BoardNameWithoutTerminatorIsCutAtItsFifteenthByte)
{
    board.channels = {"0123456789ABCDEF", "C13ch"};
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    ASSERT_NE(Core().EnumChannelName(0, 0), nullptr);
    EXPECT_STREQ(Core().EnumChannelName(0, 0), L"0123456789ABCDE");
}

TEST_F(SideFileTest, ChannelCountIsWhatTheLibraryWroteWhateverItReturns)
{
    board.Fail(BoardCall::PtDllGetChannelMax, 0, BoardFault::ResultOne);
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(board.Count(BoardCall::PtDllGetChannelInfo), 50) << "a non-zero result is not looked at";
    EXPECT_NE(Core().EnumChannelName(0, 49), nullptr);
}

TEST_F(SideFileTest, LibraryWritingNoCountListsNoChannelsAndStillLoads)
{
    board.Fail(BoardCall::PtDllGetChannelMax, 0, BoardFault::OutputUnwritten);
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(board.Count(BoardCall::PtDllGetChannelInfo), 0);
    EXPECT_EQ(Core().EnumChannelName(0, 0), nullptr);
}

TEST_F(SideFileTest, AbsurdChannelCountIsAskedOnlyForPtChannelsThatExist)
{
    board.Fail(BoardCall::PtDllGetChannelMax, 0, BoardFault::OutputOversized);
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(board.Count(BoardCall::PtDllGetChannelInfo), 256);
}

// The satellite copy writes the settings file (one write, one close) and
// then the channel file at release.
TEST_F(SideFileTest, SideFileWhoseWriteFailsIsRemoved)
{
    os.Fail(OsCall::Write, 1);
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    Release();
    EXPECT_EQ(os.files.count(InFolder(L"Zendrel-ST.ini")), 0u) << "half written, then removed";
    EXPECT_EQ(os.File(InFolder(L"Zendrel-S.SetCh.txt")).size(), 1200u);
    EXPECT_EQ(os.FilesOpen(), 0);
}

// Flushed and moved into place before it is closed, a side file is whole
// whatever closing it reports; one that could not be flushed is removed.
TEST_F(SideFileTest, SideFileIsKeptOnlyWhenFlushed)
{
    os.Fail(OsCall::Close, 2);
    os.Fail(OsCall::Flush, 1);
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    Release();
    EXPECT_EQ(os.files.count(InFolder(L"Zendrel-ST.ini")), 0u);
    EXPECT_EQ(os.File(InFolder(L"Zendrel-S.SetCh.txt")).size(), 1200u);
    EXPECT_EQ(os.files.size(), 1u) << "a temporary file was left";
}

TEST_F(SideFileTest, ShortModuleNameIsReadAsItsLongName)
{
    os.longPaths[InFolder(L"ZEND~XDB.DLL")] = InFolder(L"Zendrel-S.dll");
    ASSERT_TRUE(Load(L"ZEND~XDB.DLL"));
    EXPECT_STREQ(Core().GetTunerName(), L"Ec1Bs1");
    Release();
    EXPECT_EQ(os.files.count(InFolder(L"Zendrel-S.SetCh.txt")), 1u);
    EXPECT_EQ(os.files.count(InFolder(L"Zendrel-ST.ini")), 1u);
}

// A side file's path may take all 259 characters of its field: its
// temporary file's name is no longer.
TEST_F(SideFileTest, SideFilesWithPathsOfTheLongestLengthAreWritten)
{
    std::wstring folder = L"C:\\" + std::wstring(259 - 3 - 1 - 19, L'd') + L"\\";
    os.modulePath = folder + L"Zendrel-T.dll";
    ASSERT_TRUE(AttachToFakes(&slot));
    Release();
    ASSERT_EQ((folder + L"Zendrel-T.SetCh.txt").size(), 259u);
    EXPECT_EQ(os.files.count(folder + L"Zendrel-T.SetCh.txt"), 1u);
    EXPECT_EQ(os.files.count(folder + L"Zendrel-ST.ini"), 1u);
    EXPECT_EQ(os.files.size(), 2u);
}
