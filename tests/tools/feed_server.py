"""Serves the files of one folder over HTTP on 127.0.0.1 for the feed tests.

Prints the port it listens on as the first line of standard output and serves until it is
terminated. Besides the plain files (a missing one answers 404):
  /moved/NAME   answers 302 with Location /NAME
  /cut/NAME     promises the length of NAME, sends its first half and closes the connection
  /private/NAME answers NAME to Basic sign-in as family:s3cret only, 401 otherwise
  /charset/CHARSET/NAME  answers NAME as text/calendar; charset=CHARSET
  /slow/NAME    promises the length of NAME, sends its first byte and then nothing for 10 s
"""
import base64
import functools
import http.server
import os
import sys
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/moved/"):
            self.send_response(302)
            self.send_header("Location", "/" + self.path[len("/moved/"):])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif self.path.startswith("/cut/"):
            body = self.promise("/cut/")
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
        elif self.path.startswith("/slow/"):
            self.wfile.write(self.promise("/slow/")[:1])
            self.wfile.flush()
            time.sleep(10)
            self.close_connection = True
        elif self.path.startswith("/private/"):
            expected = "Basic " + base64.b64encode(b"family:s3cret").decode()
            if self.headers.get("Authorization") != expected:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="feeds"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.path = "/" + self.path[len("/private/"):]
            super().do_GET()
        elif self.path.startswith("/charset/"):
            charset, name = self.path[len("/charset/"):].split("/", 1)
            with open(os.path.join(self.directory, name), "rb") as file:
                body = file.read()
            self.send_response(200)
            self.send_header("Content-Type", "text/calendar; charset=" + charset)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            super().do_GET()

    def promise(self, prefix):
        """Answers 200 with the length of the file the path names after prefix; its body is the
        caller's to send (or not)."""
        with open(os.path.join(self.directory, self.path[len(prefix):]), "rb") as file:
            body = file.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return body

    def log_message(self, format, *args):
        pass


def main():
    handler = functools.partial(Handler, directory=sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
