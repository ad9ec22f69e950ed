#!/usr/bin/env python3
"""Writes the library fuzz target's seeds: small ELF and PE files holding the slots and the
property resource of libraries the build made, in the target's cut form (the code slot kept to its
first 256 bytes; the section tables count it whole).

    fuzz/make-library-seeds.py BUILD_DIR OUT_DIR

The slots come from the template library, and from a tiny effect packed into it enciphered and
plain with BUILD_DIR's glfx.
"""
import os
import struct
import subprocess
import sys
import tempfile

NAME_TAG = b"glfx-name-slot:\0"
CODE_TAG = b"glfx-code-slot:\0"
NAME_SLOT, CODE_SLOT, RESOURCE, HEAD = 31, 65225, 346, 256
EFFECT = b"[settings]\nname=Seed\n[ps0]\nvoid main() { gl_FragColor = vec4(1.0); }\n"


def elf_sections(data):
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
    headers = [struct.unpack_from("<IIQQQQ", data, shoff + i * shentsize) for i in range(shnum)]
    strtab = headers[shstrndx][4]
    sections = {}
    for name, _type, _flags, _addr, offset, size in headers:
        end = data.index(b"\0", strtab + name)
        sections[data[strtab + name:end].decode()] = data[offset:offset + size]
    return sections


def slots(library):
    """The property resource, the name slot and the code slot's head, each with its tag."""
    data = open(library, "rb").read()
    # The loaded data comes before any debug information in the file.
    name_at = data.index(NAME_TAG) + len(NAME_TAG)
    code_at = data.index(CODE_TAG) + len(CODE_TAG)
    resource = elf_sections(data)[".glfx_pipl"]
    assert len(resource) == RESOURCE
    return (resource, NAME_TAG + data[name_at:name_at + NAME_SLOT],
            CODE_TAG + data[code_at:code_at + HEAD])


def rodata_of(name_block, code_block):
    """The read-only data as written (cut) and its size counted whole."""
    cut = name_block + b"\0" * 9 + code_block  # the 9 bytes put the code tag on 8 bytes
    return cut, len(cut) + CODE_SLOT - HEAD


def make_elf(resource, name_block, code_block):
    rodata, rodata_size = rodata_of(name_block, code_block)
    debug = NAME_TAG + b"debug copy " + CODE_TAG  # loaders never map it: its tags do not count
    names = b"\0.rodata\0.glfx_pipl\0.debug_str\0.shstrtab\0"
    parts = [(b".rodata", rodata, rodata_size, 2), (b".glfx_pipl", resource, len(resource), 2),
             (b".debug_str", debug, len(debug), 0), (b".shstrtab", names, len(names), 0)]
    body, headers, offset = b"", [b"\0" * 64], 64
    for name, data, size, flags in parts:
        headers.append(struct.pack("<IIQQQQIIQQ", names.index(name + b"\0"), 1, flags, 0, offset,
                                   size, 0, 0, 1, 0))
        body += data
        offset += size
    ident = b"\x7fELF\x02\x01\x01" + b"\0" * 9
    header = ident + struct.pack("<HHIQQQIHHHHHH", 3, 0x3E, 1, 0, 0, offset, 0, 64, 0, 0, 64,
                                 len(headers), len(headers) - 1)
    return header + body + b"".join(headers)


def resource_tree(rva, resource):
    """.rsrc at `rva`: type "PIPL" (by name), id 16000, language 1033, then the data."""
    def directory(named, ids):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, named, ids)
    high = 0x80000000
    # root 16+8, type dir 16+8, language dir 16+8, data entry 16, name 2+8, then the data
    type_dir, language_dir, entry, name, data = 24, 48, 72, 88, 100
    tree = directory(1, 0) + struct.pack("<II", high | name, high | type_dir)
    tree += directory(0, 1) + struct.pack("<II", 16000, high | language_dir)
    tree += directory(0, 1) + struct.pack("<II", 1033, entry)
    tree += struct.pack("<IIII", rva + data, len(resource), 0, 0)
    tree += struct.pack("<H", 4) + "PIPL".encode("utf-16-le") + b"\0\0"
    assert len(tree) == data
    return tree + resource


def make_pe(resource, name_block, code_block):
    rodata, rodata_size = rodata_of(name_block, code_block)
    rsrc_rva = 0x1000 + (rodata_size + 0xFFF) // 0x1000 * 0x1000
    rsrc = resource_tree(rsrc_rva, resource)
    debug = NAME_TAG + CODE_TAG
    sections = [(b".rdata", rodata, rodata_size, 0x1000, 0x40000040),
                (b".rsrc", rsrc, len(rsrc), rsrc_rva, 0x40000040),
                (b".debug", debug, len(debug), rsrc_rva + 0x1000, 0x42000040)]
    optional = bytearray(240)
    struct.pack_into("<H", optional, 0, 0x20B)
    struct.pack_into("<I", optional, 108, 16)
    struct.pack_into("<II", optional, 112 + 2 * 8, rsrc_rva, len(rsrc))
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 64)
    coff = struct.pack("<HHIIIHH", 0x8664, len(sections), 0, 0, 0, len(optional), 0x2022)
    offset = 64 + 4 + len(coff) + len(optional) + 40 * len(sections)
    table, body = b"", b""
    for name, data, size, rva, flags in sections:
        table += struct.pack("<8sIIIIIIHHI", name, size, rva, size, offset, 0, 0, 0, 0, flags)
        body += data
        offset += size
    return bytes(dos) + b"PE\0\0" + coff + bytes(optional) + table + body


def main():
    build, out = sys.argv[1], sys.argv[2]
    template = os.path.join(build, "plugin", "glfx_template.so")
    glfx = os.path.join(build, "cli", "glfx")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        effect = os.path.join(scratch, "seed.glfx")
        open(effect, "wb").write(EFFECT)
        libraries = {"template": template}
        for form, extra in (("enciphered", []), ("plain", ["--plain"])):
            libraries[form] = os.path.join(scratch, form + ".so")
            subprocess.run([glfx, "pack", effect, "-o", libraries[form], "--template", template]
                           + extra, check=True)
        for form, library in libraries.items():
            parts = slots(library)
            open(os.path.join(out, "elf_" + form), "wb").write(make_elf(*parts))
            if form != "plain":
                open(os.path.join(out, "pe_" + form), "wb").write(make_pe(*parts))


if __name__ == "__main__":
    main()
