"""Serves the files of one folder over HTTP on 127.0.0.1 for the feed tests.

Prints the port it listens on as the first line of standard output and serves until it is
terminated. Besides the plain files (a missing one answers 404):
  /moved/NAME   answers 302 with Location /NAME
  /cut/NAME     promises the length of NAME, sends its first half and closes the connection
"""
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/moved/"):
            self.send_response(302)
            self.send_header("Location", "/" + self.path[len("/moved/"):])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif self.path.startswith("/cut/"):
            with open(os.path.join(self.directory, self.path[len("/cut/"):]), "rb") as file:
                body = file.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
        else:
            super().do_GET()

    def log_message(self, format, *args):
        pass


def main():
    handler = functools.partial(Handler, directory=sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
