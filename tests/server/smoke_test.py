#!/usr/bin/env python3
"""Starts rig-test-server, publishes, updates, lists, uploads, reads back and deletes a link."""
import json
import subprocess
import sys
import urllib.error
import urllib.request

KEY = "qvr_smoke"


def call(method, url, body=None, key=KEY, headers=None):
    request = urllib.request.Request(url, data=body, method=method)
    if key is not None:
        request.add_header("authorization", "Bearer " + key)
    for name, value in (headers or {}).items():
        request.add_header(name, value)
    try:
        with urllib.request.urlopen(request, timeout=20) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def main(program):
    server = subprocess.Popen([program, "--key", KEY], stdout=subprocess.PIPE, text=True)
    try:
        base = server.stdout.readline().strip()
        assert base.startswith("http://127.0.0.1:"), base
        doc = '{"v":1,"name":"Smoke \\u00e9","report":"r.pdf","sources":[{"id":"A"}]}'
        json_type = {"content-type": "application/json"}

        status, body = call("POST", base + "/api/rig", ('{"doc":' + doc + "}").encode(), headers=json_type)
        assert status == 200, (status, body)
        link = json.loads(body)
        token = link["token"]
        assert link["url"] == base + "/c/" + token, link

        status, _ = call("POST", base + "/api/rig", b'{"doc":{}}', key="wrong", headers=json_type)
        assert status == 401, status
        status, _ = call("POST", base + "/api/rig", b'{"token":"nope","doc":{}}', headers=json_type)
        assert status == 404, status

        updated = doc.replace("Smoke", "Updated")
        status, body = call("POST", base + "/api/rig", ('{"token":"%s","doc":%s}' % (token, updated)).encode(),
                            headers=json_type)
        assert status == 200 and json.loads(body)["token"] == token, (status, body)

        status, body = call("GET", base + "/api/rig/" + token, key=None)
        assert status == 200 and body.decode() == updated, (status, body)

        status, body = call("PUT", base + "/api/rig/%s/files/rigging-points.csv?label=Rigging%%20points%%20(CSV)" % token,
                            b"a;b\n")
        assert status == 200, (status, body)

        status, body = call("GET", base + "/api/rig")
        links = json.loads(body)["links"]
        assert status == 200 and len(links) == 1, (status, body)
        assert links[0]["name"] == "Updated \u00e9" and links[0]["sources"] == 1, links

        status, body = call("GET", base + "/c/" + token, key=None)
        assert status == 200 and b"<!doctype html>" in body.lower(), (status, body[:200])

        status, _ = call("DELETE", base + "/api/rig/" + token)
        assert status == 200, status
        status, _ = call("GET", base + "/c/" + token, key=None)
        assert status == 404, status
    finally:
        server.terminate()
        server.wait(timeout=20)
    print("rig-test-server answers as the program expects")


if __name__ == "__main__":
    main(sys.argv[1])
