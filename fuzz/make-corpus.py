#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a well-formed input in the layout its target reads (see the
comment at the top of each fuzz_*.cpp); the fuzzer mutates from there.
Run it again after changing a layout: scripts/fuzz.sh only reads the files.
"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- analyser packets -------------------------------------------------------

def packet(seq, payload):
    p = bytes([0x1B, seq, len(payload) >> 8, len(payload) & 0xFF, 0x0E]) + payload
    x = 0
    for b in p:
        x ^= b
    return p + bytes([x])


def capture_record(stamp, ident, flags, dlc, data, level=5):
    return struct.pack("<IBIBB", stamp, level, ident, flags, dlc) + bytes(data)


def framer(options, chunks, stream):
    return bytes([options | len(chunks)]) + bytes(chunks) + stream


answer = packet(1, b"\x82\x00\x10")
capture = packet(0, b"\x85" + capture_record(0x1E240, 0x123, 0, 2, b"\xAA\x55"))
write("fuzz_packetframer", "one-packet", framer(0, [], packet(1, b"\x82\x01")))
write("fuzz_packetframer", "two-packets-one-read", framer(0, [], answer + capture))
write("fuzz_packetframer", "split-every-byte", framer(0, [1], answer + capture))
write("fuzz_packetframer", "split-3-7", framer(0, [3, 7], capture + answer + capture))
write("fuzz_packetframer", "noise-before", framer(0, [], b"\x00\xFFnoise\x1B\x01\x00" + answer))
write("fuzz_packetframer", "no-marker", framer(0, [], b"\x1B\x02\x00\x02\x0F\x82\x01\x00" + answer))
bad = bytearray(answer)
bad[-1] ^= 0x40
write("fuzz_packetframer", "bad-checksum-then-good", framer(0, [], bytes(bad) + capture))
write("fuzz_packetframer", "length-zero", framer(0, [], b"\x1B\x01\x00\x00\x0E\x14" + answer))
write("fuzz_packetframer", "length-8000", framer(0, [], b"\x1B\x01\x80\x00\x0E\x00" + answer))
write("fuzz_packetframer", "escape-in-payload", framer(0, [2], packet(0x1B, b"\x85\x1B\x0E\x1B\x00\x0E")))
write("fuzz_packetframer", "long-packet-cut", framer(0x10, [200], packet(7, bytes(range(256)) * 5) + answer))
write("fuzz_packetframer", "incomplete-tail", framer(0, [], answer + answer[:-2]))
write("fuzz_packetframer", "lost-frame-packet", framer(0, [], packet(0, b"\x86" + struct.pack("<IB", 0x2A000, 3))))

# ---- frame records and text lines -------------------------------------------

def frame_input(mode, options, rest):
    return bytes([mode, options]) + rest

std = capture_record(0x1E240, 0x123, 0, 2, b"\xAA\x55")
ext = capture_record(0x10, 0x12345678, 0x02, 8, bytes(range(1, 9)))
rtr = capture_record(0x20, 0x7FF, 0x01, 4, b"\x01\x02\x03\x04")
write("fuzz_clsframe", "binary-standard", frame_input(0, 0, std))
write("fuzz_clsframe", "binary-extended", frame_input(0, 0, ext))
write("fuzz_clsframe", "binary-rtr", frame_input(0, 2, rtr))
write("fuzz_clsframe", "binary-dlc-12", frame_input(0, 0, capture_record(1, 0x55, 0x0C, 12, bytes(range(12)))))
write("fuzz_clsframe", "binary-short", frame_input(0, 1, std[:7]))
write("fuzz_clsframe", "lost-record", frame_input(1, 0, struct.pack("<IB", 0x2A000, 3)))
write("fuzz_clsframe", "lost-short", frame_input(1, 0, b"\x01\x02"))
write("fuzz_clsframe", "text-standard", frame_input(2, 0, b"0001E240 123 ----- 0 0 0 0 3 11 22 33"))
write("fuzz_clsframe", "text-lost", frame_input(2, 0, b"0002A000 --- 3 - - - - 0 "))
write("fuzz_clsframe", "text-extended", frame_input(2, 0, b"00000010 48D 05678 0 1 0 0 8 01 02 03 04 05 06 07 08"))
write("fuzz_clsframe", "text-rtr", frame_input(2, 0, b"00000020 7FF ----- 1 0 1 1 3"))
write("fuzz_clsframe", "text-comma", frame_input(2, 1 << 3, b"0001E240,123,-----,0,0,0,0,3,11 22 33"))
write("fuzz_clsframe", "text-letter-delimiter", frame_input(2, 4 << 3, b"0001E240X123x-----X0x0X0x0X2xAAx55"))
write("fuzz_clsframe", "text-own-delimiter", frame_input(2, 7 << 3, b"\x02||0001E240||123||-----||0||0||0||0||1||FF"))
write("fuzz_clsframe", "text-latin1", frame_input(2, 0x40, b"0001E240 123 ----- 0 0 0 0 1 \xE9"))
write("fuzz_clsframe", "built-frame", frame_input(3, 0, struct.pack("<IIBB", 0x1E240, 0x123, 0, 3) + b"\x11\x22\x33"))
write("fuzz_clsframe", "built-extended", frame_input(3, 2 << 3, struct.pack("<IIBB", 0xFFFFFFFF, 0x1FFFFFFF, 0xFE, 9) + bytes(8)))

# ---- boot loader answers ----------------------------------------------------

def le16(v):
    return struct.pack("<H", v)


def header_answer(block):
    payload = le16(block) + b"SN000001" + b"SIGNATURE-OF-THE-DEVICE!"
    return b"+" + bytes([len(payload)]) + payload


def boot(options, body, pattern, chunks, stream):
    return bytes([options]) + le16(body) + bytes([pattern, len(chunks)]) + bytes(chunks) + stream


def pages_run(count):
    out = b""
    for p in range(count):
        out += b"." + le16(p) + b"+\x02" + le16(p)
    return out + b"." + le16(count) + b"+\x02\xFF\xFF"

whole = b">" + b"+\x00" + header_answer(256) + pages_run(3)
write("fuzz_bootprotocol", "whole-upload", boot(0, 1000, 7, [], whole))
write("fuzz_bootprotocol", "whole-upload-bytewise", boot(0, 1000, 7, [1], whole))
write("fuzz_bootprotocol", "no-wait", boot(1, 600, 1, [5, 11], b"+\x00" + header_answer(128) + pages_run(4)))
write("fuzz_bootprotocol", "stray-bytes", boot(0, 300, 3, [], b"x\x00>" + b"zz+\x00" + header_answer(100) + b"q" + pages_run(3)))
write("fuzz_bootprotocol", "retries", boot(1, 512, 9, [], b"+\x00" + header_answer(256) + b".\x00\x00---.\x00\x00+\x02\x00\x00----"))
write("fuzz_bootprotocol", "end-marker-refused", boot(1, 256, 2, [], b"+\x00" + header_answer(256) + b".\x00\x00+\x02\x00\x00.\x01\x00-"))
write("fuzz_bootprotocol", "empty-body", boot(1, 0, 0, [], b"+\x00" + header_answer(256)))
write("fuzz_bootprotocol", "block-zero", boot(1, 100, 0, [], b"+\x00" + header_answer(0)))
write("fuzz_bootprotocol", "connect-refused-restart", boot(3, 100, 0, [], b"-" + b"+\x00-" + b"+\x00" + header_answer(50) + pages_run(2)))
write("fuzz_bootprotocol", "page-beyond-body", boot(1, 300, 0, [], b"+\x00" + header_answer(100) + b".\x10\x00" + b"+\x02\xFF\xFF"))
write("fuzz_bootprotocol", "long-positive", boot(1, 100, 0, [34, 1], b"+\x00" + b"+\x22" + le16(16) + bytes(32)))

# ---- firmware files ---------------------------------------------------------

def firmware(block, options, file):
    return le16(block) + bytes([options]) + file

header = bytes(range(80))
write("fuzz_firmware", "header-only", firmware(256, 0, header))
write("fuzz_firmware", "short-file", firmware(256, 0, header[:79]))
write("fuzz_firmware", "1000-byte-body", firmware(256, 0, header + bytes((i * 7) & 0xFF for i in range(1000))))
write("fuzz_firmware", "backwards", firmware(64, 1, header + bytes(range(200))))
write("fuzz_firmware", "block-zero", firmware(0, 0, header + b"body"))
write("fuzz_firmware", "block-larger-than-body", firmware(4096, 0, header + b"small body"))
write("fuzz_firmware", "block-one", firmware(1, 0, header + b"abc"))

# ---- capture files ----------------------------------------------------------

capture_file = (
    b'; CAN_DB="Bench"\r\n'
    b"; CAN_Speed=500000\r\n"
    b"; CAN_Timer=1000000\r\n"
    b"0001E240 123 ----- 0 0 0 0 3 11 22 33                ; Engine : Speed\r\n"
    b"0001E250 48D 05678 0 1 0 0 8 01 02 03 04 05 06 07 08 ; \r\n"
    b"0001E260 7FF ----- 1 0 0 0 4                         ; Gear : Request\r\n"
    b"0002A000 --- 3 - - - - 0                             ; Lost frame :\r\n"
)


def capture_input(options, text):
    return bytes([options]) + text

write("fuzz_capturefile", "written-file", capture_input(0, capture_file))
write("fuzz_capturefile", "lf-only", capture_input(0, capture_file.replace(b"\r\n", b"\n")))
write("fuzz_capturefile", "comments-and-blanks", capture_input(0, b"; note\r\n\r\n   \r\n;\r\n0001E240 123 ----- 0 0 0 0 0 \r\n"))
write("fuzz_capturefile", "malformed-lines", capture_input(0, b"0001E240 123\r\nzz 123 ----- 0 0 0 0 0\r\n0001E240 123 ----- 0 0 0 0 9 00\r\n"))
write("fuzz_capturefile", "comma-delimiter", capture_input(1, b"0001E240,123,-----,0,0,0,0,3,11 22 33 ; x\r\n"))
write("fuzz_capturefile", "block-boundary-in-a-record", bytes([0x20]) + le16(40) + capture_file)
write("fuzz_capturefile", "block-boundary-at-cr", bytes([0x20]) + le16(capture_file.index(b"\r")) + capture_file)
write("fuzz_capturefile", "no-line-end", capture_input(0, b"0001E240 123 ----- 0 0 0 0 1 FF"))

# ---- DBC signal databases ---------------------------------------------------

dbc_header = b'VERSION ""\n\nNS_ :\n\tNS_DESC_\n\tCM_\n\nBS_:\n\nBU_: ECU Dash\n\n'
dbc_engine = (
    b"BO_ 291 Engine: 8 ECU\n"
    b' SG_ Speed : 7|16@0+ (0.01,0) [0|655.35] "km/h" Dash\n'
    b' SG_ Gear : 16|4@1- (1,0) [-1|6] "" Vector__XXX\n'
    b' SG_ Temp : 20|12@1- (0.5,-40) [-40|100] "\xc2\xb0C" Vector__XXX\n\n'
    b'BO_ 2147488294 Status: 0 Vector__XXX\n\n'
)
dbc_tail = (
    b'CM_ BO_ 291 "Engine data,\nsent by the \\"ECU\\"";\n'
    b'CM_ SG_ 291 Gear "-1 is reverse";\n'
    b'BA_DEF_ BO_ "GenMsgCycleTime" INT 0 65535;\n'
    b'BA_DEF_DEF_ "GenMsgCycleTime" 0;\n'
    b'BA_ "GenMsgCycleTime" BO_ 291 10;\n'
    b'VAL_ 291 Gear -1 "R" 0 "N" 1 "First" ;\n'
)
write("fuzz_dbc", "engine", dbc_header + dbc_engine + dbc_tail)
write("fuzz_dbc", "multiplexed-floats", dbc_header +
      b"BO_ 512 Mux: 8 Dash\n"
      b' SG_ Sel M : 0|8@1+ (1,0) [0|0] ""\n'
      b' SG_ F32 m1 : 8|32@1- (1,0) [0|0] ""\n'
      b' SG_ Word m2 : 15|16@0- (-0.5,3) [0|0] ""\n'
      b' SG_ All : 7|64@0+ (1,0) [0|0] "" Vector__XXX\n\n'
      b"SIG_VALTYPE_ 512 F32 : 1;\n")
write("fuzz_dbc", "windows-1252", dbc_header +
      b'BO_ 1 Heat: 1 ECU\n SG_ T : 0|8@1+ (1,0) [0|0] "\xb0C"\n\nCM_ SG_ 1 T "\x80 \x93quoted\x94";\n')
write("fuzz_dbc", "skipped-and-bad", dbc_header + dbc_engine +
      b'BO_ 291 Again: 8 ECU\n SG_ A : 60|8@1+ (1,0) [0|0] ""\n\n'
      b'VAL_TABLE_ Onoff 1 "on" 0 "off" ;\n'
      b'BA_DEF_ SG_ "GenSigStartValue" INT 0 100;\n'
      b'BA_ "GenSigStartValue" SG_ 291 Gear 5;\n'
      b'CM_ "The whole network";\nCM_ BU_ Dash "The dashboard";\n'
      b'SG_MUL_VAL_ 291 Gear Speed 1-1;\nFANCY_ "two\nlines" ;\n'
      b'VAL_ 999 X 1 "x" ;\n')
write("fuzz_dbc", "names-in-comments", dbc_header.replace(b"ECU Dash", b"Node _lpumpe") +
      b"BO_ 2047 Message: 8 _lpumpe\n"
      b' SG_ Signal : 0|8@1+ (1,0) [0|0] "" Vector__XXX\n'
      b' SG_ Signal_2 : 8|8@1+ (1,0) [0|0] "" Vector__XXX\n\n'
      b'CM_ BU_ Node "Tessel name: ";\n'
      b'CM_ BU_ _lpumpe "Tessel name: \xc3\x96lpumpe";\n'
      b'CM_ BO_ 2047 "Tessel name: Engine data";\n'
      b'CM_ SG_ 2047 Signal "a comment\nTessel name: a b";\n'
      b'CM_ SG_ 2047 Signal_2 "Tessel name: a b";\n')
write("fuzz_dbc", "malformed", dbc_header + b"BO_ 12x Engine: 8 ECU\n")

# ---- logs of other tools ----------------------------------------------------

write("fuzz_candumplog", "frames-and-skips",
      b"(1700000000.000000) can0 123#DEADBEEF\n"
      b"(1700000000.000100) can1 12345678#0102\n"
      b"(1700000000.000200) can0 7FF#R\n"
      b"(1700000000.000300) can0 100#R5\n"
      b"(1700000000.000400) vcan2 001#\n"
      b"(1700000000.000500) can0 123#1122334455667788_C\n"
      b"(1700000000.000600) can0 123##1DEAD\n"
      b"(1700000000.000700) can0 20000080#0000000000000000\n"
      b"(1700000000.000800) can0 12X#00\n")
write("fuzz_candumplog", "crlf-and-cr", b"(1.000000) can0 123#01\r\n(1.5) can0 124#02\r(2.0) can0 125#03")
write("fuzz_asclog", "hex-absolute",
      b"date Tue Nov 14 22:13:20 2023\nbase hex  timestamps absolute\ninternal events logged\n"
      b"Begin Triggerblock Tue Nov 14 22:13:20 2023\n"
      b"   0.000000 Start of measurement\n"
      b"   0.001000 1  123             Rx   d 8 11 22 33 44 55 66 77 88\n"
      b"   0.002000 2  12345678x       Tx   d 2 AA BB\n"
      b"   0.003000 1  7FF             Rx   r\n"
      b"   0.004000 1  ErrorFrame\n"
      b"   0.005000 CANFD   1 Rx 123  1 0 8 8 11 22 33 44 55 66 77 88 0 0 1000 0 0 0 0 0\n"
      b"// a comment\n"
      b"End TriggerBlock\n")
write("fuzz_asclog", "dec-relative",
      b"date Tue Nov 14 22:13:20 2023\nbase dec  timestamps relative\n"
      b"   0.001000 1  291             Rx   d 2 1 2\n"
      b"   0.001000 1  291             Rx   d 1 255\n")
write("fuzz_trclog", "version-1.0",
      b";##########\n     1)      1841  0001  8  00 11 22 33 44 55 66 77\n"
      b"     2)      1842  12345678  2  AA BB\n     3)      1900  0010  4  RTR\n")
write("fuzz_trclog", "version-1.3",
      b";$FILEVERSION=1.3\n     1)      1841.000 2  Rx        0001 -  2    00 11\n"
      b"     2)      1841.100 1  Error     0000 -  0\n")
write("fuzz_trclog", "version-2.1",
      b";$FILEVERSION=2.1\n;$STARTTIME=43781.5\n;$COLUMNS=N,O,T,B,I,d,R,L,D\n"
      b"      1      1059.900 DT 2      0300 Rx -  2    01 02\n"
      b"      2      1060.000 ER 1      -    Rx -  5    00 01 02 03 04\n"
      b"      4      1061.900 DT 1      07FF Tx -  1    03\n")
