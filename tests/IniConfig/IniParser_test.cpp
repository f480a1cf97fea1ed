#include <gtest/gtest.h>

#include <stdlib.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "IniConfig/iniconfig.h"
#include "tests/IniConfig/IniTestSupport.h"

namespace {

struct XConfigFree {
    void operator()(INI_CONFIG* c) const { ini_config_destroy(c); }
};
typedef std::unique_ptr<INI_CONFIG, XConfigFree> ConfigPtr;

ConfigPtr Parse(const std::string& text, int isGBK = 0)
{
    return ConfigPtr(ini_config_create_from_string(text.data(), static_cast<int>(text.size()), isGBK));
}

// Dump of a text that cannot be parsed.
const char* const kFails = "<fails>";

struct tagParseCase {
    const char* name;
    std::string text;
    std::string dump;
};

TEST(IniParser, LineForms)
{
    const std::string longName(INI_SECTION_NAME_MAX, 's');
    const tagParseCase cases[] = {
        {"trimmed key and value", " key = value \r\n", "[default]\nkey|value\n"},
        {"tabs are kept", "\tkey\t=\tv\t\n", "[default]\n\tkey\t|\tv\t\n"},
        {"comment in column 1", ";k=v\nx=1\n", "[default]\nx|1\n"},
        {"semicolon after column 1 starts a key", " ;k=v\n", "[default]\n;k|v\n"},
        {"semicolon inside a value", "k=a;b\n", "[default]\nk|a;b\n"},
        {"first equals sign splits", "a=b=c\n", "[default]\na|b=c\n"},
        {"last line without line feed", "k=v", "[default]\nk|v\n"},
        {"empty value", "k=\nj= \r\n", "[default]\nj|\nk|\n"},
        {"lines without equals sign store nothing", "\n\njunk\n  \r\nk=1\n", "[default]\nk|1\n"},
        {"keys before the first header", "v=3\n[s]\nk=1\n", "[default]\nv|3\n[s]\nk|1\n"},
        {"repeated section keeps the last", "[f]\na=1\nb=2\n[g]\nc=3\n[f]\nd=4\n", "[default]\n[f]\nd|4\n[g]\nc|3\n"},
        {"repeated key keeps the last", "a=1\na=2\n", "[default]\na|2\n"},
        {"header trimmed", "[ f \r]\nk=1\n", "[default]\n[f]\nk|1\n"},
        {"text after a header", "[f] x\nk=1", "[default]\n[f]\nk|1\n"},
        {"brackets inside a value", "k=[x]\n", "[default]\nk|[x]\n"},
        {"equals sign inside a header", "[s=t]\nk=1\n", "[default]\n[s=t]\nk|1\n"},
        {"key prefix of another", "volume=2\nvol=1\n", "[default]\nvol|1\nvolume|2\n"},
        {"explicit default header replaces it", "v=1\n[default]\nw=2\n", "[default]\nw|2\n"},
        {"header name at its limit", "[" + longName + "]\nk=1\n", "[default]\n[" + longName + "]\nk|1\n"},
        {"empty text", "", "[default]\n"},
        {"key starting with equals sign", "=v\n", kFails},
        {"blank key", "  = v\n", kFails},
        {"header of spaces", "[   ]\n", kFails},
        {"empty header", "[]\n", kFails},
        {"header not closed on its line", "[abc\nk=1]\n", kFails},
        {"header not closed at the end", "k=1\n[abc", kFails},
        {"lone bracket at the end", "k=1\n[", kFails},
        {"header name over its limit", "[" + longName + "x]\n", kFails},
        {"bracket in a key opens a header", "a[b]=1\n", kFails},
        {"NUL in a key", std::string("a\0b=1\n", 6), kFails},
        {"NUL in a header", std::string("[a\0]\n", 5), kFails},
    };
    for (const tagParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigPtr config = Parse(c.text);
        EXPECT_EQ(config ? XDumpConfig(config.get()) : kFails, c.dump);
    }
}

TEST(IniParser, LengthArgument)
{
    // 0 means the string's own length; otherwise only `slen` bytes count.
    const char text[] = "a=1\nb=2\n";
    ConfigPtr whole(ini_config_create_from_string(text, 0, 0));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(XDumpConfig(whole.get()), "[default]\na|1\nb|2\n");
    ConfigPtr part(ini_config_create_from_string(text, 6, 0));
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(XDumpConfig(part.get()), "[default]\na|1\nb|\n");
    EXPECT_EQ(ini_config_create_from_string(nullptr, 0, 0), nullptr);
    EXPECT_EQ(ini_config_create_from_string(text, -1, 0), nullptr);
}

TEST(IniParser, DoubleByteCharacters)
{
    // The byte after a lead byte is skipped unseen: here the "=".
    const std::string text = "k\x81=v\nx=\xB0[\n";
    ConfigPtr plain = Parse(text, 0);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(XDumpConfig(plain.get()), "[default]\nk\x81|v\nx|\xB0[\n");
    ConfigPtr gbk = Parse(text, 1);
    ASSERT_NE(gbk, nullptr);
    EXPECT_EQ(XDumpConfig(gbk.get()), "[default]\nx|\xB0[\n");

    // A lead byte as the very last byte stays inside the text.
    std::string tail = "k=v\xB0";
    ConfigPtr cut(ini_config_create_from_string(tail.data(), static_cast<int>(tail.size()), 1));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(XDumpConfig(cut.get()), "[default]\nk|v\xB0\n");
}

TEST(IniParser, KeysAndValuesHaveNoFixedLimit)
{
    const std::string key(70000, 'k');
    const std::string value(300000, 'v');
    ConfigPtr config = Parse("[funcset]\n" + key + "=" + value + "\n");
    ASSERT_NE(config, nullptr);
    const char* got = ini_config_get_string(config.get(), "funcset", key.c_str(), nullptr);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got), value);
}

TEST(IniParser, FileReading)
{
    char dir[] = "/tmp/ini-parse-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/system.ini";

    EXPECT_EQ(ini_config_create_from_file(file.c_str(), 0), nullptr) << "missing file";
    EXPECT_EQ(ini_config_create_from_file(dir, 0), nullptr) << "a folder";

    XWriteFileText(file, "");
    ConfigPtr empty(ini_config_create_from_file(file.c_str(), 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(XDumpConfig(empty.get()), "[default]\n");
    EXPECT_EQ(empty->numNodes, 1);

    XWriteFileText(file, "[funcset]\r\nvolume = 7\r\n");
    ConfigPtr crlf(ini_config_create_from_file(file.c_str(), 0));
    ASSERT_NE(crlf, nullptr);
    EXPECT_EQ(ini_config_get_int(crlf.get(), "funcset", "volume", -1), 7);

    XWriteFileText(file, "[funcset\nvolume=7\n");
    EXPECT_EQ(ini_config_create_from_file(file.c_str(), 0), nullptr);
    XTestRun(std::string("rm -rf '") + dir + "'");
}

struct tagIntCase {
    const char* text;
    int value;
};

TEST(IniValues, IntegersLikeAtoiClampedToInt)
{
    const tagIntCase cases[] = {
        {"13", 13},
        {"+5", 5},
        {"-7x", -7},
        {"\t 42", 42},
        {"abc", 0},
        {"", 0},
        {"12 34", 12},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
    };
    ConfigPtr config = Parse("");
    ASSERT_NE(config, nullptr);
    for (const tagIntCase& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_NE(ini_config_set_string(config.get(), "funcset", "k", 0, c.text, static_cast<int>(strlen(c.text))), 0);
        EXPECT_EQ(ini_config_get_int(config.get(), "funcset", "k", 99), c.value);
    }
}

TEST(IniValues, MissingKeysGiveTheDefault)
{
    ConfigPtr config = Parse("version=3\n[funcset]\nvolume=13\n");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(ini_config_get_int(config.get(), nullptr, "version", -1), 3) << "null section is default";
    EXPECT_EQ(ini_config_get_int(config.get(), "default", "version", -1), 3);
    EXPECT_EQ(ini_config_get_int(config.get(), "funcset", "version", -1), -1);
    EXPECT_EQ(ini_config_get_int(config.get(), "nosuch", "volume", 15), 15);
    EXPECT_EQ(ini_config_get_int(config.get(), "funcset", "vol", 15), 15);
    EXPECT_EQ(ini_config_get_int(nullptr, "funcset", "volume", 15), 15);
    EXPECT_STREQ(ini_config_get_string(config.get(), "funcset", "volume", "x"), "13");
    EXPECT_STREQ(ini_config_get_string(config.get(), "funcset", "volumes", "x"), "x");
}

TEST(IniValues, SetStringResultsAndRefusals)
{
    ConfigPtr config = Parse("");
    ASSERT_NE(config, nullptr);
    INI_CONFIG* c = config.get();
    EXPECT_EQ(ini_config_set_string(c, "funcset", "volume", 0, "13", 2), 1);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "volume", 0, "14", 2), 2);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "volume", 3, "5", 1), 1) << "first 3 bytes: vol";
    EXPECT_EQ(ini_config_set_string(c, nullptr, "version", 0, "3", 1), 1);
    EXPECT_EQ(ini_config_set_int(c, "funcset", "n", 0, INT_MIN), 1);
    EXPECT_EQ(ini_config_set_string(c, "storageset", "empty", 0, "", 0), 1);

    // Keys, values and names the file could not give back are refused.
    const std::string longName(INI_SECTION_NAME_MAX + 1, 's');
    EXPECT_EQ(ini_config_set_string(c, "funcset", "", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "a\nb", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "a=b", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "[a", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "k", 0, "1\n[x]", 5), 0);
    EXPECT_EQ(ini_config_set_string(c, "", "k", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, "a]b", "k", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, longName.c_str(), "k", 0, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(c, "funcset", "k", -1, "1", 1), 0);
    EXPECT_EQ(ini_config_set_string(nullptr, "funcset", "k", 0, "1", 1), 0);

    EXPECT_EQ(XDumpConfig(c), "[default]\nversion|3\n[funcset]\nn|-2147483648\nvol|5\nvolume|14\n[storageset]\nempty|\n");
}

}  // namespace
