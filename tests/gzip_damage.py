"""Damaged gzip files, and the decoder message each kind of damage gives, for every reader."""

import gzip

import pytest


def damaged_gzip(payload: bytes, kind: str) -> bytes:
    packed = bytearray(gzip.compress(payload))
    if kind == "header":
        packed[2] = 7  # compression method
    elif kind == "checksum":
        packed[-8] ^= 0xFF
    elif kind == "deflate":
        packed[10] = 0xFF  # first block header: reserved block type
    elif kind == "truncated":
        packed = packed[: len(packed) // 2]
    elif kind == "second-member":
        packed += b"\x1f\x8b\x08\x00" + bytes(6) + b"\xff" * 8
    else:
        raise ValueError(f"unknown damage {kind!r}")
    return bytes(packed)


GZIP_DAMAGE = [
    pytest.param(kind, message, id=kind)
    for kind, message in [
        ("header", "invalid gzip header"),
        ("checksum", "corrupt gzip stream does not have a matching checksum"),
        ("deflate", "corrupt deflate stream"),
        ("truncated", "unexpected end of file"),
        ("second-member", "corrupt deflate stream"),
    ]
]
