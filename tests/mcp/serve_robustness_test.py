"""`orvanta serve` as a subprocess, fed what careless or hostile clients send: every
message gets exactly one whole answer on its own line and the server keeps serving."""
import json
import os
import subprocess
import tempfile
import unittest

ORVANTA = os.environ["ORVANTA_BIN"]


class Server:
    def __init__(self, work):
        env = dict(os.environ, KESTRAN_WORK_DIR=work)
        self.proc = subprocess.Popen([ORVANTA, "serve"], cwd=work, env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def exchange(self, payload, timeout=120):
        """Writes `payload` (bytes), closes stdin and returns the answers, one JSON per line."""
        out, _ = self.proc.communicate(payload, timeout=timeout)
        self.returncode = self.proc.returncode
        lines = out.decode("utf-8").split("\n")
        self.assert_lines(lines)
        return [json.loads(line) for line in lines if line]

    @staticmethod
    def assert_lines(lines):
        assert lines[-1] == "", "output does not end with a newline"
        for line in lines[:-1]:
            obj = json.loads(line)  # raises on two objects on one line
            assert isinstance(obj, dict), line


def message(**fields):
    return (json.dumps(dict(jsonrpc="2.0", **fields)) + "\n").encode()


def ping(i):
    return message(id=i, method="ping")


class ServeRobustnessTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="orvanta_serve_")
        self.work = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def run_server(self, payload):
        server = Server(self.work)
        answers = server.exchange(payload)
        self.assertEqual(server.returncode, 0, "the server did not end cleanly")
        return answers

    def test_badly_typed_fields_get_errors_and_the_server_goes_on(self):
        bad = [
            (b'{"jsonrpc":2,"id":1,"method":"ping"}\n', 1, -32600),
            (b'{"jsonrpc":"2.0","id":2,"method":"initialize","params":{"protocolVersion":5}}\n', 2, -32602),
            (b'{"jsonrpc":"2.0","id":3,"method":7}\n', 3, -32600),
            (b'{"jsonrpc":"2.0","id":4,"method":"ping","params":[1]}\n', 4, -32602),
            (b'{"jsonrpc":"2.0","id":5,"method":"tools/call","params":{"name":["x"]}}\n', 5, -32602),
            (b'{"jsonrpc":"2.0","id":6,"method":"tools/call","params":{"name":"list_cases","_meta":"x"}}\n', 6, -32602),
            (b'{"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"name":"list_cases",'
             b'"_meta":{"progressToken":{"a":1}}}}\n', 7, -32602),
            (b'{"jsonrpc":"2.0","id":null,"method":"ping"}\n', None, -32600),
            (b'{"jsonrpc":"2.0","id":1.5,"method":"ping"}\n', None, -32600),
            (b'{"jsonrpc":["2.0"],"method":"ping"}\n', None, -32600),
            (b'"just a string"\n', None, -32600),
            (b'{"jsonrpc":"2.0","id":8,"method":"ping","x":1e999}\n', None, -32700),
        ]
        notices = (b'{"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":{"x":[]}}}\n'
                   b'{"jsonrpc":"2.0","method":"notifications/cancelled","params":7}\n'
                   b'{"jsonrpc":"2.0","method":"notifications/initialized","params":"x"}\n')
        payload = b"".join(line for line, _, _ in bad) + notices + ping(99)
        answers = self.run_server(payload)
        self.assertEqual(len(answers), len(bad) + 1, answers)
        for (line, id_, code), answer in zip(bad, answers):
            self.assertEqual(answer.get("id"), id_, line)
            self.assertEqual(answer["error"]["code"], code, line)
        self.assertEqual(answers[-1], {"jsonrpc": "2.0", "id": 99, "result": {}})

    def test_deep_nesting_and_oversized_lines_are_refused(self):
        deep = b'{"jsonrpc":"2.0","id":1,"method":"ping","params":{"a":' + b"[" * 50000 + b"}}\n"
        long_but_fine = message(id=2, method="ping", params={"pad": "x" * 100000})
        nested_ok = b'{"jsonrpc":"2.0","id":3,"method":"ping","params":{"a":' + b"[" * 200 + b"]" * 200 + b"}}\n"
        brackets_in_text = message(id=4, method="ping", params={"a": "[" * 5000})
        huge = b'{"jsonrpc":"2.0","id":5,"method":"ping","params":{"pad":"' + b"y" * (17 << 20) + b'"}}\n'
        answers = self.run_server(deep + long_but_fine + nested_ok + brackets_in_text + huge + ping(6))
        self.assertEqual(len(answers), 6, [a.get("error") for a in answers])
        self.assertEqual(answers[0]["error"]["code"], -32700)
        self.assertIn("256 levels", answers[0]["error"]["message"])
        self.assertEqual([a.get("result") for a in answers[1:4]], [{}, {}, {}])
        self.assertEqual(answers[4]["error"]["code"], -32600)
        self.assertIn("16 MiB", answers[4]["error"]["message"])
        self.assertEqual(answers[5]["id"], 6)

    def test_a_flood_of_requests_gets_each_answer_once_and_whole(self):
        # Tool calls (answered by the worker thread) interleaved with requests that the
        # reading thread answers itself, all written at once.
        kinds = {7: "list_cases", 8: "check_case"}
        parts = []
        for i in range(4000):
            kind = i % 10
            if kind in kinds:
                args = {"case_name": "missing"} if kind == 8 else {}
                parts.append(message(id=i, method="tools/call", params={"name": kinds[kind], "arguments": args}))
            elif kind == 9:
                parts.append(message(id=i, method="no/such/method"))
            else:
                parts.append(ping(i))
        answers = self.run_server(b"".join(parts))
        ids = [a["id"] for a in answers]
        self.assertEqual(len(ids), len(set(ids)), "some id was answered twice")
        self.assertEqual(set(ids), set(range(4000)))
        for a in answers:
            kind = a["id"] % 10
            if kind == 8:
                self.assertTrue(a["result"]["isError"])
            elif kind == 9:
                self.assertEqual(a["error"]["code"], -32601)
            elif kind == 7:
                self.assertEqual(a["result"]["content"][0]["text"], "[]")
            else:
                self.assertEqual(a["result"], {})

    def test_a_cancel_notice_for_an_idle_id_does_not_silence_a_later_request(self):
        cancel = message(method="notifications/cancelled", params={"requestId": 77, "reason": "stale"})
        call = message(id=77, method="tools/call", params={"name": "list_cases", "arguments": {}})
        answers = {a["id"]: a for a in self.run_server(cancel + call + ping(78))}
        self.assertEqual(sorted(answers), [77, 78])
        self.assertEqual(answers[77]["result"]["content"][0]["text"], "[]")

    def test_a_client_that_stops_reading_does_not_kill_the_server_with_sigpipe(self):
        server = Server(self.work)
        server.proc.stdout.close()
        server.proc.stdin.write(ping(1) * 100)
        server.proc.stdin.close()
        self.assertEqual(server.proc.wait(timeout=60), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
