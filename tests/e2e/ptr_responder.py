#!/usr/bin/env python3
"""A name server for the tests and the lookup benchmark: answers reverse
(PTR) queries on 127.0.0.1:53 from a hosts-style table, each after the
same delay, or never, or (together:N) all at once when N names are waiting,
so that a client asking fewer at a time gets none. Addresses not in the
table get "no such name". Prints "PTR <name>" for every query it receives.
Names of both families, in-addr.arpa and ip6.arpa, are answered.

usage: ptr_responder.py TABLE SECONDS|never|together:N
"""
import ipaddress
import socket
import struct
import sys
import threading


def reverse_name(address):
    return ipaddress.ip_address(address).reverse_pointer


def read_table(path):
    names = {}
    with open(path) as table:
        for line in table:
            fields = line.split("#")[0].split()
            if len(fields) >= 2:
                names[reverse_name(fields[0])] = fields[1]
    return names


def question_name(query):
    """The name asked for, and where the question ends (its type and class
    included). Queries carry no compression."""
    labels, at = [], 12
    while query[at] != 0:
        labels.append(query[at + 1:at + 1 + query[at]].decode("ascii", "replace"))
        at += 1 + query[at]
    return ".".join(labels), at + 5


def encoded(name):
    return b"".join(bytes([len(part)]) + part.encode() for part in name.split(".")) + b"\0"


def answer(query, end, name):
    flags = 0x8180 if name else 0x8183  # a reply, recursion; NXDOMAIN
    header = query[:2] + struct.pack(">HHHHH", flags, 1, 1 if name else 0, 0, 0)
    reply = header + query[12:end]
    if name:
        data = encoded(name)
        reply += struct.pack(">HHHIH", 0xC00C, 12, 1, 60, len(data)) + data
    return reply


def main():
    names = read_table(sys.argv[1])
    mode = sys.argv[2]
    together = int(mode[9:]) if mode.startswith("together:") else 0
    delay = None if mode == "never" or together else float(mode)
    waiting = {}  # name: the latest query for it, when answering together
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 53))
    while True:
        query, peer = sock.recvfrom(4096)
        qname, end = question_name(query)
        print("PTR", qname, flush=True)
        if together:
            waiting[qname] = (answer(query, end, names.get(qname.lower())), peer)
            if len(waiting) >= together:
                for reply, to in waiting.values():
                    sock.sendto(reply, to)
                waiting.clear()
        elif delay is not None:
            reply = answer(query, end, names.get(qname.lower()))
            threading.Timer(delay, sock.sendto, (reply, peer)).start()


main()
