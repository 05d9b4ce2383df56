#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

Each seed is a small, well-formed example of what the target reads, worked by
hand from the byte layouts (storage frames, OFD containers, gzip, JSON
answers), so that fuzzing starts from inputs that reach deep into the parsers.
Run it again after changing a seed; the files are kept in the repository.
"""
import gzip
import json
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def crc16(data: bytes) -> int:
    # CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no reflection.
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else (crc << 1)
            crc &= 0xFFFF
    return crc


def fs_frame(code: int, data: bytes) -> bytes:
    body = struct.pack('<H', len(data) + 1) + bytes([code]) + data
    return b'\x04' + body + struct.pack('<H', crc16(body))


def write(target: str, name: str, content: bytes) -> None:
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(content)


def fs_seeds() -> None:
    dt = bytes([24, 3, 5, 14, 7])
    status = bytes([1, 0, 0, 0, 0]) + dt + b'9999078900012345' + struct.pack('<I', 1)
    lifetime = bytes([27, 3, 5, 11, 1])
    version = b'fn v 2.0 debug\x00\x00' + b'\x00'
    transport = bytes([1, 0]) + struct.pack('<H', 1) + struct.pack('<I', 1) + dt
    seeds = {
        'status': (0x00, status),
        'number': (0x00, b'9999078900012345'),
        'lifetime': (0x00, lifetime),
        'version': (0x00, version),
        'transport': (0x00, transport),
        'refusal': (0x82, b''),
        'unknown-code': (0x13, b'\x01'),
    }
    for name, (code, data) in seeds.items():
        # mode 0: the target builds the frame around code and data
        write('fuzz_fsanswer', 'built-' + name, b'\x00' + bytes([code]) + data)
        # mode 1: the frame as received
        write('fuzz_fsanswer', 'raw-' + name, b'\x01' + fs_frame(code, data))
    bad = bytearray(fs_frame(0x00, status))
    bad[-1] ^= 0xFF
    write('fuzz_fsanswer', 'raw-bad-checksum', b'\x01' + bytes(bad))
    write('fuzz_fsanswer', 'raw-short', b'\x01\x04\x01\x00')


def ofd_header(length: int, flags: int, crc: int, fs_number: bytes = b'9999078900012345') -> bytes:
    return (bytes.fromhex('2a08410a') + bytes.fromhex('81a2') + bytes.fromhex('0105') + fs_number
            + struct.pack('<HHH', length, flags, crc))


def ofd_container(body: bytes, mode: int) -> bytes:
    flags = 0x0010 | mode | (0x0004 if body else 0)
    head = ofd_header(len(body), flags, 0)[:28]
    if mode == 1:
        crc = crc16(head)
    elif mode == 2:
        crc = crc16(head + body)
    else:
        crc = 0
    return head + struct.pack('<H', crc) + body


def tlv(tag: int, value: bytes) -> bytes:
    return struct.pack('<HH', tag, len(value)) + value


RECEIPT = (tlv(1041, b'9999078900012345') + tlv(1040, struct.pack('<I', 1))
           + tlv(1012, struct.pack('<I', 1709647620)) + tlv(1078, bytes(range(18))))


def ofd_seeds() -> None:
    for mode, name in ((0, 'nocheck'), (1, 'headercheck'), (2, 'fullcheck')):
        write('fuzz_ofdmessage', 'receipt-' + name, b'\x00' + ofd_container(RECEIPT, mode))
        write('fuzz_ofdreply', 'receipt-' + name, ofd_container(RECEIPT, mode))
    write('fuzz_ofdmessage', 'empty-body', b'\x00' + ofd_container(b'', 1))
    write('fuzz_ofdmessage', 'fixups', b'\x07' + ofd_header(0, 0x0016, 0) + RECEIPT)
    write('fuzz_ofdmessage', 'short', b'\x00' + bytes.fromhex('2a08410a81a2'))
    # Noise before the signature, a cut body, a header of another session version.
    write('fuzz_ofdreply', 'noise-first', b'\x00\x11\x22\x33' + ofd_container(RECEIPT, 2))
    write('fuzz_ofdreply', 'cut-body', ofd_container(RECEIPT, 2)[:-5])
    other = bytearray(ofd_container(RECEIPT, 0))
    other[4:6] = b'\x81\xa3'
    write('fuzz_ofdreply', 'other-session', bytes(other))


def gzip_seeds() -> None:
    text = b'{"idSession":"abc","idDealer":7,"idUser":9}'
    write('fuzz_gzip', 'json', b'\x00' + gzip.compress(text, mtime=0))
    write('fuzz_gzip', 'json-limit', b'\x03' + gzip.compress(text, mtime=0))
    write('fuzz_gzip', 'zeros', b'\x00' + gzip.compress(bytes(20000), mtime=0))
    write('fuzz_gzip', 'cut', b'\x00' + gzip.compress(text, mtime=0)[:-3])
    write('fuzz_gzip', 'plain', b'\x00' + text)


LOGIN = {"idSession": "5a1b2c3d", "idAccessKind": "1", "idDealer": 17, "nameDealer": "Мастерская",
         "blockedDealer": False, "blockedUser": False, "idUser": 42, "nameUser": "Оператор",
         "login": "2604715837", "flags": 0, "serialNo": "", "guidHardware": "", "moduleName": "",
         "idHardSoft": 1}
MODELS = {"hardware": [
    {"idHardwareType": 1, "officialModel": 201, "name": "Касса 1", "officialName": "КАССА-1",
     "officialVersion": "001"},
    {"idHardwareType": 2, "officialModel": 5, "name": "Весы"}]}


def json_bytes(value) -> bytes:
    return json.dumps(value, ensure_ascii=False).encode('utf-8')


def reply_seeds() -> None:
    login = json_bytes(LOGIN)
    models = json_bytes(MODELS)
    error = json_bytes({"result": 3, "resultDescription": "Сессия не найдена"})
    blocked = json_bytes({"idSession": "", "blockedDealer": True})
    # handler 3 is the login, 4 the model list; 0x08 gzip header, 0x10 compress first
    write('fuzz_httpsreply', 'login', b'\x03' + login)
    write('fuzz_httpsreply', 'login-gzip', b'\x1b' + login)
    write('fuzz_httpsreply', 'login-gzip-raw', b'\x0b' + gzip.compress(login, mtime=0))
    write('fuzz_httpsreply', 'login-blocked', b'\x03' + blocked)
    write('fuzz_httpsreply', 'models', b'\x04' + models)
    write('fuzz_httpsreply', 'models-gzip', b'\x1c' + models)
    write('fuzz_httpsreply', 'server-error', b'\x00' + error)
    write('fuzz_httpsreply', 'list', b'\x01' + b'[1,2,{"a":null}]')
    write('fuzz_httpsreply', 'any', b'\x02' + b'"text"')
    write('fuzz_httpsreply', 'network-error', b'\x20' + login)
    write('fuzz_appsession', 'login', login)
    write('fuzz_appsession', 'wrong-types', json_bytes(
        {"idSession": 5, "idDealer": "x", "blockedDealer": "true", "flags": 1e300, "idUser": -1.5}))
    write('fuzz_appsession', 'list', json_bytes([LOGIN, {}]))


if __name__ == '__main__':
    fs_seeds()
    ofd_seeds()
    gzip_seeds()
    reply_seeds()
