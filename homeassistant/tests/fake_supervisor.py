#!/usr/bin/env python3
"""The supervisor's MQTT service, as an add-on asks for it, on loopback.

    fake_supervisor.py TOKEN SERVICE_JSON PORT_FILE

Answers GET /services/mqtt with SERVICE_JSON (the supervisor's "data") to
the bearer of TOKEN, 401 to anyone else; writes the port it listens on to
PORT_FILE once it listens.
"""
import http.server
import json
import os
import sys

token, service, port_file = sys.argv[1], sys.argv[2], sys.argv[3]


class Supervisor(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.headers.get("Authorization") != "Bearer " + token:
            self.reply(401, {"result": "error", "message": "Unauthorized"})
        elif self.path == "/services/mqtt":
            with open(service) as f:
                self.reply(200, {"result": "ok", "data": json.load(f)})
        else:
            self.reply(404, {"result": "error", "message": "Not found"})

    def reply(self, code, body):
        data = json.dumps(body).encode()
        self.send_response(code)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Supervisor)
with open(port_file + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
