"""Starts mondrel-web over a fresh database on 127.0.0.1 and a free port, signs in, and talks
to it over real HTTP. Shared by the API tests and the browser tests."""
import json
import os
import re
import shutil
import ssl
import subprocess
import tempfile
import urllib.error
import urllib.request

WEB = os.environ["MONDREL_WEB"]
TOOL = os.environ["MONDREL_DB"]


class Response:
    def __init__(self, status, body, headers):
        self.status, self.body, self.headers = status, body, headers

    def json(self):
        return json.loads(self.body)


class WebServer:
    def __init__(self, extra_args=()):
        self.dir = tempfile.mkdtemp(prefix="mondrel-web-test-")
        self.database = os.path.join(self.dir, "Mondrel.sdb")
        self.scripts = os.path.join(self.dir, "scripts")
        os.mkdir(self.scripts)
        with open(os.path.join(self.scripts, "bins.sh"), "w") as script:
            script.write("#!/bin/sh\n")
        self.tool("init", self.database)
        self.password_file = os.path.join(self.dir, "web.passwd")
        self.history = os.path.join(self.dir, "history.sdb")
        self.process = subprocess.Popen(
            [WEB, "--database", self.database, "--listen", "127.0.0.1:0", "--scripts",
             self.scripts, "--password-file", self.password_file, "--history", self.history,
             *extra_args],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        lines = []
        for line in self.process.stdout:
            lines.append(line)
            if "listening on" in line:
                break
        text = "".join(lines)
        # Its output is no terminal: the first password is in a file of its own, not in the output.
        self.output = text
        self.first_password_file = re.search(r"a random password is in (\S+)", text).group(1)
        with open(self.first_password_file) as first:
            self.password = first.read().strip()
        self.port = int(re.search(r"127\.0\.0\.1:(\d+)/", text).group(1))
        scheme = "https" if "https://" in text else "http"
        self.origin = "%s://127.0.0.1:%d" % (scheme, self.port)
        # A test's own certificate: trusted without a check.
        self.context = ssl._create_unverified_context() if scheme == "https" else None
        self.cookie = None
        self.csrf = None

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def tool(self, *args):
        return subprocess.run([TOOL, *args], check=True, capture_output=True,
                              text=True).stdout

    def request(self, method, path, body=None, origin=True, csrf=True, cookie=True,
                raw=None, headers=None):
        data = raw if raw is not None else (
            json.dumps(body).encode() if body is not None else None)
        request = urllib.request.Request(self.origin + path, data=data, method=method,
                                         headers=headers or {})
        if data is not None:
            request.add_header("Content-Type", "application/json")
        if origin:
            request.add_header("Origin", origin if isinstance(origin, str) else self.origin)
        if csrf and self.csrf:
            request.add_header("X-CSRF-Token", self.csrf)
        if cookie and self.cookie:
            request.add_header("Cookie", self.cookie)
        try:
            with urllib.request.urlopen(request, timeout=30, context=self.context) as answer:
                return Response(answer.status, answer.read().decode(), answer.headers)
        except urllib.error.HTTPError as error:
            return Response(error.code, error.read().decode(), error.headers)

    def sign_in(self, password=None):
        answer = self.request("POST", "/api/session",
                              {"password": password or self.password}, csrf=False,
                              cookie=False)
        if answer.status == 200:
            self.cookie = answer.headers["Set-Cookie"].split(";")[0]
            self.csrf = answer.json()["csrf"]
        return answer
