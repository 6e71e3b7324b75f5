#!/usr/bin/env python3
"""Builds a game directory as a stranger's downloads could leave it.

    hostile_game_dir.py GAME OUTSIDE

GAME gets archives whose names climb out, texture names with control bytes or too long for a
file name, a shader script where another needs a folder, cut and lying archives, members sharing one data
block, a member that inflates far past its declared size, maps and shaders naming textures
outside, names the shell would read as commands, and links planted in the picture cache and
the staging folder that lead to OUTSIDE, a map file of 256 MiB and a level shot of 65 MiB. OUTSIDE holds the files the links lead to.
"""
import os
import struct
import sys
import zipfile
import zlib

game, outside = sys.argv[1], sys.argv[2]
base = os.path.join(game, "baseq3")
os.makedirs(base)
os.makedirs(outside, exist_ok=True)
for name in ("victim.tga", "victim.pk3", "shot.tga"):
    with open(os.path.join(outside, name), "w") as f:
        f.write("outside " + name)

CLIMBING = ["../x.tga", "a/../../x.tga", "..\\x.tga", "/x.tga", "C:x.tga", "\\\\srv\\x.tga"]
LONG = "textures/ok/" + "a" * 300
UNSAFE = ["a;b", "x&y", "100%", "p|q", "a+b", "with blank", "q\"uote", "<in>", "up^"]


def bsp(textures):
    return b"IBSP\x2e\x00\x00\x00" + b"".join(b"t" + t.encode()[1:] + b"\0" for t in textures)


def write_zip(path, members):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            info = zipfile.ZipInfo("x")
            info.filename = name  # as it stands: ZipInfo would mend some of these
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


# Names that climb out, as maps, level shots, shaders, textures and bot icons.
climb = [(n, b"climbing") for n in CLIMBING]
climb += [
    ("maps/../../../evil.bsp", bsp(["textures/ok/wall"])),
    ("maps/ok1.bsp", bsp(["textures/ok/wall", "textures/../../../../outside/pwn",
                          "textures/..\\..\\..\\outside\\pwn2", "textures/ok/../../../up",
                          "textures/sky/climb", "textures/ok/new\nforged",
                          "textures/ok/title\x1b]0;x\x07", LONG])),
    # A texture whose name no file system takes, searched before the wall in the same archive.
    (LONG + ".jpg", b"long"),
    # A kept script, then one that needs it to be a folder.
    ("scripts/dup.shader", b"textures/ok/wall\n{\n}\n"),
    ("scripts/dup.shader/x.shader", b"textures/ok/wall\n{\n}\n"),
    ("maps/ok1.aas", b"aas"),
    ("levelshots/../../outside/shot.tga", b"climbing shot"),
    ("levelshots/ok1.tga", b"ok1 shot"),
    ("scripts/climb.shader",
     b"textures/sky/climb\n{\n skyparms ../../../../outside/sky 512 -\n"
     b" map ../../../outside/victim.tga\n map C:/outside/x.tga\n}\n"),
    ("scripts/../../../outside/evil.shader", b"textures/ok/wall\n{\n}\n"),
    ("textures/ok/wall.jpg", b"wall"),
    ("textures/../../../../outside/pwn.jpg", b"climbing texture"),
    ("models/players/../../../../outside/icon_default.tga", b"climbing icon"),
    ("botfiles/bots/okbot_c.c", b"bot"),
    ("models/players/okbot/icon_default.tga", b"icon"),
]
# Names the shell would read as commands, as maps, folders of maps and bots.
for i, n in enumerate(UNSAFE):
    climb.append(("maps/%s.bsp" % n, bsp(["textures/ok/wall"])))
    climb.append(("levelshots/%s.tga" % n, b"shot"))
    climb.append(("botfiles/bots/%s_c.c" % n, b"bot"))
    climb.append(("maps/%s/deep%d.bsp" % (n, i), b"bsp"))
write_zip(os.path.join(base, "climb.pk3"), climb)

# Cut short: the first 60 % of a sound archive.
write_zip(os.path.join(base, "whole.tmp"),
          [("maps/cut.bsp", os.urandom(4000)), ("levelshots/cut.tga", os.urandom(4000))])
with open(os.path.join(base, "whole.tmp"), "rb") as f:
    whole = f.read()
os.remove(os.path.join(base, "whole.tmp"))
with open(os.path.join(base, "cut.pk3"), "wb") as f:
    f.write(whole[: len(whole) * 6 // 10])

# End records and directories that lie about counts, offsets and sizes.
end = whole.rfind(b"PK\x05\x06")
directory = struct.unpack_from("<I", whole, end + 16)[0]
for name, patch in [
    ("liar_count.pk3", lambda b: struct.pack_into("<HH", b, end + 8, 65535, 65535)),
    ("liar_offset.pk3", lambda b: struct.pack_into("<I", b, end + 16, 0xFFFFFF00)),
    ("liar_size.pk3", lambda b: struct.pack_into("<I", b, end + 12, 0x7FFFFFFF)),
    ("liar_member.pk3", lambda b: struct.pack_into("<III", b, directory + 16,
                                                   0, 0xFFFFFFF0, 0xFFFFFFF0)),
    ("liar_local.pk3", lambda b: struct.pack_into("<I", b, directory + 42, len(whole) - 4)),
]:
    data = bytearray(whole)
    patch(data)
    with open(os.path.join(base, name), "wb") as f:
        f.write(data)


def local(name, method, crc, csize, usize):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0, 0, crc, csize, usize,
                       len(name), 0) + name


def central(name, method, crc, csize, usize, offset):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, 0, 0, crc, csize,
                       usize, len(name), 0, 0, 0, 0, 0, offset) + name


def end_record(count, size, offset):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, offset, 0)


def raw_deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


# Many entries sharing one data block: 128 maps and their level shots over one deflated block
# of 8 MiB, each shot below the picture cache's limit, 1 GiB together from 25 KB.
block = bytes(8 * 1024 * 1024)
packed = raw_deflate(block)
crc = zlib.crc32(block)
head = local(b"levelshots/s000.tga", 8, crc, len(packed), len(block)) + packed
records = b""
for i in range(128):
    records += central(b"levelshots/s%03d.tga" % i, 8, crc, len(packed), len(block), 0)
    records += central(b"maps/s%03d.bsp" % i, 8, crc, len(packed), len(block), 0)
with open(os.path.join(base, "shared.pk3"), "wb") as f:
    f.write(head + records + end_record(256, len(records), len(head)))

# A member that inflates to 256 MiB while it says 100 bytes.
bomb = raw_deflate(bytes(256 * 1024 * 1024))
shot = local(b"levelshots/bomb.tga", 8, 0, len(bomb), 100) + bomb
bsp_at = len(shot)
shot += local(b"maps/bomb.bsp", 8, 0, len(bomb), 100) + bomb
records = central(b"levelshots/bomb.tga", 8, 0, len(bomb), 100, 0)
records += central(b"maps/bomb.bsp", 8, 0, len(bomb), 100, bsp_at)
with open(os.path.join(base, "bomb.pk3"), "wb") as f:
    f.write(shot + records + end_record(2, len(records), len(shot)))

# A map file of 256 MiB (the repack streams it) and a level shot that says 65 MiB (more than
# any picture the cache takes), both honest about their sizes.
with zipfile.ZipFile(os.path.join(base, "huge.pk3"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("maps/huge.bsp", bytes(256 * 1024 * 1024))
    z.writestr("levelshots/huge.tga", bytes(65 * 1024 * 1024))

# A mod folder whose name the shell would read as a command.
os.makedirs(os.path.join(game, "mod;calc"))
write_zip(os.path.join(game, "mod;calc", "m.pk3"), [("maps/modmap.bsp", b"bsp")])

# Links planted where the program writes: the picture cache and the staging folder.
os.makedirs(os.path.join(game, "levelshots"))
os.symlink(os.path.join(outside, "shot.tga"), os.path.join(game, "levelshots", "evil.tga"))
os.symlink(os.path.join(outside, "new.tga"), os.path.join(game, "levelshots", "s001.tga"))
os.symlink(os.path.join(outside, "shot.tga"), os.path.join(game, "levelshots", "bot_okbot.tga"))
os.makedirs(os.path.join(game, "temp"))
os.symlink(outside, os.path.join(game, "temp", "maps"))
os.symlink(os.path.join(outside, "victim.pk3"), os.path.join(game, "temp", "ok1.pk3"))
os.symlink(os.path.join(outside, "victim.tga"), os.path.join(game, "temp", "levelshots"))
