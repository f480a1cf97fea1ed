#include "Platform/Net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>

namespace {

int XIfRequest(int fd, const char* ifname, unsigned long request, struct ifreq& ifr)
{
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    memset(&ifr, 0, sizeof(ifr));
    snprintf(ifr.ifr_name, sizeof(ifr.ifr_name), "%s", ifname);
    return ioctl(fd, request, &ifr) < 0 ? -1 : 0;
}

}  // namespace

int XGetIfHwAddr(int fd, const char* ifname, unsigned char mac[6])
{
    struct ifreq ifr;
    if (XIfRequest(fd, ifname, SIOCGIFHWADDR, ifr) != 0) {
        return -1;
    }
    memcpy(mac, ifr.ifr_hwaddr.sa_data, 6);
    return 0;
}

int XGetIfIpv4Addr(int fd, const char* ifname, char* buf, size_t size)
{
    struct ifreq ifr;
    if (XIfRequest(fd, ifname, SIOCGIFADDR, ifr) != 0) {
        return -1;
    }
    const struct sockaddr_in* sin = reinterpret_cast<const struct sockaddr_in*>(&ifr.ifr_addr);
    if (inet_ntop(AF_INET, &sin->sin_addr, buf, static_cast<socklen_t>(size)) == nullptr) {
        return -1;
    }
    return 0;
}
