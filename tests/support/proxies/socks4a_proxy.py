#!/usr/bin/env python3
"""A small SOCKS4/SOCKS4a proxy for the command-line proxy checks (no real
proxy package speaks SOCKS4a). Loopback targets only; one line per carried
connection in the log.  usage: socks4a_proxy.py PORT LOGFILE"""
import socket
import sys
import threading

LOOPBACK = {"localhost": "127.0.0.1", "127.0.0.1": "127.0.0.1"}


def read_exact(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    return data


def read_nul(conn, limit=1024):
    data = b""
    while len(data) < limit:
        c = read_exact(conn, 1)
        if c == b"\0":
            return data
        data += c
    raise ConnectionError("too long")


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    finally:
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def serve(conn, log, lock):
    conn.settimeout(30)
    try:
        head = read_exact(conn, 8)
        if head[0] != 4 or head[1] != 1:
            return
        port = int.from_bytes(head[2:4], "big")
        read_nul(conn)  # user id
        ip = head[4:8]
        host = ".".join(str(b) for b in ip)
        if ip[:3] == b"\0\0\0" and ip[3] != 0:
            host = read_nul(conn).decode("latin-1")
        address = LOOPBACK.get(host)
        target = None
        if address:
            try:
                target = socket.create_connection((address, port), timeout=10)
            except OSError:
                target = None
        conn.sendall(bytes([0, 90 if target else 91]) + head[2:8])
        with lock:
            log.write(f"{'connected' if target else 'refused'} {host}:{port}\n")
            log.flush()
        if target:
            conn.settimeout(None)
            threading.Thread(target=pump, args=(target, conn), daemon=True).start()
            pump(conn, target)
    except (OSError, ConnectionError):
        pass
    finally:
        conn.close()


def main():
    port, log_path = int(sys.argv[1]), sys.argv[2]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    lock = threading.Lock()
    with open(log_path, "a") as log:
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=serve, args=(conn, log, lock), daemon=True).start()


if __name__ == "__main__":
    main()
