#include "HttpServer/HttpServer.h"

#include <cstdio>
#include <string>

#include "HttpServer/HttpEngine.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"

CHttpServer::CHttpServer()
    : CThread(FALSE, 0, 0),
      m_HTTPPort(80),
      m_pCard(nullptr),
      m_pEngineLinks(nullptr),
      m_bEngine(FALSE),
      m_bRegistered(FALSE)
{
}

void CHttpServer::Bind(const HttpServerRoles& roles)
{
    m_pCard = roles.card;
    m_pEngineLinks = roles.engine;
}

CHttpServer::~CHttpServer()
{
    CleanUp();
}

BOOL CHttpServer::Init()
{
    CCardFiles* card = m_pCard.load();
    if (card == nullptr || m_pEngineLinks == nullptr) {
        return FALSE;
    }
    if (!m_bEngine) {
        init_exec_env(XBoardPath("/tmp").c_str(), m_pEngineLinks);
        m_bEngine = TRUE;
    }
    if (!m_bRegistered) {
        m_bRegistered = card->RegisterSDStateCallback(SDCardStateChange, this);
        if (!m_bRegistered) {
            return FALSE;
        }
    }
    return CreateThread(0);
}

void CHttpServer::StopThread()
{
    DestroyThread(TRUE);
}

void CHttpServer::CleanUp()
{
    StopThread();
    if (m_bEngine) {
        deinit_exec_env();
        m_bEngine = FALSE;
    }
    if (m_bRegistered) {
        m_pCard.load()->UnregisterSDStateCallback(SDCardStateChange, this);
        m_bRegistered = FALSE;
    }
}

void CHttpServer::ThreadProc()
{
    while (m_bLoop) {
        httpd_poll();
    }
    printf("HTTP Server Thread Quiting...\n");
    fflush(stdout);
}

int CHttpServer::SDCardStateChange(int state, void* priv)
{
    return static_cast<CHttpServer*>(priv)->OnSDCardStateChange(state);
}

int CHttpServer::OnSDCardStateChange(int state)
{
    printf("IN CHttpServer SD STATE CALLBACK...\n");
    fflush(stdout);
    std::string root = XBoardPath("/tmp");
    if ((state & emSDState_Insert) != 0 && (state & emSDState_Mount) != 0) {
        char path[256] = {0};
        if (m_pCard.load()->GetSDMountPath(path, sizeof(path))) {
            root = XBoardPath(path);
        }
    }
    uint64_t before = 0;
    uint64_t after = 0;
    httpd_root(&before);
    parse_commandline2(root.c_str());
    httpd_root(&after);
    if (after != before) {
        httpd_cut_file_replies();  // no file of the old root stays open
    }
    return 0;
}
