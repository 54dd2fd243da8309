#!/usr/bin/env python3
"""The update server of the tests: serves a folder on 127.0.0.1 over plain HTTP.

  update_server.py start --port P --root DIR   starts it in the background, returns when it listens
  update_server.py stop --port P --root DIR    ends the server that `start` left

Paths beside the folder's files:
  /404/...         answers 404
  /short/<file>    announces more bytes than it sends, then closes
  /stall/<file>    sends half of the file, then waits 5 s before closing
  /_requests       the paths asked since the last /_reset, one a line
  /_reset          forgets them
The server ends by itself after 30 minutes, or 10 minutes without a request.
"""
import argparse
import http.server
import os
import signal
import socket
import subprocess
import sys
import time

LIFETIME = 30 * 60
IDLE = 10 * 60
STALL = 5
HUGE = (64 << 20) + 1  # one byte over the update's bound for a cabinet


def serve(port, root):
    requests = []
    last = [time.time()]

    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def send_body(self, body, length=None, cut=None, stall=False):
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream')
            self.send_header('Content-Length', str(len(body) if length is None else length))
            self.end_headers()
            self.wfile.write(body if cut is None else body[:cut])
            self.wfile.flush()
            if stall:
                deadline = time.time() + STALL
                self.connection.settimeout(1)
                while time.time() < deadline:
                    try:
                        if not self.connection.recv(1):
                            break  # the client has gone
                    except socket.timeout:
                        continue
                    except OSError:
                        break

        def send_huge(self):
            """A body just over the bound the update sets for a cabinet, sent until the client goes."""
            self.send_response(200)
            self.send_header('Content-Length', str(HUGE))
            self.end_headers()
            chunk = bytes(1 << 20)
            try:
                for _ in range(HUGE // len(chunk)):
                    self.wfile.write(chunk)
                self.wfile.write(b'x')
            except OSError:
                pass

        def do_GET(self):
            last[0] = time.time()
            path = self.path.split('?')[0]
            if path == '/_requests':
                return self.send_body('\n'.join(requests).encode())
            if path == '/_reset':
                requests.clear()
                return self.send_body(b'')
            requests.append(path)
            mode = None
            if path.startswith('/huge/'):
                return self.send_huge()
            for prefix in ('/short/', '/stall/'):
                if path.startswith(prefix):
                    mode, path = prefix.strip('/'), path[len(prefix) - 1:]
            file = os.path.normpath(os.path.join(root, path.lstrip('/')))
            if path.startswith('/404/') or not file.startswith(os.path.abspath(root)) or not os.path.isfile(file):
                self.send_response(404)
                self.send_header('Content-Length', '0')
                self.end_headers()
                return
            with open(file, 'rb') as f:
                body = f.read()
            if mode == 'short':
                self.send_body(body, length=len(body) + 1000)
            elif mode == 'stall':
                self.send_body(body, cut=len(body) // 2, stall=True)
            else:
                self.send_body(body)

    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler)
    server.daemon_threads = True
    server.timeout = 1
    started = time.time()
    while time.time() - started < LIFETIME and time.time() - last[0] < IDLE:
        server.handle_request()
    server.server_close()


def pid_file(args):
    return os.path.join(args.root, f'.server-{args.port}.pid')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('command', choices=['start', 'stop', 'run'])
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--root', required=True)
    args = parser.parse_args()
    args.root = os.path.abspath(args.root)
    if args.command == 'run':
        return serve(args.port, args.root)
    if args.command == 'stop':
        try:
            with open(pid_file(args)) as f:
                os.kill(int(f.read()), signal.SIGTERM)
            os.remove(pid_file(args))
        except (OSError, ValueError):
            pass
        return 0
    os.makedirs(args.root, exist_ok=True)
    child = subprocess.Popen([sys.executable, __file__, 'run', '--port', str(args.port), '--root', args.root],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)
    with open(pid_file(args), 'w') as f:
        f.write(str(child.pid))
    for _ in range(100):
        try:
            socket.create_connection(('127.0.0.1', args.port), timeout=0.2).close()
            return 0
        except OSError:
            if child.poll() is not None:
                print(f'the update server could not listen on 127.0.0.1:{args.port}', file=sys.stderr)
                return 1
            time.sleep(0.1)
    print('the update server did not start', file=sys.stderr)
    return 1


if __name__ == '__main__':
    sys.exit(main())
