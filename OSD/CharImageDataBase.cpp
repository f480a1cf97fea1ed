#include "OSD/CharImageDataBase.h"

#include <new>

#include "Function/ByteOrder.h"
#include "Function/XLog.h"

CCharImageDataBase::CCharImageDataBase() : m_MaxWidth(0), m_MaxHeight(0) {}

CCharImageDataBase::~CCharImageDataBase()
{
    for (auto& e : m_ImageDB) {
        delete e.second;
    }
}

BOOL CCharImageDataBase::ParseData(const void* data, unsigned size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t left = p == nullptr ? 0 : size;
    while (left > sizeof(CharImageDataBaseInfo)) {
        CharImageDataBaseInfoData* rec = new (std::nothrow) CharImageDataBaseInfoData;
        if (rec == nullptr) {
            XERROR("out of memory on build image database.\n");
            return FALSE;
        }
        for (int i = 0; i < 4; ++i) {
            rec->info.utf8[i] = p[i];
        }
        rec->info.utf16 = XGetLE16(p + 4);
        rec->info.width = XGetLE16(p + 6);
        rec->info.height = XGetLE16(p + 8);
        rec->info.mem_align = XGetLE16(p + 10);
        p += sizeof(CharImageDataBaseInfo);
        left -= sizeof(CharImageDataBaseInfo);
        const size_t pixels = static_cast<size_t>(rec->info.height) * rec->info.mem_align;
        if (left < pixels) {
            XERROR("INVALID IMAGE DATABASE.\n");
            delete rec;
            return FALSE;
        }
        rec->data = p;
        p += pixels;
        left -= pixels;
        auto it = m_ImageDB.find(rec->info.utf16);
        if (it != m_ImageDB.end()) {
            delete it->second;
            it->second = rec;
        } else {
            m_ImageDB[rec->info.utf16] = rec;
        }
        if (rec->info.width > m_MaxWidth) {
            m_MaxWidth = rec->info.width;
        }
        if (rec->info.height > m_MaxHeight) {
            m_MaxHeight = rec->info.height;
        }
    }
    return TRUE;
}

const CharImageDataBaseInfoData* CCharImageDataBase::FindData(uint16_t code) const
{
    for (uint16_t c : {code, static_cast<uint16_t>(0x3F), static_cast<uint16_t>(0xFF1F)}) {
        auto it = m_ImageDB.find(c);
        if (it != m_ImageDB.end()) {
            return it->second;
        }
    }
    return nullptr;
}
