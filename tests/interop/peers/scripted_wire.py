"""Plain peer wire messages for the scripted test peers."""
import struct


def handshake(info_hash, peer_id):
    return b'\x13BitTorrent protocol' + bytes(8) + info_hash + peer_id


def is_plain_handshake(data, info_hash):
    return data[:20] == b'\x13BitTorrent protocol' and data[28:48] == info_hash


def full_bitfield(pieces):
    bitfield = bytearray((pieces + 7) // 8)
    for i in range(pieces):
        bitfield[i // 8] |= 0x80 >> (i % 8)
    return struct.pack('>IB', 1 + len(bitfield), 5) + bytes(bitfield)
