#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TCPComm/ProductInfo.h"
#include "TCPComm/TcpFrame.h"

namespace {

std::vector<unsigned char> Hex(const std::string& text)
{
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

std::vector<unsigned char> Frame(uint32_t cmd, const std::vector<unsigned char>& param)
{
    std::vector<unsigned char> buf(TCP_FRAME_MAX_LEN);
    int n = XBuildFrame(buf.data(), buf.size(), cmd, param.data(), param.size());
    buf.resize(static_cast<size_t>(n));
    return buf;
}

struct tagGolden {
    const char* name;
    uint32_t cmd;
    std::string param;  // hex
    std::string frame;  // hex
};

TEST(TcpFrame, GoldenFrames)
{
    const tagGolden cases[] = {
        {"heartbeat", 0x11111111, "", "ff f0 00 45 01 00 11 11 11 11 00 00"},
        {"auth accepted", 0x1004, "00", "ff f0 00 16 01 00 00 00 10 04 00 01 00"},
        {"auth wrong code", 0x1004, "01", "ff f0 00 17 01 00 00 00 10 04 00 01 01"},
        {"code needed", 0x1002, "", "ff f0 00 13 01 00 00 00 10 02 00 00"},
        {"set the time", 0x6001, "", "ff f0 00 62 01 00 00 00 60 01 00 00"},
        {"displaced", 0x11111113, "", "ff f0 00 47 01 00 11 11 11 13 00 00"},
        {"product info ZQ2", 0x0001, "01 02 20 17 07 31 01 02 02 11 22 33 44 55",
         "ff f0 01 86 01 00 00 00 00 01 00 0e 01 02 20 17 07 31 01 02 02 11 22 33 44 55"},
        {"model ZQ2", 0x0002, "5a 51 32", "ff f0 00 e3 01 00 00 00 00 02 00 03 5a 51 32"},
        {"model unknow", 0x0002, "75 6e 6b 6e 6f 77",
         "ff f0 02 ab 01 00 00 00 00 02 00 06 75 6e 6b 6e 6f 77"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Frame(c.cmd, Hex(c.param)), Hex(c.frame)) << c.name;
    }
}

TEST(TcpFrame, ChecksumKeepsTheLow16Bits)
{
    // 300 bytes of 0xFF sum to 76500 = 0x12AD4, plus the head bytes.
    std::vector<unsigned char> param(300, 0xFF);
    uint32_t sum = 0x01 + 0x00 + 0x00 + 0x00 + 0x30 + 0x01 + 0x01 + 0x2C + 300u * 0xFF;
    ASSERT_GT(sum, 0xFFFFu);
    EXPECT_EQ(makechecksum(0x0100, 0x3001, 300, param.data()), static_cast<uint16_t>(sum));
    std::vector<unsigned char> f = Frame(0x3001, param);
    EXPECT_EQ(f[2], static_cast<unsigned char>(sum >> 8));
    EXPECT_EQ(f[3], static_cast<unsigned char>(sum));
}

TEST(TcpFrame, BuildRefusesWhatDoesNotFit)
{
    std::vector<unsigned char> buf(TCP_FRAME_MAX_LEN + 16);
    std::vector<unsigned char> param(TCP_FRAME_MAX_PARALEN + 1, 'x');
    EXPECT_EQ(XBuildFrame(buf.data(), buf.size(), 0x3001, param.data(), param.size()), 0);
    EXPECT_EQ(XBuildFrame(buf.data(), buf.size(), 0x3001, param.data(), param.size() - 1),
              TCP_FRAME_MAX_LEN);
    EXPECT_EQ(XBuildFrame(buf.data(), 20, 0x3001, param.data(), 9), 0);
}

struct tagSeen {
    uint32_t cmd;
    std::string param;
};

std::vector<tagSeen> FeedAll(const std::vector<std::vector<unsigned char>>& chunks)
{
    CTcpFrameReader reader;
    std::vector<tagSeen> seen;
    for (const auto& c : chunks) {
        reader.Feed(c.data(), c.size(), [&](const tagTcpFrame& f) {
            EXPECT_EQ(f.parameter[f.paralen], '\0');
            seen.push_back({f.command, std::string(reinterpret_cast<const char*>(f.parameter), f.paralen)});
            return true;
        });
    }
    return seen;
}

std::vector<unsigned char> Cat(std::initializer_list<std::vector<unsigned char>> parts)
{
    std::vector<unsigned char> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

TEST(TcpFrameReader, FramingTable)
{
    const auto hb = Frame(0x11111111, {});
    const auto auth = Frame(0x1001, {1, 2, 3, 4, 5, 6});
    std::vector<unsigned char> bigHead = Hex("ff f0 00 00 01 00 00 00 70 01 0f a0");  // paralen 4000
    std::vector<unsigned char> big(TCP_FRAME_MAX_PARALEN, 'z');
    const auto biggest = Frame(0x3001, big);
    struct tagCase {
        const char* name;
        std::vector<std::vector<unsigned char>> chunks;
        std::vector<uint32_t> cmds;
    } cases[] = {
        {"two frames in one read", {Cat({auth, hb})}, {0x1001, 0x11111111}},
        {"junk before the head", {Cat({Hex("00 01 ff 02 f0"), hb})}, {0x11111111}},
        {"split 5 + 7", {std::vector<unsigned char>(hb.begin(), hb.begin() + 5),
                         std::vector<unsigned char>(hb.begin() + 5, hb.end())},
         {0x11111111}},
        {"a lone FF ends a read", {Cat({auth, Hex("ff")}), std::vector<unsigned char>(hb.begin() + 1, hb.end())},
         {0x1001, 0x11111111}},
        {"a head declaring 4000 bytes, then a heartbeat", {Cat({bigHead, hb})}, {0x11111111}},
        {"a 2048-byte frame in pieces", {std::vector<unsigned char>(biggest.begin(), biggest.begin() + 1000),
                                         std::vector<unsigned char>(biggest.begin() + 1000, biggest.end()), hb},
         {0x3001, 0x11111111}},
    };
    for (const auto& c : cases) {
        std::vector<tagSeen> seen = FeedAll(c.chunks);
        std::vector<uint32_t> cmds;
        for (const auto& s : seen) {
            cmds.push_back(s.cmd);
        }
        EXPECT_EQ(cmds, c.cmds) << c.name;
    }
}

TEST(TcpFrameReader, EveryValidFrameOnceWhateverTheCuts)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> stream;
    std::vector<tagSeen> sent;
    for (int i = 0; i < 200; ++i) {
        std::vector<unsigned char> param(rng() % 300);
        for (auto& b : param) {
            b = static_cast<unsigned char>(rng());
        }
        const uint32_t cmd = 0x7000 + static_cast<uint32_t>(i);
        const auto f = Frame(cmd, param);
        stream.insert(stream.end(), f.begin(), f.end());
        sent.push_back({cmd, std::string(param.begin(), param.end())});
    }
    for (int round = 0; round < 20; ++round) {
        std::vector<std::vector<unsigned char>> chunks;
        for (size_t at = 0; at < stream.size();) {
            size_t n = 1 + rng() % 3000;
            n = std::min(n, stream.size() - at);
            chunks.emplace_back(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + n));
            at += n;
        }
        std::vector<tagSeen> seen = FeedAll(chunks);
        ASSERT_EQ(seen.size(), sent.size()) << "round " << round;
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(seen[i].cmd, sent[i].cmd);
            EXPECT_EQ(seen[i].param, sent[i].param);
        }
    }
}

TEST(ProductInfo, Values)
{
    EXPECT_EQ(GetModel(nullptr), 0x0101);
    EXPECT_EQ(GetModel("ZQ1"), 0x0101);
    EXPECT_EQ(GetModel("ZQ2"), 0x0102);
    EXPECT_EQ(GetModel("ZQ3"), 0x0103);
    EXPECT_EQ(GetModel("ZQ3PRO"), 0);
    EXPECT_EQ(GetManufacturedate(nullptr), 0x20150809u);
    EXPECT_EQ(GetManufacturedate("2017/07/31 15:08:32"), 0x20170731u);
    EXPECT_EQ(GetManufacturedate("2017/07"), 0x201707u);  // only what is there
    EXPECT_EQ(GetManufacturedate(""), 0u);
    EXPECT_EQ(GetRomVersion(nullptr), 0x0010);
    EXPECT_EQ(GetRomVersion("0102"), 0x0102);
    EXPECT_EQ(GetRomVersion("01"), 0x0001);
}

TEST(ProductInfo, Json)
{
    const unsigned char mac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    char buf[2048];
    const std::string expect =
        "{\"model\": \"ZQ2\" ,\"manufacturetime\": \"2017/07/31 15:08:32\" ,\"romversion\": \"0102\" ,"
        "\"macaddr\": \"021122334455\"}";
    int n = XProductInfoJson(buf, sizeof(buf), "ZQ2", "2017/07/31 15:08:32", "0102", mac);
    ASSERT_EQ(n, static_cast<int>(expect.size()));
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), expect);
    EXPECT_EQ(XProductInfoJson(buf, n - 1, "ZQ2", "2017/07/31 15:08:32", "0102", mac), -1);
    n = XProductInfoJson(buf, sizeof(buf), "Z\"Q\\2\n", "", "", nullptr);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)),
              "{\"model\": \"Z\\\"Q\\\\2\\u000a\" ,\"manufacturetime\": \"\" ,\"romversion\": \"\" ,\"macaddr\": \"\"}");
    const std::string huge(3000, 'm');
    EXPECT_EQ(XProductInfoJson(buf, sizeof(buf), huge.c_str(), "", "", mac), -1);
}

}  // namespace
