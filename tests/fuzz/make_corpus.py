#!/usr/bin/env python3
"""Writes the seed corpora: every message type from the client and from strangers, pictures,
password guessing, floods of junk for the session; accepting, refusing, picture-serving and
misbehaving servers for the client. The formats are described atop the two targets."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
CLIENT, OTHER, OTHER_PORT = 0, 1, 2


def dg(data, sender=CLIENT, queue_only=False):
    data = bytes(data)
    kind = 40 if queue_only else 0
    if len(data) > 254:  # the length in two bytes; zero-filled
        return bytes([kind << 2 | sender, 255]) + len(data).to_bytes(2, "big")
    return bytes([kind << 2 | sender, len(data)]) + data


def idle(passes):
    return bytes([(48 + passes % 16) << 2, passes // 16])


def desktop(size, width=1024, height=768):
    return bytes([56 << 2]) + b"".join(v.to_bytes(2, "big") for v in (size, width, height))


CAPTURE_TOGGLE, SIZE_TOGGLE, RESTART, PASS = bytes([240]), bytes([244]), bytes([248]), bytes([252])
CONNECT = dg(b"\0pw")


def session_seeds():
    seeds = {}
    for t in list(range(1, 26)) + [26, 255]:
        seeds["client-type-%d" % t] = CONNECT + dg([t, 130, 96, 10, 20])
        seeds["stranger-type-%d" % t] = CONNECT + dg([t, 1, 2, 3, 4], OTHER) + dg([t, 5], OTHER_PORT)
    seeds["short-commands"] = CONNECT + dg([3]) + dg([6, 1]) + dg([17]) + dg([24]) + dg([23]) + dg([4, 7])
    seeds["keys-held-then-goodbye"] = CONNECT + dg([18, 65]) + dg([9]) + dg([20, 161]) + dg([1])
    seeds["held-then-timeout"] = CONNECT + dg([12]) + dg([18, 200]) + idle(3005)
    seeds["held-then-takeover"] = CONNECT + dg([15]) + dg(b"\0pw", OTHER) + dg([16], OTHER)
    seeds["held-then-restart"] = CONNECT + dg([9]) + RESTART + dg([9])
    seeds["relative-moves"] = CONNECT + dg([4, 100, 50]) + dg([4, 103, 48]) + dg([5, 0, 0]) + dg([4, 9, 9])
    seeds["full-view"] = CONNECT + desktop(2500) + dg([22]) + dg([23, 0]) + dg([23, 1]) + dg([23, 2]) + dg([23, 3])
    seeds["region-view"] = CONNECT + desktop(1200, 1920, 1080) + dg([24, 255, 190]) + dg([25, 1]) + dg([25, 0])
    seeds["big-pictures"] = CONNECT + desktop(30000) + dg([22]) + dg([23, 29]) + desktop(30001) + dg([22]) + dg([23, 0]) + desktop(40000) + dg([22]) + dg([23, 32])
    seeds["empty-picture"] = CONNECT + desktop(0) + dg([22]) + dg([23, 0])
    seeds["capture-fails"] = CONNECT + dg([22]) + CAPTURE_TOGGLE + dg([22]) + dg([23, 0]) + CAPTURE_TOGGLE + dg([22])
    seeds["no-desktop-size"] = CONNECT + SIZE_TOGGLE + dg([24, 9, 9]) + dg([6, 1, 2, 3, 4]) + desktop(100, 0, 0) + SIZE_TOGGLE + dg([6, 1, 2, 3, 4]) + dg([24, 9, 9])
    seeds["wrong-passwords"] = b"".join(dg(b"\0guess%d" % i, OTHER) for i in range(12)) + idle(1000) + dg(b"\0pw", OTHER)
    seeds["password-forms"] = dg(b"\0pw\0") + dg(b"\0pw\0junk") + dg(b"\0PW") + dg(b"\0p") + dg(b"\0") + dg(b"\0pwx")
    seeds["over-long-and-empty"] = CONNECT + dg(bytes(1024)) + dg(b"") + dg(bytes(1023))
    seeds["flood-then-client"] = CONNECT + b"".join(dg([i % 26, i], OTHER, True) for i in range(70)) + dg([3, 50, 60], CLIENT, True) + PASS + PASS
    seeds["keep-alives"] = CONNECT + idle(600) + dg([2]) + idle(2999) + dg([2], OTHER)
    seeds["picture-request-as-it-times-out"] = CONNECT + idle(2999) + dg([22])
    seeds["stop-start"] = CONNECT + RESTART + dg([3, 1, 1]) + CONNECT + dg([1]) + dg([1])
    return seeds


def reply(data, stranger=False, delay=None):
    """One raw reply; a delay (milliseconds) comes after the datagram."""
    data = bytes(data)
    h = (1 if stranger else 0) | (2 if delay is not None else 0)
    body = bytes([255, len(data) - 1024]) if len(data) > 254 else bytes([len(data)]) + data
    return bytes([h]) + body + (bytes([delay]) if delay is not None else b"")


def answer(second, payload=b"", stranger=False):
    """A reply shaped as an answer: the request's type, `second`, then the payload."""
    return bytes([8 | (1 if stranger else 0), second, len(payload)]) + bytes(payload)


def group(*replies):
    return bytes([len(replies)]) + b"".join(replies)


def client_seeds():
    chunk = bytes(range(200))
    seeds = {}
    accept = group(answer(1))
    full = group(answer(2)) + group(answer(0, chunk)) + group(answer(1, chunk[:50]))
    region = group(answer(1)) + group(answer(0, chunk[:99]))
    seeds["serves-both-views"] = accept + full + region + group()
    seeds["refuses"] = group(answer(0))
    seeds["stranger-accepts"] = group(answer(1, stranger=True))
    seeds["stranger-chunks"] = accept + group(answer(2)) + group(answer(0, chunk, stranger=True), answer(0, chunk[:5])) + group(answer(1, b"x")) + region
    seeds["keep-alives-between"] = accept + group(reply([2]), reply([2]), answer(1)) + group(reply([2]), answer(0, chunk))
    seeds["lost-then-repeated"] = accept + group(answer(3)) + group(answer(0, chunk)) + group() + group(answer(2, chunk)) + group(answer(1, chunk)) + group(answer(1, chunk))
    seeds["wrong-types-and-lengths"] = accept + group(reply([22]), reply([23, 0]), reply([])) + group(reply(bytes(1030)), answer(255)) + group(reply([23]))
    seeds["late-ready"] = accept + group(reply([22, 1], delay=15)) + group(answer(0, chunk))
    seeds["zero-chunks"] = accept + group(answer(0)) + group(answer(0))
    seeds["short-first-chunk"] = accept + group(answer(2)) + group(answer(0, b"\xff\xd8" + chunk)) + group(answer(1, chunk + b"\xff\xd9"))
    return seeds


def write(name, seeds):
    folder = os.path.join(HERE, "corpus", name)
    os.makedirs(folder, exist_ok=True)
    for f in os.listdir(folder):
        os.remove(os.path.join(folder, f))
    for key, data in seeds.items():
        with open(os.path.join(folder, key), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write("session", session_seeds())
    write("client", client_seeds())
