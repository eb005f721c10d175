#!/usr/bin/python3
"""Makes a driver catalog (.cat) for the tests' packages: a PKCS #7 signed
data of no signer whose content is a certificate trust list of the catalog
kind, one member per file, each with the file's digest (the Authenticode
digest of a program image, the hash of the whole file otherwise) and its
name. osslsigncode signs the result for the signed case.

    make-catalog.py [--sha1] [--no-names] OUT.cat FILE...

The digests are the checker's own kind of evidence, so they are taken here
independently: for an image, from osslsigncode's own calculation (its
"Calculated message digest" of the unsigned image); for other files,
hashlib's.
"""
import hashlib
import os
import re
import subprocess
import sys
import uuid

from asn1crypto import algos, core

SPC_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
SPC_PE_IMAGE_DATA = "1.3.6.1.4.1.311.2.1.15"
SPC_CAB_DATA = "1.3.6.1.4.1.311.2.1.25"
CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"
CATALOG_LIST_MEMBER = "1.3.6.1.4.1.311.12.1.2"
CAT_NAMEVALUE = "1.3.6.1.4.1.311.12.2.1"
CAT_MEMBERINFO = "1.3.6.1.4.1.311.12.2.2"
CTL = "1.3.6.1.4.1.311.10.1"
PE_IMAGE_GUID = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"
FLAT_GUID = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}"


class AnyValues(core.SetOf):
    _child_spec = core.Any


class Attribute(core.Sequence):
    _fields = [("type", core.ObjectIdentifier), ("values", AnyValues)]


class Attributes(core.SetOf):
    _child_spec = Attribute


class Entry(core.Sequence):
    _fields = [("identifier", core.OctetString), ("attributes", Attributes)]


class Usages(core.SequenceOf):
    _child_spec = core.ObjectIdentifier


class Entries(core.SequenceOf):
    _child_spec = Entry


class TrustList(core.Sequence):
    _fields = [
        ("usage", Usages),
        ("identifier", core.OctetString),
        ("updated", core.UTCTime),
        ("algorithm", algos.DigestAlgorithm),
        ("entries", Entries),
    ]


class DigestInfo(core.Sequence):
    _fields = [("algorithm", algos.DigestAlgorithm), ("digest", core.OctetString)]


class TypeAndValue(core.Sequence):
    _fields = [("type", core.ObjectIdentifier), ("value", core.Any, {"optional": True})]


class IndirectData(core.Sequence):
    _fields = [("data", TypeAndValue), ("digest", DigestInfo)]


class NameValue(core.Sequence):
    _fields = [("tag", core.BMPString), ("flags", core.Integer), ("value", core.OctetString)]


class MemberInfo(core.Sequence):
    _fields = [("guid", core.BMPString), ("version", core.Integer)]


# PKCS #7 puts the trust list itself in the signed data ([0] EXPLICIT),
# not in an octet string as CMS would: those outer layers are written here.
def tlv(tag, body):
    size = len(body)
    if size < 0x80:
        return bytes([tag, size]) + body
    count = (size.bit_length() + 7) // 8
    return bytes([tag, 0x80 | count]) + size.to_bytes(count, "big") + body


def signed_data(algorithm, content_type, content):
    body = core.Integer(1).dump()
    body += tlv(0x31, algos.DigestAlgorithm({"algorithm": algorithm}).dump())
    body += tlv(0x30, core.ObjectIdentifier(content_type).dump() + tlv(0xA0, content))
    body += tlv(0x31, b"")  # no signer: osslsigncode signs it for the signed case
    return tlv(0x30, core.ObjectIdentifier("1.2.840.113549.1.7.2").dump() + tlv(0xA0, tlv(0x30, body)))


def image_digest(path, algorithm):
    """osslsigncode's Authenticode digest of an image; None for no image."""
    with open(path, "rb") as f:
        if f.read(2) != b"MZ":
            return None
    data = path + ".data"
    run = subprocess.run(["osslsigncode", "extract-data", "-h", algorithm, "-in", path, "-out", data],
                         capture_output=True, text=True)
    if run.returncode != 0:
        return None
    dump = subprocess.run(["openssl", "asn1parse", "-inform", "DER", "-in", data], capture_output=True, text=True).stdout
    os.remove(data)
    # The SpcIndirectDataContent's digest: its one octet string of that size.
    size = 20 if algorithm == "sha1" else 32
    found = [h for h in re.findall(r"OCTET STRING\s+\[HEX DUMP\]:([0-9A-F]+)", dump) if len(h) == 2 * size]
    return bytes.fromhex(found[-1]) if found else None


def main():
    args = sys.argv[1:]
    algorithm = "sha1" if "--sha1" in args else "sha256"
    names = "--no-names" not in args
    args = [a for a in args if not a.startswith("--")]
    out, files = args[0], args[1:]
    entries = []
    for path in files:
        digest = image_digest(path, algorithm)
        image = digest is not None
        if not image:
            digest = hashlib.new(algorithm, open(path, "rb").read()).digest()
        data = TypeAndValue({"type": SPC_PE_IMAGE_DATA if image else SPC_CAB_DATA})
        indirect = IndirectData({"data": data, "digest": {"algorithm": {"algorithm": algorithm}, "digest": digest}})
        attributes = [Attribute({"type": SPC_INDIRECT_DATA, "values": [indirect]}),
                      Attribute({"type": CAT_MEMBERINFO, "values": [
                          MemberInfo({"guid": PE_IMAGE_GUID if image else FLAT_GUID, "version": 512})]})]
        if names:
            name = os.path.basename(path).lower().encode("utf-16-le") + b"\0\0"
            attributes.append(Attribute({"type": CAT_NAMEVALUE, "values": [
                NameValue({"tag": "File", "flags": 0x10010001, "value": name})]}))
        tag = digest.hex().upper().encode("utf-16-le") + b"\0\0"
        entries.append(Entry({"identifier": tag, "attributes": attributes}))
    trust = TrustList({
        "usage": [CATALOG_LIST],
        "identifier": uuid.uuid4().bytes,
        "updated": core.UTCTime("261208000000Z"),
        "algorithm": {"algorithm": CATALOG_LIST_MEMBER},
        "entries": entries,
    })
    with open(out, "wb") as f:
        f.write(signed_data(algorithm, CTL, trust.dump()))


if __name__ == "__main__":
    main()
