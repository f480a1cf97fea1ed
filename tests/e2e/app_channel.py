"""A phone on the camera's app channel (TCP port 10080), from the protocol
alone: frames FF F0, checksum, version 0x0100, command, parameter length,
parameter, every field big-endian. Every frame the camera sends is checked
for its head, version, length and checksum."""
import ctypes
import os
import socket
import struct
import subprocess
import time

PORT = 10080
CLONE_NEWNET = 0x40000000


def checksum(cmd, param):
    head = struct.pack(">HIH", 0x0100, cmd, len(param))
    return sum(head + param) & 0xFFFF


def frame(cmd, param=b""):
    return struct.pack(">2sHHIH", b"\xff\xf0", checksum(cmd, param), 0x0100, cmd, len(param)) + param


def private_network():
    """Moves this process into a network namespace of its own with its
    loopback up: the camera started from here listens on its own ports and
    meets no other test. Returns False where that is not allowed."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWNET) != 0:
        return False
    return subprocess.run(["ip", "link", "set", "lo", "up"], capture_output=True).returncode == 0


class FrameError(AssertionError):
    pass


class Phone:
    def __init__(self, host="127.0.0.1", port=PORT, timeout=10.0):
        end = time.time() + timeout
        while True:
            try:
                self.sock = socket.create_connection((host, port), timeout=1.0)
                break
            except OSError:
                if time.time() > end:
                    raise
                time.sleep(0.1)
        self.buf = b""
        self.eof_at = None

    def close(self):
        self.sock.close()

    def send(self, cmd, param=b""):
        self.sock.sendall(frame(cmd, param))

    def send_raw(self, data):
        self.sock.sendall(data)

    def _take(self):
        if len(self.buf) < 12:
            return None
        mark, csum, version, cmd, paralen = struct.unpack(">2sHHIH", self.buf[:12])
        if mark != b"\xff\xf0":
            raise FrameError("head %r" % self.buf[:12])
        if version != 0x0100:
            raise FrameError("version %#x" % version)
        if len(self.buf) < 12 + paralen:
            return None
        param = self.buf[12:12 + paralen]
        raw = self.buf[:12 + paralen]
        self.buf = self.buf[12 + paralen:]
        if csum != checksum(cmd, param):
            raise FrameError("checksum of %#x" % cmd)
        return cmd, param, raw

    def read(self, timeout=3.0):
        """(cmd, param, raw bytes) of the next frame; None on time-out or EOF."""
        end = time.time() + timeout
        while True:
            f = self._take()
            if f is not None:
                return f
            left = end - time.time()
            if left <= 0 or self.eof_at is not None:
                return None
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                return None
            except ConnectionError:
                data = b""
            if not data:
                self.eof_at = time.time()
                return None
            self.buf += data

    def read_until(self, cmd, timeout=5.0):
        end = time.time() + timeout
        while time.time() < end:
            f = self.read(end - time.time())
            if f is None:
                return None
            if f[0] == cmd:
                return f
        return None

    def wait_eof(self, timeout):
        end = time.time() + timeout
        while self.eof_at is None and time.time() < end:
            self.read(end - time.time())
        return self.eof_at is not None
