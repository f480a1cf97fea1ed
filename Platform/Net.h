#ifndef PLATFORM_NET_H
#define PLATFORM_NET_H

#include <cstddef>

// Addresses of a network interface ("wlan0"). On the camera: the
// SIOCGIFHWADDR and SIOCGIFADDR requests through the given socket. On the
// simulated board: the board's sys/class/net/IF/address ("02:11:22:33:44:55")
// and sys/class/net/IF/ipv4 ("192.168.1.1") files; a missing file is a
// failed request (errno ENODEV).

// Copies the 6-byte hardware address; 0, or -1 with errno set.
int XGetIfHwAddr(int fd, const char* ifname, unsigned char mac[6]);
// Writes the IPv4 address in dotted form into buf (at most size bytes,
// terminated); 0, or -1 with errno set.
int XGetIfIpv4Addr(int fd, const char* ifname, char* buf, size_t size);

#endif
