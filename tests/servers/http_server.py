#!/usr/bin/env python3
"""Local HTTP server for download tests.

Binds 127.0.0.1 on a port the kernel picks, prints the port on the first line
of stdout, and serves until killed. Paths:
  /len?n=N        200 with Content-Length, N bytes
  /nolen?n=N      HTTP/1.0 200 without Content-Length, N bytes, then close
  /chunked?n=N    200 chunked, N bytes in chunks of 1000
  /empty          200 with Content-Length 0
  /missing        404 with a small body
  /redirect       302 to /len?n=5000
  /loop           302 to itself for ever
  /http09         a bare body with no status line, then close
  /cut            Content-Length 30000, 10000 bytes sent, then close
  /silent         accepts, reads the request, never answers
  /trickle        200 without Content-Length, then one byte every 0.2 s
  /cookie         200, an HTML page whose text is the request's Cookie header
  /file           the file named by --page (or 404 when none), also served
                  as /index.html; with --hang those never answer; with
                  --trickle they send their header a byte every 0.2 s
The body byte at offset i is (i % 251), so tests can check content.
"""
import argparse
import html
import http.server
import socketserver
import sys
import time
import urllib.parse


def body(n):
    return bytes(i % 251 for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    page = None
    hang = False
    trickle = False

    def log_message(self, *args):
        pass

    def raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()
        self.close_connection = True

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        q = urllib.parse.parse_qs(url.query)
        n = int(q.get("n", ["0"])[0])
        path = url.path
        if path == "/len":
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            self.wfile.write(body(n))
        elif path == "/nolen":
            self.raw(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body(n))
        elif path == "/chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            data = body(n)
            for i in range(0, n, 1000):
                piece = data[i:i + 1000]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif path == "/empty":
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/missing":
            text = b"not here"
            self.send_response(404)
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            self.wfile.write(text)
        elif path == "/redirect":
            self.send_response(302)
            self.send_header("Location", "/len?n=5000")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/loop":
            self.send_response(302)
            self.send_header("Location", "/loop")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/http09":
            self.raw(b"Stream is up at 128 kbps with <B>3 of 50 listeners")
        elif path == "/cut":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + body(10000))
        elif path == "/silent":
            time.sleep(3600)
        elif path == "/trickle":
            self.wfile.write(b"HTTP/1.0 200 OK\r\n\r\n")
            try:
                for _ in range(18000):
                    self.wfile.write(b"1")
                    self.wfile.flush()
                    time.sleep(0.2)
            except OSError:
                pass
        elif path == "/cookie":
            text = html.escape(self.headers.get("Cookie", "")).encode()
            data = b"<!DOCTYPE html><html><body>" + text + b"</body></html>"
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        elif path in ("/file", "/index.html") and Handler.hang:
            time.sleep(3600)
        elif path in ("/file", "/index.html") and Handler.trickle:
            try:
                for c in b"HTTP/1.0 200 OK\r\nX-Slow: " + b"s" * 18000:
                    self.wfile.write(bytes([c]))
                    self.wfile.flush()
                    time.sleep(0.2)
            except OSError:
                pass
        elif path in ("/file", "/index.html") and Handler.page:
            with open(Handler.page, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        else:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def server_bind(self):
        # HTTPServer's own bind asks the resolver for the address's full
        # name, which can stall for seconds where the name server is slow;
        # the tests only ever use the numeric loopback address.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page")
    parser.add_argument("--hang", action="store_true")
    parser.add_argument("--trickle", action="store_true")
    args = parser.parse_args()
    Handler.page = args.page
    Handler.hang = args.hang
    Handler.trickle = args.trickle
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
