#!/usr/bin/python3
"""A SIP call between two baresip instances that speak SIVO through the sivo
module, inside a network namespace of its own.

The caller plays a speech recording into the call and hangs up at its end;
the callee answers by itself. baresip's sndfile filter dumps what the
caller's encoder received and what the callee's decoder gave, and the
callee's audio must equal, sample for sample, `sivo decode` of `sivo encode`
of the caller's.

  --loss P   the caller's RTP goes through a relay that drops P % of the
             packets (seeded, never two in a row: baresip 1.0.0 asks the
             codec to conceal once per gap); the callee's audio must equal
             the reference decoded with exactly those frames lost
  --gst      the relay also hands every packet to a GStreamer pipeline
             (udpsrc ! rtpjitterbuffer ! rtpsivodepay ! sivodec), whose
             audio must equal the callee's

Everything runs on 198.18.0.1 on a tap device of the namespace; the
processes are bounded in time and stopped by the test.
"""
import argparse
import ctypes
import glob
import os
import random
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import wave

ADDR = "198.18.0.1"
CALLER_SIP, CALLEE_SIP = 5060, 5070
CALLER_RTP, CALLEE_RTP = 10000, 10002
RELAY_IN, RELAY_OUT = 20000, 20001
GST_PORT = 5004
FRAME = 240
FRAME_BYTES = {0: 24, 1: 31, 2: 19, 3: 45}
BARESIP_MODULES = ("account", "alsa", "aufile", "menu", "sndfile")
CALL_DEADLINE = 30.0  # seconds from dialling to the caller's hang-up


def fail(text):
    print(f"FAIL: {text}", flush=True)
    sys.exit(1)


def run(cmd, **kw):
    result = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if result.returncode != 0:
        fail(f"{' '.join(cmd)} exited with {result.returncode}: {result.stderr.strip()}")
    return result


def read_wav(path):
    with wave.open(path) as w:
        if w.getnchannels() != 1 or w.getsampwidth() != 2 or w.getframerate() != 8000:
            fail(f"{path}: not 8000 Hz 16-bit mono")
        data = w.readframes(w.getnframes())
    return list(struct.unpack(f"<{len(data) // 2}h", data))


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(struct.pack(f"<{len(samples)}h", *samples))


def setup_network(nft_rules):
    for cmd in (["ip", "link", "set", "lo", "up"], ["ip", "tuntap", "add", "t0", "mode", "tap"],
                ["ip", "addr", "add", f"{ADDR}/24", "dev", "t0"], ["ip", "link", "set", "t0", "up"]):
        run(cmd)
    if nft_rules:
        run(["nft", "-f", "-"], input=nft_rules)


# The caller's RTP to the callee is steered to the relay; the callee's own
# RTP is left out of connection tracking, so that it cannot open the flow
# the other way round before the caller's first packet does.
STEER_RULES = f"""
table ip sivo_call {{
  chain raw_out {{
    type filter hook output priority raw;
    udp sport {CALLEE_RTP} udp dport {CALLER_RTP} notrack
  }}
  chain nat_out {{
    type nat hook output priority -100;
    ip daddr {ADDR} udp sport {CALLER_RTP} udp dport {CALLEE_RTP} dnat to {ADDR}:{RELAY_IN}
  }}
}}
"""


class Relay(threading.Thread):
    """Forwards the caller's RTP to the callee (and to `copies`), dropping
    `loss` % of the packets after the first five, never two in a row."""

    def __init__(self, loss, seed, copies):
        super().__init__(daemon=True)
        self.rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.rx.bind((ADDR, RELAY_IN))
        self.tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.tx.bind((ADDR, RELAY_OUT))
        # Dropping with chance p unless the packet before was dropped loses
        # p / (1 + p) of the packets.
        self.chance = loss / 100.0 / (1.0 - loss / 100.0)
        self.random = random.Random(seed)
        self.copies = copies
        self.packets = []  # (sequence number, payload type, payload bytes, dropped)
        self.halt = threading.Event()

    def run(self):
        while not self.halt.is_set():
            ready, _, _ = select.select([self.rx], [], [], 0.05)
            if not ready:
                continue
            data, _ = self.rx.recvfrom(4096)
            header = 12 + 4 * (data[0] & 0x0F)
            if data[0] & 0x10:
                header += 4 + 4 * struct.unpack_from("!H", data, header + 2)[0]
            seq = struct.unpack_from("!H", data, 2)[0]
            dropped = (len(self.packets) >= 5 and not (self.packets and self.packets[-1][3])
                       and self.random.random() < self.chance)
            self.packets.append((seq, data[1] & 0x7F, len(data) - header, dropped))
            if not dropped:
                self.tx.sendto(data, (ADDR, CALLEE_RTP))
                for port in self.copies:
                    self.tx.sendto(data, (ADDR, port))

    def stop(self):
        self.halt.set()
        self.join(5)


def write_instance(folder, modules, sip_port, rtp_port, source, account, rate):
    os.makedirs(folder)
    with open(os.path.join(folder, "config"), "w") as f:
        f.write(f"""poll_method epoll
sip_listen {ADDR}:{sip_port}
audio_source aufile,{source}
audio_player alsa,null
rtp_ports {rtp_port}-{rtp_port + 1}
snd_path {folder}
sivo_rate {rate}
sivo_postfilter yes
module_path {modules}
module menu.so
module alsa.so
module aufile.so
module sndfile.so
module sivo.so
module account.so
""")
    with open(os.path.join(folder, "accounts"), "w") as f:
        f.write(account + "\n")
    open(os.path.join(folder, "contacts"), "w").close()


def wait_for(path, text, deadline):
    while time.monotonic() < deadline:
        with open(path, errors="replace") as f:
            if text in f.read():
                return True
        time.sleep(0.05)
    return False


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGINT)
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def dump(folder, kind):
    files = glob.glob(os.path.join(folder, f"dump-*-{kind}.wav"))
    if len(files) != 1:
        fail(f"{folder}: expected one {kind} dump, found {len(files)}")
    return files[0]


def decode_with_losses(sivocore, stream, frame_bytes, lost):
    """Decodes a stream of equal-sized frames with the frames in `lost`
    concealed instead, through the codec's own C interface."""
    lib = ctypes.CDLL(sivocore)
    handle = ctypes.c_void_p()
    if lib.sivo_decoder_open(ctypes.byref(handle)) != 0:
        fail("sivo_decoder_open failed")
    out = (ctypes.c_int16 * FRAME)()
    kind, length = ctypes.c_int32(), ctypes.c_int32()
    samples = []
    for i in range(len(stream) // frame_bytes):
        frame = stream[i * frame_bytes:(i + 1) * frame_bytes]
        mode = 1 if i in lost else 0
        if lib.sivo_decode_frame(handle, frame, out, mode, ctypes.byref(kind),
                                 ctypes.byref(length)) != 0:
            fail(f"frame {i} of the reference stream did not decode")
        samples.extend(out)
    lib.sivo_decoder_close(ctypes.byref(handle))
    return samples


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--baresip", required=True)
    parser.add_argument("--baresip-modules", required=True, help="Debian's baresip module folder")
    parser.add_argument("--module", required=True, help="the sivo.so under test")
    parser.add_argument("--sivo", required=True, help="the sivo program")
    parser.add_argument("--sivocore", required=True, help="libsivocore.so")
    parser.add_argument("--speech", required=True, help="8 kHz 16-bit mono raw speech")
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rate", type=int, default=0, choices=range(4))
    parser.add_argument("--ptime", type=int, default=30, help="the a=ptime of both accounts")
    parser.add_argument("--loss", type=float, default=0.0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--gst", action="store_true")
    parser.add_argument("--gst-plugins", help="folder of the sivo GStreamer plugin")
    args = parser.parse_args()

    if os.environ.get("SIVO_CALL_NAMESPACE") != "1":
        # Run again inside a network namespace of our own.
        env = dict(os.environ, SIVO_CALL_NAMESPACE="1")
        unshare = ["unshare", "-n"] if os.geteuid() == 0 else ["unshare", "-rn"]
        sys.exit(subprocess.run(unshare + [sys.executable] + sys.argv, env=env).returncode)

    start = time.monotonic()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    modules = os.path.join(args.work, "modules")
    os.makedirs(modules)
    for name in BARESIP_MODULES:
        os.symlink(os.path.join(args.baresip_modules, name + ".so"),
                   os.path.join(modules, name + ".so"))
    os.symlink(os.path.abspath(args.module), os.path.join(modules, "sivo.so"))

    with open(args.speech, "rb") as f:
        raw = f.read(int(args.seconds * 8000) * 2)
    speech = list(struct.unpack(f"<{len(raw) // 2}h", raw))
    write_wav(os.path.join(args.work, "IN.wav"), speech)
    # The callee talks silence for longer than the call lasts.
    write_wav(os.path.join(args.work, "quiet.wav"), [0] * (len(speech) * 3))

    caller_dir = os.path.join(args.work, "caller")
    callee_dir = os.path.join(args.work, "callee")
    write_instance(caller_dir, modules, CALLER_SIP, CALLER_RTP, os.path.join(args.work, "IN.wav"),
                   f"<sip:caller@{ADDR}:{CALLER_SIP}>;regint=0;audio_codecs=SIVO;ptime={args.ptime}",
                   args.rate)
    write_instance(callee_dir, modules, CALLEE_SIP, CALLEE_RTP,
                   os.path.join(args.work, "quiet.wav"),
                   f"<sip:callee@{ADDR}:{CALLEE_SIP}>;regint=0;answermode=auto;"
                   f"audio_codecs=SIVO;ptime={args.ptime}", args.rate)

    use_relay = args.loss > 0 or args.gst
    setup_network(STEER_RULES if use_relay else None)
    relay = Relay(args.loss, args.seed, [GST_PORT] if args.gst else []) if use_relay else None
    processes = []
    logs = {}
    try:
        gst = None
        if args.gst:
            env = dict(os.environ, GST_PLUGIN_PATH=args.gst_plugins,
                       GST_REGISTRY=os.path.join(args.work, "registry.bin"))
            gst_log = open(os.path.join(args.work, "gst.log"), "w")
            gst = subprocess.Popen(
                ["gst-launch-1.0", "-e", "udpsrc", f"address={ADDR}", f"port={GST_PORT}",
                 "caps=application/x-rtp,media=audio,clock-rate=8000,encoding-name=SIVO",
                 "!", "rtpjitterbuffer", "!", "rtpsivodepay", "!", "sivodec", "!", "wavenc", "!",
                 "filesink", "location=" + os.path.join(args.work, "gst.wav")],
                stdout=gst_log, stderr=subprocess.STDOUT, env=env)
            processes.append(gst)
            if not wait_for(gst_log.name, "PLAYING", time.monotonic() + 20):
                fail("the GStreamer pipeline did not start: see " + gst_log.name)
        if relay:
            relay.start()

        for name, folder, extra in (("callee", callee_dir, []),
                                    ("caller", caller_dir,
                                     ["-e", f"/dial sip:callee@{ADDR}:{CALLEE_SIP}"])):
            logs[name] = os.path.join(args.work, name + ".log")
            with open(logs[name], "w") as log:
                processes.append(subprocess.Popen(
                    [args.baresip, "-f", folder, "-t", str(int(CALL_DEADLINE) + 10)] + extra,
                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT))
            if not wait_for(logs[name], "baresip is ready", time.monotonic() + 10):
                fail(f"the {name} did not start: see {logs[name]}")
        if not wait_for(logs["caller"], "terminated", time.monotonic() + CALL_DEADLINE):
            fail(f"the call did not end in {CALL_DEADLINE:.0f} s: see {logs['caller']}")
        if not wait_for(logs["callee"], "terminated", time.monotonic() + 5):
            fail(f"the callee did not see the call end: see {logs['callee']}")
    finally:
        for process in reversed(processes):
            stop(process)
        if relay and relay.is_alive():
            relay.stop()

    for name, log in logs.items():
        with open(log, errors="replace") as f:
            text = f.read()
        if "sivo: rate" not in text:
            fail(f"the {name} did not load the sivo module: see {log}")
    with open(logs["callee"], errors="replace") as f:
        callee_log = f.read()
    counts = re.search(r"sivo: decoder: (\d+) frames decoded, (\d+) concealed, (\d+) damaged",
                       callee_log)
    if not counts:
        fail(f"no decoder summary in {logs['callee']}")
    decoded, concealed, damaged = (int(x) for x in counts.groups())

    # The reference: what the caller's encoder received, through the sivo program.
    sent = dump(caller_dir, "enc")
    received = read_wav(dump(callee_dir, "dec"))
    stream_path = os.path.join(args.work, "reference.sivo")
    reference_path = os.path.join(args.work, "reference.wav")
    run([args.sivo, "encode", "-q", "-r", str(args.rate), sent, stream_path])
    run([args.sivo, "decode", "-q", stream_path, reference_path])
    reference = read_wav(reference_path)
    with open(stream_path, "rb") as f:
        stream = f.read()
    frame_bytes = FRAME_BYTES[args.rate]
    if len(stream) % frame_bytes:
        fail(f"{stream_path}: {len(stream)} bytes is no whole number of rate-{args.rate} frames")

    frames_sent = len(stream) // frame_bytes
    if len(received) % FRAME or len(received) < (frames_sent - 12) * FRAME:
        fail(f"the callee decoded {len(received)} samples of the {frames_sent * FRAME} sent")
    expected = reference
    lost = set()
    if relay:
        if any(pt != relay.packets[0][1] for _, pt, _, _ in relay.packets):
            fail("the payload type changed during the call")
        frame = 0
        for _, _, size, dropped in relay.packets:
            if size % frame_bytes:
                fail(f"an RTP payload of {size} bytes is no whole number of frames")
            if dropped:
                lost.update(range(frame, frame + size // frame_bytes))
            frame += size // frame_bytes
        if not frames_sent - 2 <= frame <= frames_sent:
            fail(f"the relay saw {frame} frames, the caller encoded {frames_sent}")
        expected = decode_with_losses(args.sivocore, stream, frame_bytes, lost)
        if decode_with_losses(args.sivocore, stream, frame_bytes, set()) != reference:
            fail("the codec's C interface and the sivo program decode differently")

    where = first_difference(received, expected)
    if where is not None:
        fail(f"the callee's audio differs from the reference at sample {where} "
             f"(frame {where // FRAME}): {received[where]} != {expected[where]}")
    frames_received = len(received) // FRAME
    lost_in_call = sorted(i for i in lost if i < frames_received)
    if concealed != len(lost_in_call) or decoded + concealed != frames_received or damaged:
        fail(f"the callee decoded {decoded} frames and concealed {concealed} ({damaged} damaged); "
             f"{frames_received} frames came out, {len(lost_in_call)} were lost")
    silent = [i for i in lost_in_call if not any(received[i * FRAME:(i + 1) * FRAME])]
    if silent:
        fail(f"concealed frames {silent} are silent")
    print(f"rate {args.rate}, ptime {args.ptime}: {len(received)} samples "
          f"({frames_received} frames) compared, identical", flush=True)
    if relay:
        dropped = sum(1 for p in relay.packets if p[3])
        print(f"relay: {len(relay.packets)} packets, {dropped} dropped "
              f"({100.0 * dropped / len(relay.packets):.1f} %), "
              f"{concealed} frames concealed by the callee, none silent", flush=True)

    if args.gst:
        gst_samples = read_wav(os.path.join(args.work, "gst.wav"))
        if len(gst_samples) < len(received):
            fail(f"GStreamer decoded {len(gst_samples)} samples, baresip {len(received)}")
        where = first_difference(gst_samples, received)
        if where is not None:
            fail(f"GStreamer's audio differs from the callee's at sample {where}")
        print(f"interop: GStreamer decoded {len(gst_samples)} samples; the {len(received)} "
              f"the callee decoded are identical", flush=True)
    print(f"took {time.monotonic() - start:.1f} s", flush=True)


if __name__ == "__main__":
    main()
