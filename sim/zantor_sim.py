#!/usr/bin/env python3
"""A ZANTOR DALI gateway controller on the loopback host: its HTTP API and its
TFTP server on one port number (TCP and UDP), for tests and demonstrations."""

import argparse
import signal
import socket
import sys
import threading

from zantor.catalogue import CONFIG_PATHS
from zantor.controller import Controller, default_status
from zantor.http_api import ApiServer, HttpFaults
from zantor.request_log import RequestLog
from zantor.tftp_server import FOREIGN_PACKETS, TftpFaults, TftpServer

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
    f.add_argument("--http-stall-after-headers", action="store_true",
                   help="send an answer's headers, then nothing more")
    f.add_argument("--http-drip", type=float, default=0.0, metavar="SECONDS",
                   help="send an answer's body one byte every SECONDS")
    f.add_argument("--http-hold-length", type=count, metavar="BYTES",
                   help="announce a Content-Length of BYTES, send at most that much of the "
                        "body, then hold the connection open")
    f.add_argument("--http-redirect", metavar="URL",
                   help="answer every request with a 302 redirect to URL")
    f.add_argument("--http-endless-chunked", action="store_true",
                   help="answer with a chunked body that never ends")
    f.add_argument("--http-404", action="store_true",
                   help="answer every HTTP request with 404 and an HTML page")
    f.add_argument("--no-status-txt", action="store_true",
                   help='send backup TARs without "status.txt"')
    f.add_argument("--empty-store", action="store_true",
                   help='answer every configuration with "status.txt" alone')
    p.add_argument("--full-store", action="store_true",
                   help="hold every configuration file of the catalogue, not only the usual ones")
    f.add_argument("--empty-file", action="append", default=[], metavar="NAME",
                   help="keep configuration NAME as a file of 0 bytes (repeatable)")
    f.add_argument("--tftp-drop-every", type=count, default=0, metavar="N",
                   help="leave out every Nth TFTP DATA packet sent; it goes out again "
                        "when the client stays silent for --tftp-timeout")
    f.add_argument("--tftp-cut-after", type=count, default=0, metavar="N",
                   help="end every TFTP read or write after N blocks with an ERROR packet")
    f.add_argument("--tftp-error", action="store_true",
                   help="answer every TFTP request with an ERROR packet")
    f.add_argument("--tftp-deny-write", type=count, action="append", default=[], metavar="N",
                   help="answer the Nth TFTP write request (from 1) with an ERROR packet (repeatable)")
    f.add_argument("--drop-restore", type=count, action="append", default=[], metavar="N",
                   help="close the Nth restore trigger (from 1) without an answer and without "
                        "applying the upload (repeatable)")
    f.add_argument("--tftp-end-early", type=count, metavar="BYTES",
                   help="end every TFTP read cleanly after BYTES bytes (the size announced "
                        "stays the file's)")
    f.add_argument("--tftp-oversized-blocks", action="store_true",
                   help="send TFTP DATA blocks four times the agreed block size")
    f.add_argument("--tftp-foreign-packets", action="store_true",
                   help="with the first %d blocks of a transfer, send a forged packet to the "
                        "client from another port" % FOREIGN_PACKETS)
    f.add_argument("--tftp-endless", action="store_true",
                   help="never end a TFTP read: full blocks of filler follow the file")
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
    controller = Controller(status, args.flash_size, args.empty_store, args.status_body,
                            args.full_store)
    for name in args.empty_file:
        controller.store[CONFIG_PATHS[name]] = b""
    controller.config_size = args.config_size
    log = RequestLog(args.request_log)
    tcp, udp = bind_pair(args.port)
    port = tcp.getsockname()[1]

    tftp = TftpServer(udp, controller,
                      TftpFaults(args.tftp_drop_every, args.tftp_cut_after, not args.no_tsize,
                                 args.tftp_error, deny_writes=args.tftp_deny_write,
                                 end_early=args.tftp_end_early, oversized=args.tftp_oversized_blocks,
                                 foreign=args.tftp_foreign_packets, endless=args.tftp_endless),
                      log.record, timeout=args.tftp_timeout)
    http = ApiServer(tcp, controller,
                     HttpFaults(args.refuse_after, args.stall, args.http_404, args.no_status_txt,
                                drop_restore=args.drop_restore,
                                stall_after_headers=args.http_stall_after_headers,
                                drip=args.http_drip, hold_length=args.http_hold_length,
                                redirect=args.http_redirect, endless_chunked=args.http_endless_chunked),
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
