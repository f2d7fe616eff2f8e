"""Minimal HTTPS endpoint for bench/container_rss.sh: accepts "/can-upload", swallows
"/upload-container" without keeping it, serves "/id<N>" from the file of that name in the work
folder and acknowledges "/download-complete". Prints its port, then serves until killed."""
import http.server
import os
import ssl
import sys

WORK = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, body, status=200):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        left = int(self.headers.get("Content-Length", "0"))
        while left > 0:
            piece = self.rfile.read(min(left, 1 << 20))
            if not piece:
                break
            left -= len(piece)
        if self.path == "/api/can-upload":
            self.reply(b'{"success":true}')
        elif self.path == "/upload-container":
            self.reply(b'{"fileId":1}')
        else:
            self.reply(b"{}")

    def do_GET(self):
        path = os.path.join(WORK, os.path.basename(self.path))
        if not os.path.basename(self.path).startswith("id") or not os.path.isfile(path):
            self.reply(b"{}", 404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(os.path.getsize(path)))
        self.end_headers()
        with open(path, "rb") as f:
            while True:
                piece = f.read(1 << 20)
                if not piece:
                    break
                self.wfile.write(piece)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(os.path.join(WORK, "cert.pem"), os.path.join(WORK, "key.pem"))
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
