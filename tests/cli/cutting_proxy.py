"""A TCP proxy in front of a PostgreSQL server that loses one answer: it
passes the client's COMMIT (or, with cut_at, its message of that number on
the first connection) on, lets the server act on it, and cuts both sides
without passing the server's answer back, as a failing network or a
failed-over server leaves a client. While refusing, it cuts every new
connection at once, as a server out of reach; while silent, it takes every
new connection and never says a word, as a host that hangs or a firewall
that drops packets, and keeps it to count how often a station waited."""
import socket
import struct
import threading

SSL_REQUEST, GSS_REQUEST = 80877103, 80877104


class CuttingProxy:
    def __init__(self, port):
        self.target = port
        self.listener = socket.create_server(('127.0.0.1', 0))
        self.port = self.listener.getsockname()[1]
        self.armed = True  # the next COMMIT's answer is lost
        self.refusing = False
        self.silent = False
        self.held = []  # the connections taken while silent
        self.refuse_after_cut = False  # the server out of reach from the cut on
        self.cut_at = None  # the number of the first connection's message to cut after, instead of COMMIT
        self.cuts = 0
        self.messages = 0  # the first connection's, after its start-up
        self.connections = 0
        threading.Thread(target=self.accept, daemon=True).start()

    def close(self):
        self.listener.close()
        for connection in self.held:
            connection.close()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            if self.refusing:
                client.close()
                continue
            if self.silent:
                self.held.append(client)
                continue
            server = socket.create_connection(('127.0.0.1', self.target))
            self.connections += 1
            link = {'lost': False, 'first': self.connections == 1}
            threading.Thread(target=self.answers, args=(server, client, link), daemon=True).start()
            threading.Thread(target=self.requests, args=(client, server, link), daemon=True).start()

    @staticmethod
    def cut(*socks):
        """Both ends see the connection end: shutdown wakes the other thread's recv, which close alone would not."""
        for sock in socks:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()

    @staticmethod
    def read(sock, count):
        data = b''
        while len(data) < count:
            part = sock.recv(count - len(data))
            if not part:
                raise ConnectionError
            data += part
        return data

    def requests(self, client, server, link):
        """The client's messages, whole: untyped until the start-up, then a type byte each."""
        try:
            started = False
            commit_parsed = False
            while True:
                if not started:
                    length, = struct.unpack('!I', self.read(client, 4))
                    body = self.read(client, length - 4)
                    code, = struct.unpack('!I', body[:4])
                    started = code not in (SSL_REQUEST, GSS_REQUEST)
                    server.sendall(struct.pack('!I', length) + body)
                    continue
                kind = self.read(client, 1)
                length, = struct.unpack('!I', self.read(client, 4))
                body = self.read(client, length - 4)
                text = body.split(b'\0')[0] if kind == b'Q' else body.split(b'\0')[1] if kind == b'P' else b''
                is_commit = text.strip().upper().startswith(b'COMMIT')
                commit_parsed = commit_parsed or (kind == b'P' and is_commit)
                if link['first']:
                    self.messages += 1
                at_commit = self.cut_at is None and ((kind == b'Q' and is_commit) or (kind == b'S' and commit_parsed))
                if self.armed and (at_commit or (link['first'] and self.messages == self.cut_at)):
                    self.armed = False
                    link['lost'] = True  # before the server can answer
                server.sendall(kind + struct.pack('!I', length) + body)
                if kind == b'S':
                    commit_parsed = False
        except (ConnectionError, OSError, struct.error):
            pass
        finally:
            self.cut(client, server)

    def answers(self, server, client, link):
        try:
            while True:
                data = server.recv(65536)
                if not data:
                    break
                if link['lost']:
                    self.cuts += 1
                    self.refusing = self.refusing or self.refuse_after_cut
                    break
                client.sendall(data)
        except OSError:
            pass
        finally:
            self.cut(client, server)
