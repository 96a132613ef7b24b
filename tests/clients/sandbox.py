"""What both client tests set up: a Radicale server of their own on 127.0.0.1
and a free port, its collections, and the simulated handheld's image file,
which the tests edit as the handheld's owner would on the device."""
import json
import os
import socket
import subprocess
import sys
import time
import urllib.request

NAMESPACES = {"carddav": ("urn:ietf:params:xml:ns:carddav", "addressbook"),
              "caldav": ("urn:ietf:params:xml:ns:caldav", "calendar")}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_radicale(root):
    """Radicale on a free port, storing under ROOT/radicale, anyone in; (process, port)."""
    port = free_port()
    config = os.path.join(root, "radicale.conf")
    with open(config, "w") as f:
        f.write("[server]\nhosts = 127.0.0.1:%d\n[auth]\ntype = none\n[rights]\ntype = owner_only\n"
                "[storage]\nfilesystem_folder = %s\n" % (port, os.path.join(root, "radicale")))
    server = subprocess.Popen(["radicale", "--config", config], stdout=subprocess.DEVNULL,
                              stderr=open(os.path.join(root, "radicale.log"), "w"))
    for _ in range(100):
        try:
            urllib.request.urlopen("http://127.0.0.1:%d/.web/" % port, timeout=1)
            return server, port
        except OSError:
            time.sleep(0.1)
    server.kill()
    sys.exit("Radicale did not start")


def stop(server):
    server.terminate()
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()


def request(url, method, body, content_type):
    """One request as the user "user" (Radicale lets anyone in under any password)."""
    sent = urllib.request.Request(url, data=body.encode(), method=method, headers={"Content-Type": content_type})
    sent.add_header("Authorization", "Basic dXNlcjp4")  # user:x
    urllib.request.urlopen(sent, timeout=10)


def make_collection(url, kind):
    """An address book (KIND carddav) or a calendar (caldav) at URL."""
    namespace, element = NAMESPACES[kind]
    request(url, "MKCOL", '<?xml version="1.0"?><D:mkcol xmlns:D="DAV:" xmlns:C="%s"><D:set><D:prop>'
            '<D:resourcetype><D:collection/><C:%s/></D:resourcetype></D:prop></D:set></D:mkcol>'
            % (namespace, element), "application/xml")


def device_records(image, db_id):
    with open(image, encoding="utf-8") as f:
        return next(db for db in json.load(f)["databases"] if db["id"] == db_id)["records"]


def edit_device(image, db_id, match, values):
    """What the handheld's owner does on the device: a change lands in its change list."""
    with open(image, encoding="utf-8") as f:
        content = json.load(f)
    db = next(d for d in content["databases"] if d["id"] == db_id)
    record = next(r for r in db["records"] if match(r["values"]))
    record["values"].update(values)
    if record["id"] not in db["changed"]:
        db["changed"].append(record["id"])
    with open(image, "w", encoding="utf-8") as f:
        json.dump(content, f, indent=1)
