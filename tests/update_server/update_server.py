#!/usr/bin/env python3
"""The test update server: HTTPS on localhost, serving the files of a folder.

    update_server.py ROOT CERT KEY PORT_FILE

Serves ROOT/<path> for GET https://localhost:PORT/<path>, writes the port it listens on to
PORT_FILE once it accepts connections, and runs until it is terminated.

Each test case keeps its files in a folder of its own, ROOT/<case>/, and the server appends
each request for a path under it, as "GET /<path> <status>", to ROOT/<case>/requests.log.

A file X is answered as the word in X.answer says, when there is one:
    404, 500   that status, with an error page as body
    short      200 with X's length announced, then half of X, and the connection closed
    stall      200 with X's length announced and half of X; the rest follows when the
               file X.release appears (the connection is closed unsent after a minute)
A missing file is a 404 with an error page.
"""

import http.server
import os
import socket
import ssl
import sys
import threading
import time

STALL_LIMIT_S = 60
# A client silent for this long is given up.
CONNECTION_SILENCE_S = 30
RELEASE_POLL_S = 0.05
ERROR_PAGE = "<html><head><title>{0}</title></head><body><h1>{0}</h1></body></html>\r\n"

log_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = ""

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        relative = self.path.split("?", 1)[0].lstrip("/")
        local = os.path.realpath(os.path.join(self.root, relative))
        if not local.startswith(self.root + os.sep) or not os.path.isfile(local):
            self.send_error_page(404, relative)
            return
        answer = read_text(local + ".answer")
        if answer in ("404", "500"):
            self.send_error_page(int(answer), relative)
            return
        with open(local, "rb") as f:
            body = f.read()
        self.record(relative, 200)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if answer in ("short", "stall"):
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            if answer == "short" or not wait_for(local + ".release"):
                self.close_connection = True
                return
            body = body[len(body) // 2 :]
        self.wfile.write(body)

    def send_error_page(self, status, relative):
        self.record(relative, status)
        page = ERROR_PAGE.format(f"{status} {self.responses[status][0]}").encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(page)

    def record(self, relative, status):
        case = os.path.join(self.root, relative.split("/", 1)[0])
        if "/" not in relative or not os.path.isdir(case):
            return
        with log_lock, open(os.path.join(case, "requests.log"), "a") as log:
            log.write(f"GET /{relative} {status}\n")


def read_text(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return ""


def wait_for(path):
    deadline = time.monotonic() + STALL_LIMIT_S
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            return False
        time.sleep(RELEASE_POLL_S)
    return True


class Server(http.server.ThreadingHTTPServer):
    """Each connection's TLS handshake is made in its own thread, under a time limit: made in
    accept(), a client that connects and says nothing would hold up every later request."""

    daemon_threads = True
    address_family = socket.AF_INET
    context = None

    def finish_request(self, request, client_address):
        request.settimeout(CONNECTION_SILENCE_S)
        try:
            secured = self.context.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        with secured:
            self.RequestHandlerClass(secured, client_address, self)


def main():
    root, cert, key, port_file = sys.argv[1:5]
    Handler.root = os.path.realpath(root)
    server = Server(("127.0.0.1", 0), Handler)
    server.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    server.context.load_cert_chain(cert, key)
    with open(port_file + ".new", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(port_file + ".new", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
