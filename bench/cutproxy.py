"""A TCP proxy for the cut-connection case: it passes the bytes between tessary-cli and the relay on
as they come (TLS and all, without looking into them), counts them in each direction, and cuts the
connection that carries them (a reset, both ways) when the bytes in one direction reach each of the
totals it was given. Only loopback addresses."""

import socket
import threading

UP, DOWN = 0, 1  # client to relay, relay to client
CHUNK = 256 * 1024


class CutProxy:
    def __init__(self, relay_port):
        self.relay_port = relay_port
        self.lock = threading.Lock()
        self.reset()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        self.url = "https://127.0.0.1:%d" % self.port
        threading.Thread(target=self._accept, daemon=True).start()

    def reset(self):
        """Counts from zero, with no cuts to come."""
        with self.lock:
            self.bytes = [0, 0]
            self.cuts = [[], []]
            self.cut_count = 0
            self.connections = 0

    def cut_at(self, direction, totals):
        with self.lock:
            self.cuts[direction] = sorted(totals)

    def close(self):
        self.listener.close()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.connections += 1
            threading.Thread(target=self._serve, args=(client,), daemon=True).start()

    def _serve(self, client):
        try:
            relay = socket.create_connection(("127.0.0.1", self.relay_port))
        except OSError:
            client.close()
            return
        pair = (client, relay)
        up = threading.Thread(target=self._pump, args=(client, relay, UP, pair), daemon=True)
        up.start()
        self._pump(relay, client, DOWN, pair)
        up.join()
        for s in pair:
            s.close()

    def _pump(self, source, target, direction, pair):
        while True:
            try:
                data = source.recv(CHUNK)
            except OSError:
                data = b""
            if not data:
                try:
                    target.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                return
            cut = False
            with self.lock:
                due = self.cuts[direction]
                allowed = len(data)
                if due and self.bytes[direction] + len(data) >= due[0]:
                    allowed = max(0, due.pop(0) - self.bytes[direction])
                    cut = True
                    self.cut_count += 1
                self.bytes[direction] += allowed
            try:
                target.sendall(data[:allowed])
            except OSError:
                return
            if cut:
                for s in pair:
                    try:
                        # A reset, as a connection that breaks on the way ends.
                        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass
                return
