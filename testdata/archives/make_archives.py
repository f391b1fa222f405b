#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the keyed-archive fixtures of this folder, built by hand, object by object, the way
the phone application lays them out. Run it from anywhere; it rewrites the .archive files."""
import os
import plistlib
from plistlib import UID

HERE = os.path.dirname(os.path.abspath(__file__))


def archive(objects, root=1):
    return plistlib.dumps({
        "$version": 100000,
        "$archiver": "NSKeyedArchiver",
        "$top": {"root": UID(root)},
        "$objects": objects,
    }, fmt=plistlib.FMT_BINARY, sort_keys=False)


def order():
    return [
        "$null",
        # 1: the root order
        {"$class": UID(2), "ticket": 4711, "volume": 0.25, "closed": False, "symbol": UID(3),
         "comment": UID(4), "profit": -1234567890123, "tags": UID(6), "extra": UID(10),
         "blob": UID(14), "parent": UID(15), "again": UID(15), "$$note": UID(16)},
        {"$classname": "TradeOrder", "$classes": ["TradeOrder", "TradeRecord", "NSObject"]},
        "EURUSD",
        # 4: a mutable string, held in its own record
        {"$class": UID(5), "NS.string": "\u00dcberweisung \u2713 \U0001d11e"},
        {"$classname": "NSMutableString", "$classes": ["NSMutableString", "NSString", "NSObject"]},
        # 6: an array of a string and a number
        {"$class": UID(7), "NS.objects": [UID(8), UID(9)]},
        {"$classname": "NSArray", "$classes": ["NSArray", "NSObject"]},
        "fx",
        42,
        # 10: a dictionary
        {"$class": UID(11), "NS.keys": [UID(12), UID(13)], "NS.objects": [UID(3), UID(17)]},
        {"$classname": "NSDictionary", "$classes": ["NSDictionary", "NSObject"]},
        "desk",
        "limit",
        b"\x00\x01\x02\xff",
        # 15: the parent order, met twice
        {"$class": UID(2), "ticket": 1, "volume": 1.0, "closed": True, "symbol": UID(3),
         "parent": UID(0)},
        "dollar key",
        1.5,
    ]


def cycle():
    return [
        "$null",
        {"$class": UID(2), "ticket": 7, "parent": UID(3)},
        {"$classname": "TradeOrder", "$classes": ["TradeOrder", "NSObject"]},
        {"$class": UID(2), "ticket": 8, "parent": UID(1)},
    ]


def unknown_class():
    return [
        "$null",
        {"$class": UID(2), "ticket": 7},
        {"$classname": "NoSuchClass", "$classes": ["NoSuchClass", "NSObject"]},
    ]


def foreign():
    """Dates, and byte data under NS.data (in place and by reference), as other writers lay them
    out: the reader must take both data forms and the date records."""
    return [
        "$null",
        # 1: the root order, opened at a date with a fraction, its bytes under NS.data in place
        {"$class": UID(2), "ticket": 90210, "symbol": UID(3), "opened": UID(4), "blob": UID(6),
         "parent": UID(8)},
        {"$classname": "TradeOrder", "$classes": ["TradeOrder", "TradeRecord", "NSObject"]},
        "XAUUSD",
        {"$class": UID(5), "NS.time": 726842096.25},
        {"$classname": "NSDate", "$classes": ["NSDate", "NSObject"]},
        {"$class": UID(7), "NS.data": b"\x00\x10\xfe"},
        {"$classname": "NSMutableData", "$classes": ["NSMutableData", "NSData", "NSObject"]},
        # 8: the parent, opened before 2001, its bytes under NS.data by reference
        {"$class": UID(2), "ticket": 1, "symbol": UID(3), "opened": UID(9), "blob": UID(10)},
        {"$class": UID(5), "NS.time": -31622400.0},
        {"$class": UID(11), "NS.data": UID(12)},
        {"$classname": "NSData", "$classes": ["NSData", "NSObject"]},
        b"\xde\xad\xbe\xef",
    ]


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


write("order.archive", archive(order()))
write("cycle.archive", archive(cycle()))
write("unknown_class.archive", archive(unknown_class()))
write("foreign.archive", archive(foreign()))
