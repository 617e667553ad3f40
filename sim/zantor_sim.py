#!/usr/bin/env python3
"""A ZANTOR DALI gateway controller on the loopback host: its HTTP API and its
TFTP server on one port number (TCP and UDP), for tests and demonstrations."""

import argparse
import signal
import socket
import sys
import threading

from zantor.controller import Controller, default_status
from zantor.http_api import ApiServer, HttpFaults
from zantor.request_log import RequestLog
from zantor.tftp_server import TftpFaults, TftpServer

HOST = "127.0.0.1"
FLASH_SIZE = 2 * 1024 * 1024

EPILOG = """The first line of standard output is the port number; requests are logged
on standard error, and with --request-log as JSON lines. The simulator runs
until it gets SIGTERM or SIGINT."""


def count(text):
    value = int(text)
    if value < 0:
        raise argparse.ArgumentTypeError("must not be negative: %s" % text)
    return value


def parse_args(argv):
    p = argparse.ArgumentParser(
        description=__doc__, epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=count, default=0,
                   help="TCP and UDP port on %s; 0 picks one free for both (default)" % HOST)
    p.add_argument("--request-log", metavar="FILE",
                   help="append one JSON object per request to FILE")
    p.add_argument("--model", default="ZANTOR-2", help="model name (default ZANTOR-2)")
    p.add_argument("--firmware-version", default="2.2.4",
                   help="firmware version; picks the channel and inputs file formats (default 2.2.4)")
    p.add_argument("--serial", default="ZT2-004711", help="serial number")
    p.add_argument("--mac", default="00:1E:C0:4A:11:7B", help="Ethernet MAC address")
    p.add_argument("--status-field", action="append", default=[], metavar="NAME=VALUE",
                   help="set any other member of the status record (repeatable)")
    p.add_argument("--status-body", metavar="TEXT",
                   help="answer the status request with TEXT as it stands")
    p.add_argument("--tftp-timeout", type=float, default=1.0, metavar="SECONDS",
                   help="TFTP retransmission timeout (default 1)")
    f = p.add_argument_group("faults on demand")
    f.add_argument("--refuse", action="store_true",
                   help="refuse every HTTP connection (nobody listens on TCP)")
    f.add_argument("--refuse-after", type=count, metavar="N",
                   help="answer N HTTP requests, then close the HTTP listener")
    f.add_argument("--stall", action="store_true",
                   help="accept HTTP requests and never answer them")
    f.add_argument("--http-404", action="store_true",
                   help="answer every HTTP request with 404 and an HTML page")
    f.add_argument("--no-status-txt", action="store_true",
                   help='send backup TARs without "status.txt"')
    f.add_argument("--empty-store", action="store_true",
                   help='answer every configuration with "status.txt" alone')
    f.add_argument("--tftp-drop-every", type=count, default=0, metavar="N",
                   help="leave out every Nth TFTP DATA packet sent; it goes out again "
                        "when the client stays silent for --tftp-timeout")
    f.add_argument("--tftp-cut-after", type=count, default=0, metavar="N",
                   help="end every TFTP read or write after N blocks with an ERROR packet")
    f.add_argument("--tftp-error", action="store_true",
                   help="answer every TFTP request with an ERROR packet")
    f.add_argument("--no-tsize", action="store_true",
                   help="do not announce the transfer size of a TFTP read")
    p.add_argument("--config-size", type=count, default=0, metavar="BYTES",
                   help="answer every configuration the store lacks with BYTES of filler")
    f.add_argument("--flash-size", type=count, default=FLASH_SIZE, metavar="BYTES",
                   help='size of "flashfs.bin" and "flashraw.bin" (default 2 MiB)')
    args = p.parse_args(argv)
    for field in args.status_field:
        if "=" not in field:
            p.error("--status-field needs NAME=VALUE: %s" % field)
    if args.refuse:
        args.refuse_after = 0
    return args


def bind_pair(port):
    """A listening TCP socket and a UDP socket on the same port number."""
    for _ in range(100):
        tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        tcp.bind((HOST, port))
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            udp.bind((HOST, tcp.getsockname()[1]))
        except OSError:
            tcp.close()
            udp.close()
            if port:
                raise
            continue
        tcp.listen(64)
        return tcp, udp
    raise OSError("no port free for both TCP and UDP")


def main(argv):
    args = parse_args(argv)
    status = default_status(args.model, args.firmware_version, args.serial, args.mac)
    status.update(field.split("=", 1) for field in args.status_field)
    controller = Controller(status, args.flash_size, args.empty_store, args.status_body)
    controller.config_size = args.config_size
    log = RequestLog(args.request_log)
    tcp, udp = bind_pair(args.port)
    port = tcp.getsockname()[1]

    tftp = TftpServer(udp, controller,
                      TftpFaults(args.tftp_drop_every, args.tftp_cut_after, not args.no_tsize,
                                 args.tftp_error),
                      log.record, timeout=args.tftp_timeout)
    http = ApiServer(tcp, controller,
                     HttpFaults(args.refuse_after, args.stall, args.http_404, args.no_status_txt),
                     log, on_refuse=lambda: close_listener(http, serving=True))

    # The stop signals are blocked here, before any thread starts, so that
    # every thread inherits the mask and the main thread alone takes them
    # with sigwait. (Setting an Event from a Python signal handler can
    # deadlock when the signal lands while the main thread holds the
    # Event's lock inside wait.)
    stop_signals = {signal.SIGTERM, signal.SIGINT}
    signal.pthread_sigmask(signal.SIG_BLOCK, stop_signals)
    # Closed before anyone learns the port, so no connection slips in.
    if args.refuse_after == 0:
        close_listener(http, serving=False)
    else:
        threading.Thread(target=http.serve_forever, daemon=True).start()
    threading.Thread(target=tftp.serve_forever, daemon=True).start()
    print(port, flush=True)
    sys.stderr.write("zantor-sim: %s firmware %s on %s:%d (HTTP and TFTP)\n"
                     % (args.model, args.firmware_version, HOST, port))

    signal.sigwait(stop_signals)
    http.stopping.set()
    return 0


def close_listener(http, serving):
    """From now on HTTP connections are refused."""
    sys.stderr.write("zantor-sim: closing the HTTP listener\n")
    if serving:
        http.shutdown()
    http.server_close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
