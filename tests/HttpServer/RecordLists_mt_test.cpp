// The recording lists over the engine while another thread changes the
// index under the recording engine's lock: a reply being sent keeps the
// bytes of its request however the list is rebuilt and let go meanwhile,
// sent from its list file or from the engine's document itself.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Function/SystemTime.h"
#include "HttpServer/HttpListFile.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "support/TestBoard.h"
#include "tests/HttpServer/HttpEngineFixture.h"
#include "tests/HttpServer/HttpTestClient.h"
#include "tests/HttpServer/RecordListPorts.h"
#include "tests/Record/RecordTestCard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;
const size_t kLargest = 16u << 20;

// Loop video i: one every 3 minutes from 2024-01-01 00:00:00.
RECTIME T(unsigned i)
{
    RECTIME t;
    Second2RECTIME(1704067200 + static_cast<time_t>(i) * 180, t);
    return t;
}

// The name the app shows for loop video i (with title and archive).
std::string VideoName(unsigned i)
{
    const RECTIME t = T(i);
    char name[40];
    snprintf(name, sizeof(name), "%04u%02u%02u%02u%02u%02u_180.MP4", t.year() + 2000u, static_cast<unsigned>(t.month()),
             static_cast<unsigned>(t.day()), static_cast<unsigned>(t.hour()), static_cast<unsigned>(t.minute()),
             static_cast<unsigned>(t.second()));
    return name;
}

// The most a socket may hold unsent (the largest TCP send buffer).
size_t XSendBufferMax()
{
    size_t low = 0, def = 0, max = 0;
    FILE* f = fopen("/proc/sys/net/ipv4/tcp_wmem", "r");
    const bool read = f != nullptr && fscanf(f, "%zu %zu %zu", &low, &def, &max) == 3;
    if (f != nullptr) {
        fclose(f);
    }
    return read ? max : 4u << 20;
}

class RecordListsOverTheEngine : public HttpEngineFixture {
protected:
    void SetUp() override
    {
        HttpEngineFixture::SetUp();
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CNoteFinisher(&m_Finished)));
        ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
        m_lpCard->Notify(kCard);
        m_lpPorts.reset(new CRecordListPorts(m_lpRecord.get()));
        CWebBridges::instance()->Bind(m_lpPorts->Roles());
    }
    void TearDown() override
    {
        HttpEngineFixture::TearDown();
        XBindCameraBridges();
        list_files_enable(1);
        m_lpRecord.reset();
    }
    void ReplyInFlightKeepsItsBytes();
    std::string Fresh()
    {
        std::vector<char> buff(kLargest);
        const int len = m_lpRecord->GetCommonVideoFileAsJson(buff.data(), static_cast<int>(buff.size()));
        return len < 0 ? "-1" : std::string(buff.data(), static_cast<size_t>(len));
    }

    CTestBoard m_Board;
    std::vector<tagFinished> m_Finished;
    CFolderCard* m_lpCard = nullptr;
    std::unique_ptr<CRecord> m_lpRecord;
    std::unique_ptr<CRecordListPorts> m_lpPorts;
};

}  // namespace

void RecordListsOverTheEngine::ReplyInFlightKeepsItsBytes()
{
    // A list beyond the 2 MiB buffer and beyond what the server's socket
    // takes at once, so that the engine still sends it after the changes.
    const unsigned kVideos = static_cast<unsigned>((XSendBufferMax() + (4u << 20)) / 190);
    CRecordFileIndex& common = m_lpRecord->GetCommonRecordFileIndex();
    for (unsigned i = 0; i < kVideos; ++i) {
        ASSERT_TRUE(common.AddRecFile(T(i), 180u, 1080 << 16, 150000000ul));
        ASSERT_TRUE(common.AddRecFileTitle(T(i), 0, 20000ul));
        ASSERT_TRUE(common.AddRecFileTimestamp(T(i), 0, 400000ul));
    }
    const std::string before = Fresh();  // under the lock: the fill happens before it
    ASSERT_GT(before.size(), XSendBufferMax() + (2u << 20));

    const int slow = XTestConnect(m_nPort, 4096);
    ASSERT_GE(slow, 0);
    ASSERT_TRUE(XTestSend(slow, "GET /commonvideo.json HTTP/1.1\r\n\r\n"));
    const std::string head = XTestReadHead(slow);
    ASSERT_NE(head.find("\r\nContent-Length: " + std::to_string(before.size()) + "\r\n"), std::string::npos) << head;
    std::string body = XTestRecvN(slow, 1000);

    // Videos go; the list is asked for on this thread (the engine's cache
    // lets go of the document the slow reply was made from) and over HTTP.
    std::atomic<bool> changed{false};
    std::thread changer([&] {
        for (unsigned r = 0; r < 6; ++r) {
            m_lpRecord->DeleteCommonVideoFile(VideoName(r).c_str());
            RecordListBytes bytes;
            m_lpRecord->GetFileList(emRecFileType_CommonVideo, kLargest, bytes);
        }
        changed = true;
    });
    for (int i = 0; i < 3 && !changed; ++i) {
        const int s = XTestConnect(m_nPort);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(XTestSend(s, "GET /commonvideo.json HTTP/1.1\r\n\r\n"));
        EXPECT_TRUE(XTestReadReply(s).ok);
        close(s);
    }
    changer.join();

    body += XTestRecvN(slow, before.size() - body.size());
    EXPECT_EQ(body.size(), before.size());
    EXPECT_TRUE(body == before);
    close(slow);

    // the list as it is now, by either way of asking for it
    const std::string after = Fresh();
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), static_cast<int>(kVideos) - 6);
    for (const char* url : {"/commonvideo.json", "/ini.htm?cmd=commonvideolist"}) {
        SCOPED_TRACE(url);
        const int s = XTestConnect(m_nPort);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(XTestSend(s, std::string("GET ") + url + " HTTP/1.1\r\n\r\n"));
        const XTestReply r = XTestReadReply(s);
        EXPECT_TRUE(r.body == after);
        close(s);
    }
}

TEST_F(RecordListsOverTheEngine, ReplyFromTheListFileKeepsItsBytes)
{
    ReplyInFlightKeepsItsBytes();
}

TEST_F(RecordListsOverTheEngine, ReplyFromTheDocumentKeepsItsBytes)
{
    list_files_enable(0);
    ReplyInFlightKeepsItsBytes();
}
