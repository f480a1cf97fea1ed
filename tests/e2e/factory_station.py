"""A production-line test station for the camera's factory server, from the
protocol alone: UDP port 8992 and TCP port 8993, packets of a CRC-32
(zlib.crc32) over LEN bytes from offset 4, LEN, command, sequence and
parameters, every field big-endian; a reply carries the reply code, the
sequence, a signed 16-bit RET and its payload. One request per send; TCP
replies are cut by their LEN."""
import socket
import struct
import time
import zlib

UDP_PORT = 8992
TCP_PORT = 8993

DISCOVERY = 0x0101
IMAGE_SENSOR = 0x0103
LED = 0x0105
MIC = 0x0107
SPEAKER = 0x0109
SD = 0x010B
RTC = 0x010D
RESET_KEY = 0x010F
IR_SENSOR = 0x0113
G_SENSOR = 0x0115
GPS = 0x0117
SET_TIME = 0x0119
TEST_DONE = 0xF0F1

PASS, FAIL, BUSY, DONE = 1, 0, 2, 3


def packet(cmd, seq, param=b"", length=None):
    """A request; `length` overrides LEN (the CRC still covers LEN bytes
    where that many exist)."""
    n = 6 + len(param) if length is None else length
    body = struct.pack(">HHH", n, cmd, seq) + param
    return struct.pack(">I", zlib.crc32(body[:n])) + body


def time_param(sys_flag, rtc_flag, year, month, day, hour, minute, second):
    return struct.pack(">BBHBBBBB", sys_flag, rtc_flag, year, month, day, hour, minute, second)


def done_param(model, year, month, day, hour, minute, second):
    return struct.pack(">HHBBBBB", model, year, month, day, hour, minute, second)


class Reply:
    def __init__(self, data):
        crc, self.len, self.code, self.seq, self.ret = struct.unpack(">IHHHh", data[:12])
        if self.len + 4 != len(data):
            raise AssertionError("reply LEN %d for %d bytes" % (self.len, len(data)))
        if zlib.crc32(data[4:]) != crc:
            raise AssertionError("reply CRC wrong: %s" % data.hex())
        self.payload = data[12:]

    def __repr__(self):
        return "Reply(code=%#x, seq=%d, ret=%d, payload=%s)" % (self.code, self.seq, self.ret, self.payload.hex())


class Discovery:
    """The 45-byte discovery payload."""

    def __init__(self, payload):
        if len(payload) != 45:
            raise AssertionError("discovery payload of %d bytes" % len(payload))
        self.head = payload[:2]
        self.mac = ":".join("%02x" % b for b in payload[2:8])
        self.firmware = payload[8:12]
        self.title = payload[12:44].split(b"\0", 1)[0].decode()
        self.tested = payload[44]


class TcpStation:
    def __init__(self, host="127.0.0.1", port=TCP_PORT, timeout=20.0):
        end = time.time() + timeout
        while True:
            try:
                self.sock = socket.create_connection((host, port), timeout=5)
                break
            except OSError:
                if time.time() > end:
                    raise
                time.sleep(0.05)
        self.buf = b""

    def close(self):
        self.sock.close()

    def send_raw(self, data):
        self.sock.sendall(data)

    def send(self, cmd, seq=1, param=b""):
        self.send_raw(packet(cmd, seq, param))

    def read(self, timeout=10.0):
        """The next reply, or None when none comes in time or the camera closed."""
        end = time.time() + timeout
        while True:
            if len(self.buf) >= 6:
                n = struct.unpack(">H", self.buf[4:6])[0]
                if len(self.buf) >= 4 + n:
                    data, self.buf = self.buf[:4 + n], self.buf[4 + n:]
                    return Reply(data)
            left = end - time.time()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(256)
            except socket.timeout:
                return None
            if not chunk:
                return None
            self.buf += chunk

    def closed_by_peer(self, timeout=10.0):
        self.sock.settimeout(timeout)
        try:
            return self.sock.recv(1) == b""
        except socket.timeout:
            return False
        except ConnectionResetError:
            return True

    def request(self, cmd, seq=1, param=b""):
        self.send(cmd, seq, param)
        return self.read()

    def steps(self, cmd, seq=1, param=b"", each=None):
        """The RET values of a request's replies up to the first that is not
        BUSY; `each(reply)` is called for every reply."""
        self.send(cmd, seq, param)
        rets = []
        while True:
            r = self.read(15)
            if r is None:
                return rets + ["none"]
            if r.code != cmd + 1 or r.seq != seq:
                raise AssertionError("reply %r to %#x/%d" % (r, cmd, seq))
            rets.append(r.ret)
            if each:
                each(r)
            if r.ret != BUSY:
                return rets


class UdpStation:
    def __init__(self, port=UDP_PORT):
        self.port = port
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)

    def close(self):
        self.sock.close()

    def request(self, cmd, seq=1, param=b"", host="127.255.255.255", timeout=5.0):
        self.sock.sendto(packet(cmd, seq, param), (host, self.port))
        self.sock.settimeout(timeout)
        try:
            data, _ = self.sock.recvfrom(256)
        except socket.timeout:
            return None
        return Reply(data)
