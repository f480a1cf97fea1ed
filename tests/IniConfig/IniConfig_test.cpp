#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "IniConfig/IniConfig.h"
#include "support/TestBoard.h"
#include "tests/IniConfig/IniConfigStoreSupport.h"

namespace {

class IniConfigStore : public ::testing::Test {
protected:
    std::string File() const { return m_Board.Path("/root/system.ini"); }
    std::string Bad() const { return File() + ".bad"; }
    // Python's view of the settings file: "section.key=value" lines.
    std::string View() const { return XConfigParserView(File()); }
    static bool Has(const std::string& view, const std::string& line)
    {
        return ("\n" + view).find("\n" + line + "\n") != std::string::npos;
    }

    CTestBoard m_Board;
};

struct tagCacheCase {
    const char* key;
    int (CIniConfig::*getter)() const;
    int created;    // value after the file is created
};

const tagCacheCase kCached[] = {
    {"voice_g_snapshot", &CIniConfig::GetGSnapVoiceCfg, 1},
    {"voice_a_snapshot", &CIniConfig::GetASnapVoiceCfg, 1},
    {"voice_m_snapshot", &CIniConfig::GetMSnapVoiceCfg, 1},
    {"voice_gps", &CIniConfig::GetGpsVoiceCfg, 1},
    {"audiorecord", &CIniConfig::GetMAudioRecordCfg, 1},
    {"gesture_capture", &CIniConfig::GetGestureCaptureCfg, 1},
    {"gesture_trigger_level", &CIniConfig::GetGestureTriggerLevel, 1},
    {"connectauth", &CIniConfig::GetConnectAuthCfg, 0},
    {"snapshot_associate_video", &CIniConfig::GetSnapshotAssociateVideoCfg, 0},
    {"res_mode", &CIniConfig::GetResModeCfg, 1},
    {"enableparkingmonitor", &CIniConfig::GetParkingModeCfg, 0},
    {"parkingtimethreshold", &CIniConfig::GetParkingTimeThresholdCfg, 3},
    {"voice_parking", &CIniConfig::GetParkingVoiceCfg, 1},
    {"language", &CIniConfig::GetLanguageCfg, 1},
};

TEST_F(IniConfigStore, CreatesTheSpecifiedFileWhenMissing)
{
    CTestIniConfig store;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(store.Init());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("create iniconfig file"), std::string::npos) << out;

    const std::string golden = XGoldenSettings();
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(XFileText(File()), golden);
    EXPECT_FALSE(XPathExists(File() + ".tmp"));

    // Python reads the same 22 keys with the same values.
    std::string expected;
    std::string section;
    size_t keys = 0;
    for (size_t at = 0, nl; (nl = golden.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = golden.substr(at, nl - at);
        if (line[0] == '[') {
            section = line.substr(1, line.size() - 2);
        } else {
            expected += section + "." + line + "\n";
            ++keys;
        }
    }
    EXPECT_EQ(keys, 22u);
    EXPECT_EQ(View(), expected);

    for (const tagCacheCase& c : kCached) {
        EXPECT_EQ((store.*c.getter)(), c.created) << c.key;
        EXPECT_EQ(store.GetInt("funcset", c.key, -5), c.created) << c.key;
    }
    EXPECT_EQ(store.GetSpeedUnitCfg(), 0);
    EXPECT_EQ(store.GetInt("funcset", "volume", 15), 13);
    EXPECT_EQ(store.GetInt(nullptr, "version", 0), 3);
    EXPECT_EQ(store.GetInt("storageset", "alarmimageonsdquota", 0), 5);
    EXPECT_EQ(store.GetInt("funcset", "enablegpsspeedosd", 1), 1);
}

struct tagLoadCase {
    const char* name;
    const char* file;
    std::vector<std::string> expected;   // lines of Python's view afterwards
    std::vector<std::string> absent;
};

TEST_F(IniConfigStore, LoadUpgradesFillsInAndForces)
{
    const tagLoadCase cases[] = {
        {"version 2 is upgraded",
         "[default]\nversion=2\n[funcset]\nsnapshot_associate_video=1\ngensor_level=40\n",
         {"default.version=3", "funcset.snapshot_associate_video=0", "funcset.gensor_level=12"},
         {}},
        {"version 1 too", "version=1\n[funcset]\nsnapshot_associate_video=1\ngensor_level=40\n",
         {"default.version=3", "funcset.snapshot_associate_video=0", "funcset.gensor_level=12"},
         {}},
        {"version 3 keeps its values", "version=3\n[funcset]\nsnapshot_associate_video=1\ngensor_level=40\n",
         {"default.version=3", "funcset.snapshot_associate_video=1", "funcset.gensor_level=40"},
         {}},
        {"no version counts as current", "[funcset]\nsnapshot_associate_video=1\n",
         {"funcset.snapshot_associate_video=1"},
         {"default.version=3"}},
        {"missing keys take their load defaults",
         "[default]\nversion=3\n[funcset]\nvolume=7\nvoice_gps=0\n[storageset]\ncommonvideoonsdquota=50\n",
         {"funcset.language=0", "funcset.audiorecord=0", "funcset.parkingtimethreshold=10", "funcset.volume=7",
          "funcset.voice_gps=0", "funcset.gesture_capture=1", "funcset.gesture_trigger_level=1",
          "funcset.connectauth=0", "funcset.gensor_level=12", "funcset.voice_powerup=1", "funcset.voice_powerdown=1",
          "funcset.voice_g_snapshot=1", "funcset.voice_a_snapshot=1", "funcset.voice_m_snapshot=1",
          "funcset.res_mode=1", "funcset.enableparkingmonitor=0", "funcset.snapshot_associate_video=0",
          "storageset.commonvideoonsdquota=50", "storageset.alarmvideoonsdquota=30",
          "storageset.alarmimageonsdquota=5"},
         {}},
        {"parking prompts are always on", "version=3\n[funcset]\nvoice_parking=0\n", {"funcset.voice_parking=1"}, {}},
        {"other keys and sections stay", "version=3\n[funcset]\nspeedunit=2\nenablegpsspeedosd=0\n[other]\nx=1\n",
         {"funcset.speedunit=2", "funcset.enablegpsspeedosd=0", "other.x=1"},
         {}},
        {"values are rewritten as numbers", "version=3\n[funcset]\nvolume= 07 \r\nconnectauth=abc\nres_mode=0\n",
         {"funcset.volume=7", "funcset.connectauth=0", "funcset.res_mode=0"},
         {}},
        {"keys in the wrong section are not moved", "version=3\n[storageset]\nlanguage=2\n",
         {"storageset.language=2", "funcset.language=0"},
         {}},
    };
    for (const tagLoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        XWriteFileText(File(), c.file);
        CTestIniConfig store;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(store.Init());
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("ini_config_create_from_file"), std::string::npos);
        EXPECT_FALSE(XPathExists(Bad()));
        std::string view = View();
        for (const std::string& line : c.expected) {
            EXPECT_TRUE(Has(view, line)) << line << "\n" << view;
        }
        for (const std::string& line : c.absent) {
            EXPECT_FALSE(Has(view, line)) << line << "\n" << view;
        }
        // The store and its cache agree with the file.
        for (const tagCacheCase& k : kCached) {
            int value = store.GetInt("funcset", k.key, -5);
            EXPECT_TRUE(Has(view, "funcset." + std::string(k.key) + "=" + std::to_string(value))) << k.key;
            EXPECT_EQ((store.*k.getter)(), value) << k.key;
        }
    }
}

TEST_F(IniConfigStore, CachedFieldsFollowSetInt)
{
    CTestIniConfig store;
    ASSERT_TRUE(store.Init());
    int value = 40;
    for (const tagCacheCase& c : kCached) {
        ++value;
        EXPECT_EQ(store.SetInt("funcset", c.key, 0, value), 2) << c.key;
        EXPECT_EQ((store.*c.getter)(), value) << c.key;
    }
    EXPECT_EQ(store.SetInt("funcset", "language", 2), 2);
    EXPECT_EQ(store.GetLanguageCfg(), 2);
    EXPECT_TRUE(Has(View(), "funcset.language=2"));

    // Only "funcset" feeds the cache; keys without a cache just store.
    EXPECT_EQ(store.SetInt("storageset", "language", 0, 9), 1);
    EXPECT_EQ(store.GetLanguageCfg(), 2);
    EXPECT_EQ(store.SetInt("funcset", "volume", 0, 20), 2);
    EXPECT_EQ(store.GetInt("funcset", "volume", 0), 20);
    EXPECT_EQ(store.SetInt("funcset", "speedunit", 0, 1), 1);
    EXPECT_EQ(store.GetSpeedUnitCfg(), 0);
}

TEST_F(IniConfigStore, PrefixKeysAndRefusedKeys)
{
    CTestIniConfig store;
    ASSERT_TRUE(store.Init());
    EXPECT_EQ(store.SetInt("funcset", "vol", 0, 3), 1);
    EXPECT_EQ(store.SetInt("funcset", "volume", 3, 4), 2) << "the first three bytes: vol";
    std::string view = View();
    EXPECT_TRUE(Has(view, "funcset.vol=4"));
    EXPECT_TRUE(Has(view, "funcset.volume=13"));

    const std::string before = XFileText(File());
    EXPECT_EQ(store.SetInt("funcset", "a=b", 0, 1), 0);
    EXPECT_EQ(store.SetInt("funcset", "", 0, 1), 0);
    EXPECT_EQ(XFileText(File()), before);
}

// A key or section the saved file would not give back is refused when set:
// the file keeps parsing to the same values, here and after a restart.
TEST_F(IniConfigStore, NamesTheFileCannotGiveBackAreRefused)
{
    struct tagCase {
        const char* what;
        std::string section;
        std::string key;
    };
    const tagCase cases[] = {
        {"blank key", "funcset", " "},
        {"carriage return key", "funcset", "\r"},
        {"blank after", "funcset", "volume "},
        {"blank before", "funcset", " volume"},
        {"carriage return after", "funcset", "volume\r"},
        {"semicolon first", "funcset", ";k"},
        {"hash first", "funcset", "#k"},
        {"tab inside", "funcset", "vol\tume"},
        {"form feed first", "funcset", "\fvolume"},
        {"control byte", "funcset", "k\x01"},
        {"delete byte", "funcset", "k\x7f"},
        {"equals sign", "funcset", "a=b"},
        {"opening bracket", "funcset", "[k"},
        {"line feed", "funcset", "k\nvolume"},
        {"empty key", "funcset", ""},
        {"section, blank after", "funcset ", "volume"},
        {"section, blank before", " funcset", "volume"},
        {"section, carriage return", "funcset\r", "volume"},
        {"section, tab", "func\tset", "volume"},
        {"section, closing bracket", "func]set", "volume"},
        {"blank section", " ", "volume"},
        {"empty section", "", "volume"},
    };
    CTestIniConfig store;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(store.Init());
    testing::internal::GetCapturedStdout();
    const std::string text = XFileText(File());
    const std::string view = View();
    ASSERT_TRUE(Has(view, "funcset.volume=13")) << view;
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(store.SetInt(c.section.c_str(), c.key.c_str(), 0, 99), 0);
        EXPECT_EQ(store.GetInt("funcset", "volume", -5), 13);
        EXPECT_EQ(XFileText(File()), text);
    }
    EXPECT_EQ(View(), view);

    // Blanks, semicolons and brackets inside a name are read back as they are.
    const tagCase kept[] = {
        {"inner blank", "funcset", "my key"},
        {"inner semicolon", "funcset", "k;x"},
        {"hash after", "funcset", "k#"},
        {"closing bracket in a key", "funcset", "k]"},
        {"section with a blank", "my section", "k"},
        {"section with a semicolon first", ";s", "k"},
    };
    int value = 0;
    for (const tagCase& c : kept) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(store.SetInt(c.section.c_str(), c.key.c_str(), 0, ++value), 1);
    }

    // A restart reads every value back, from our parser and from Python's.
    CTestIniConfig again;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(again.Init());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(again.GetInt("funcset", "volume", -5), 13);
    const std::string after = View();
    value = 0;
    for (const tagCase& c : kept) {
        SCOPED_TRACE(c.what);
        ++value;
        EXPECT_EQ(again.GetInt(c.section.c_str(), c.key.c_str(), -5), value);
        EXPECT_TRUE(Has(after, c.section + "." + c.key + "=" + std::to_string(value))) << after;
    }
    for (size_t at = 0, nl; (nl = view.find('\n', at)) != std::string::npos; at = nl + 1) {
        EXPECT_TRUE(Has(after, view.substr(at, nl - at))) << view.substr(at, nl - at);
    }
}

TEST_F(IniConfigStore, UnloadedStore)
{
    CTestIniConfig store;
    testing::internal::CaptureStderr();
    EXPECT_EQ(store.GetInt("funcset", "volume", 15), -1);
    EXPECT_EQ(store.SetInt("funcset", "volume", 0, 15), -1);
    EXPECT_FALSE(store.SaveFuncSetting());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("InitConfig not Init  "), std::string::npos) << err;
    EXPECT_NE(err.find("save function setting ini file error  "), std::string::npos) << err;
    EXPECT_FALSE(store.ResetIniConfig());
    char buf[16];
    EXPECT_EQ(store.GetIniConfig(buf, sizeof(buf)), -1);
    EXPECT_FALSE(XPathExists(File()));

    // Constructor values.
    EXPECT_EQ(store.GetGestureCaptureCfg(), 1);
    EXPECT_EQ(store.GetGestureTriggerLevel(), 1);
    EXPECT_EQ(store.GetResModeCfg(), 1);
    EXPECT_EQ(store.GetParkingTimeThresholdCfg(), 3);
    EXPECT_EQ(store.GetLanguageCfg(), 0);
    EXPECT_EQ(store.GetParkingVoiceCfg(), 0);
    EXPECT_EQ(store.GetMAudioRecordCfg(), 0);
}

struct tagBadFile {
    const char* name;
    std::string bytes;
};

// A file that cannot be read as settings is kept aside and a fresh one
// takes its place.
TEST_F(IniConfigStore, UnreadableOrCutOffFilesAreKeptAside)
{
    const std::string golden = XGoldenSettings();
    auto cut = [&](const std::string& at, size_t extra) { return golden.substr(0, golden.find(at) + extra); };
    const tagBadFile cases[] = {
        {"cut inside the first header", golden.substr(0, 4)},
        {"cut inside the funcset header", cut("[funcset]", 4)},
        {"cut after a header's bracket", cut("[storageset]", 1)},
        {"cut inside a key", cut("gesture_trigger_level", 9)},
        {"cut after the equals sign", cut("volume=13", 7)},
        {"cut inside a value", cut("volume=13", 8)},
        {"cut before the last line feed", golden.substr(0, golden.size() - 1)},
        {"empty", ""},
        {"key starting with equals sign", "=v\n"},
        {"header of spaces", "[   ]\nvolume=3\n"},
        {"unclosed header", "[funcset\nvolume=3\n"},
        {"header name too long", "[" + std::string(64, 'f') + "]\nvolume=3\n"},
    };
    for (const tagBadFile& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(Bad().c_str());
        XWriteFileText(File(), c.bytes);
        CTestIniConfig store;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_TRUE(store.Init());
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("read function setting ini file error  "), std::string::npos) << err;
        EXPECT_NE(out.find("kept as " + Bad()), std::string::npos) << out;

        EXPECT_EQ(XFileText(File()), golden);
        EXPECT_TRUE(XPathExists(Bad()));
        EXPECT_EQ(XFileText(Bad()), c.bytes);
        EXPECT_EQ(store.GetInt("funcset", "volume", 15), 13);
        EXPECT_EQ(store.GetLanguageCfg(), 1);
        EXPECT_EQ(store.SetInt("funcset", "volume", 0, 5), 2);
        EXPECT_TRUE(store.ResetIniConfig());
        EXPECT_EQ(XFileText(File()), golden);
    }
}

TEST_F(IniConfigStore, FileCutAtALineEndReadsAsShorter)
{
    // Indistinguishable from a file that lacks the rest: load defaults.
    const std::string golden = XGoldenSettings();
    XWriteFileText(File(), golden.substr(0, golden.find("parkingtimethreshold")));
    CTestIniConfig store;
    ASSERT_TRUE(store.Init());
    EXPECT_FALSE(XPathExists(Bad()));
    EXPECT_EQ(store.GetInt("funcset", "language", -5), 1);
    EXPECT_EQ(store.GetInt("funcset", "parkingtimethreshold", -5), 10);
    EXPECT_EQ(store.GetInt("storageset", "commonvideoonsdquota", -5), 65);
}

TEST_F(IniConfigStore, BrokenFileThatCannotBeMovedIsLeftAlone)
{
    const std::string broken = "[funcset\nvolume=3\n";
    XWriteFileText(File(), broken);
    ASSERT_EQ(mkdir(Bad().c_str(), 0755), 0);
    XWriteFileText(Bad() + "/x", "x");
    CTestIniConfig store;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.Init());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(XFileText(File()), broken);
    // Defaults serve this run.
    EXPECT_EQ(store.GetInt("funcset", "volume", 15), 13);
    EXPECT_EQ(store.GetLanguageCfg(), 1);
}

TEST_F(IniConfigStore, ResetKeepsVersionAndUnlistedKeys)
{
    CTestIniConfig store;
    ASSERT_TRUE(store.Init());
    for (const tagCacheCase& c : kCached) {
        ASSERT_EQ(store.SetInt("funcset", c.key, 0, 7), 2);
    }
    for (const char* key : {"volume", "gensor_level", "voice_powerup", "voice_powerdown"}) {
        ASSERT_EQ(store.SetInt("funcset", key, 0, 7), 2);
    }
    for (const char* key : {"commonvideoonsdquota", "alarmvideoonsdquota", "alarmimageonsdquota"}) {
        ASSERT_EQ(store.SetInt("storageset", key, 0, 7), 2);
    }
    ASSERT_EQ(store.SetInt("funcset", "speedunit", 0, 4), 1);
    ASSERT_EQ(store.SetInt("default", "version", 0, 9), 2);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(store.ResetIniConfig());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ResetIniConfig"), std::string::npos);

    std::string expected = XGoldenSettings();
    expected.replace(expected.find("version=3"), 9, "version=9");
    expected.insert(expected.find("voice_a_snapshot"), "speedunit=4\n");
    EXPECT_EQ(XFileText(File()), expected);
    for (const tagCacheCase& c : kCached) {
        EXPECT_EQ((store.*c.getter)(), c.created) << c.key;
    }
}

TEST_F(IniConfigStore, RawFileForTheApp)
{
    CTestIniConfig store;
    ASSERT_TRUE(store.Init());
    const std::string file = XFileText(File());
    std::vector<char> buf(4096, '#');
    testing::internal::CaptureStdout();
    int n = store.GetIniConfig(buf.data(), static_cast<int>(buf.size()));
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(n, static_cast<int>(file.size()));
    EXPECT_EQ(std::string(buf.data(), file.size()), file);
    EXPECT_EQ(buf[file.size()], '#') << "not terminated";
    EXPECT_NE(out.find("iniconfig len : " + std::to_string(n) + "\n"), std::string::npos) << out;

    EXPECT_EQ(store.GetIniConfig(buf.data(), 10), 10);
    EXPECT_EQ(std::string(buf.data(), 10), file.substr(0, 10));
    EXPECT_EQ(store.GetIniConfig(buf.data(), 0), 0);
}

TEST_F(IniConfigStore, ReopeningReadsTheFileOnlyOnce)
{
    CTestIniConfig store;
    ASSERT_TRUE(store.Init());
    ASSERT_EQ(store.SetInt("funcset", "volume", 0, 3), 2);

    // Loaded and present: neither read nor written again.
    XWriteFileText(File(), "[funcset]\nvolume=1\n");
    EXPECT_TRUE(store.OpenFuncSetting());
    EXPECT_EQ(store.GetInt("funcset", "volume", 0), 3);
    EXPECT_EQ(XFileText(File()), "[funcset]\nvolume=1\n");

    // Gone: created afresh, replacing what was loaded.
    ASSERT_EQ(unlink(File().c_str()), 0);
    EXPECT_TRUE(store.OpenFuncSetting());
    EXPECT_EQ(store.GetInt("funcset", "volume", 0), 13);
    EXPECT_EQ(XFileText(File()), XGoldenSettings());

    // CleanUp writes the store back.
    ASSERT_EQ(unlink(File().c_str()), 0);
    EXPECT_TRUE(store.CleanUp());
    EXPECT_EQ(XFileText(File()), XGoldenSettings());
}

TEST_F(IniConfigStore, ProcessStoreOnTheBoard)
{
    CIniConfig* store = CIniConfig::instance();
    EXPECT_EQ(store, CIniConfig::instance());
    ASSERT_TRUE(store->Init());
    EXPECT_EQ(XFileText(File()), XGoldenSettings());
    EXPECT_EQ(store->GetInt("funcset", "volume", 15), 13);
}

}  // namespace
