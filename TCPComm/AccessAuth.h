#ifndef TCPCOMM_ACCESSAUTH_H
#define TCPCOMM_ACCESSAUTH_H

// The pairing file: one "%02x%02x%02x%02x%02x%02x;" entry per paired phone,
// no line ends, in pairing order.
#define ACCESS_AUTH_FILE "/root/access_auth"

// 0 when the phone is listed, -1 when not or without a file. The whole file
// is searched.
int search_access_auth(const unsigned char mac[6]);
// Appends the phone's entry: 0 or -1.
int save_access_auth(const unsigned char mac[6]);
// True when the pairing file exists.
bool XAccessAuthFileExists();

#endif
