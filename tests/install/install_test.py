#!/usr/bin/env python3
"""The installed program as a user gets it: `tree` installs into a temporary prefix and runs the
installed programs from another folder and checks the desktop files; `package` builds the Debian
package and checks its contents, dependencies and lintian's verdict.

    install_test.py tree BUILD_DIR
    install_test.py package BUILD_DIR
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, flush=True)
    return condition


def run(args, cwd=None, env=None, timeout=300):
    result = subprocess.run(args, cwd=cwd, env=env, capture_output=True, text=True,
                            timeout=timeout)
    return result.returncode, result.stdout + result.stderr


def read_png(path):
    """(width, height, channels, bytes) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    channels = {2: 3, 6: 4}[colour]
    raw, stride = zlib.decompress(idat), width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, b"".join(rows)


def centre_differs(first, second):
    """Share of the pixels in the middle third of two equal-sized images that differ clearly."""
    (w, h, n, a), (_, _, _, b) = first, second
    differing = total = 0
    for y in range(h // 3, 2 * h // 3, 2):
        for x in range(w // 3, 2 * w // 3, 2):
            at = (y * w + x) * n
            total += 1
            if sum(abs(a[at + i] - b[at + i]) for i in range(3)) > 30:
                differing += 1
    return differing / max(total, 1)


def installed_tree(build, work):
    prefix = os.path.join(work, "prefix")
    elsewhere = os.path.join(work, "elsewhere")
    os.makedirs(elsewhere)
    code, log = run(["cmake", "--install", build, "--prefix", prefix])
    if not check(code == 0, "cmake --install failed:\n" + log):
        return
    binaries = os.path.join(prefix, "bin")

    # loomwork-tool on the PATH, from a folder of the user's.
    env = dict(os.environ, PATH=binaries + ":" + os.environ["PATH"])
    code, log = run(["loomwork-tool", "scene", "marble", "-o", "marble.sculpt"], elsewhere, env)
    check(code == 0, "loomwork-tool scene from another folder:\n" + log)
    code, log = run(["loomwork-tool", "info", "marble.sculpt"], elsewhere, env)
    check(code == 0 and "RDLM" in log, "loomwork-tool info from another folder:\n" + log)
    with open(os.path.join(elsewhere, "notes.sculpt"), "w") as f:
        f.write("not a sculpture\n")

    # The program in a desktop window, from a folder without a data tree: what the command line
    # names is loaded at once, and bad files are named in the log without stopping the program.
    if os.environ.get("DISPLAY"):
        cases = [  # name, extra arguments, text the log must hold
            ("no file", [], None),
            ("sculpture", ["marble.sculpt"], None),
            ("not a sculpture", ["notes.sculpt"], "is not a sculpture file"),
            ("missing file", ["gone.sculpt"], "Failed to open '" + elsewhere + "/gone.sculpt'"),
        ]
        images = {}
        for name, extra, expected in cases:
            shot = os.path.join(work, name.replace(" ", "_") + ".png")
            run_env = dict(env, LOOMWORK_EXIT_AFTER_FRAMES="20", LOOMWORK_CAPTURE_PNG=shot,
                           LOOMWORK_UNATTENDED="1", XDG_DATA_HOME=os.path.join(work, "user"))
            code, log = run(["loomwork", "--novr"] + extra, elsewhere, run_env)
            check(code == 0, name + ": exit code %d\n" % code + log)
            for missing_data in ("Failed to load", "ReadDataFromFile", "the panel has no text"):
                check(missing_data not in log, name + ": data tree not found:\n" + log)
            if expected:
                check(expected in log, name + ": no '" + expected + "' in the log:\n" + log)
            images[name] = read_png(shot) if os.path.exists(shot) else None
            check(images[name] is not None and images[name][:2] == (1280, 720),
                  name + ": no 1280x720 capture")
        if images.get("no file") and images.get("sculpture"):
            share = centre_differs(images["no file"], images["sculpture"])
            check(share > 0.05, "the sculpture given on the command line is not in view "
                  "(%.3f of the centre differs)" % share)
        if images.get("no file") and images.get("not a sculpture"):
            check(centre_differs(images["no file"], images["not a sculpture"]) < 0.01,
                  "a bad file changed the empty grid")
    else:
        print("no DISPLAY: the program runs are left out")

    # Desktop entry, file type, icons, manual pages, OpenXR manifest.
    share = os.path.join(prefix, "share")
    desktop = os.path.join(share, "applications", "loomwork.desktop")
    code, log = run(["desktop-file-validate", desktop])
    check(code == 0 and log.strip() == "", "desktop-file-validate:\n" + log)
    mime = os.path.join(share, "mime", "packages", "loomwork.xml")
    code, log = run(["xmllint", "--noout", mime])
    check(code == 0, "xmllint:\n" + log)
    code, log = run(["update-mime-database", os.path.join(share, "mime")])
    check(code == 0, "update-mime-database:\n" + log)
    with open(os.path.join(share, "mime", "magic"), "rb") as f:
        check(b"RDLM" in f.read(), "the RDLM magic is not in the built MIME database")
    with open(os.path.join(share, "mime", "globs2")) as f:
        check("application/x-loomwork-sculpture:*.sculpt" in f.read(),
              "*.sculpt is not in the built MIME database")
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        icon = os.path.join(share, "icons", "hicolor", "%dx%d" % (size, size), "apps",
                            "loomwork.png")
        image = read_png(icon) if os.path.exists(icon) else None
        check(image is not None and image[:3] == (size, size, 4), "icon %s" % icon)
    for page in ("loomwork", "loomwork-tool"):
        path = os.path.join(share, "man", "man1", page + ".1.gz")
        # As lintian reads manual pages: troff's output on stdout, its warnings on stderr.
        result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path],
                                env=dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="",
                                         MANWIDTH="80"), capture_output=True, text=True)
        check(result.returncode == 0 and result.stdout.startswith("x T utf8"),
              "man %s:\n%s" % (page, result.stderr))
        check(result.stderr.strip() == "", "man %s warns:\n%s" % (page, result.stderr))
    manifest = os.path.join(share, "openxr", "1", "loomwork_xr_sim.json")
    code, log = run(["openxr_runtime_list"], env=dict(os.environ, XR_RUNTIME_JSON=manifest))
    check(code == 0 and "Loomwork" in log,
          "the OpenXR loader does not load the installed runtime:\n" + log)


def debian_package(build, work):
    code, log = run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", work],
                    cwd=work, timeout=900)
    packages = [name for name in os.listdir(work) if name.endswith(".deb")]
    if not check(code == 0 and len(packages) == 1, "cpack:\n" + log):
        return
    deb = os.path.join(work, packages[0])
    code, listing = run(["dpkg-deb", "-c", deb])
    files = {line.split()[5].lstrip(".") for line in listing.splitlines() if len(line.split()) > 5}
    expected = [
        "/usr/bin/loomwork", "/usr/bin/loomwork-tool",
        "/usr/share/loomwork/script/sculpt.lua", "/usr/share/loomwork/shaders/solidiso.fs.bin",
        "/usr/share/loomwork/textures/tools.png", "/usr/share/loomwork/assets/Comfortaa_Bold.ttf",
        "/usr/lib/loomwork/libloomwork_xr_sim.so", "/usr/share/openxr/1/loomwork_xr_sim.json",
        "/usr/share/applications/loomwork.desktop", "/usr/share/mime/packages/loomwork.xml",
        "/usr/share/icons/hicolor/256x256/apps/loomwork.png",
        "/usr/share/man/man1/loomwork.1.gz", "/usr/share/man/man1/loomwork-tool.1.gz",
        "/usr/share/doc/loomwork/copyright", "/usr/share/doc/loomwork/changelog.gz",
    ]
    for path in expected:
        check(path in files, "the package lacks " + path)
    for path in files:
        check(not re.search(r"CMakeFiles|cmake_install|Makefile|/sculptures", path),
              "the package holds a build file: " + path)
    code, depends = run(["dpkg-deb", "-f", deb, "Depends"])
    for package in ("libc6", "libsdl2-2.0-0", "liblua5.3-0", "libgomp1", "libgflags2.2",
                    "libopenxr-loader1", "libgl1", "fonts-comfortaa"):
        check(re.search(r"(^|, )" + re.escape(package) + r"\b", depends),
              "Depends lacks %s: %s" % (package, depends))
    code, log = run(["dpkg-deb", "-x", deb, os.path.join(work, "root")])
    with open(os.path.join(work, "root", "usr", "share", "openxr", "1", "loomwork_xr_sim.json")) as f:
        check('"/usr/lib/loomwork/libloomwork_xr_sim.so"' in f.read(),
              "the packaged OpenXR manifest does not name the packaged library")
    code, log = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb], timeout=900)
    print(log)
    check(code == 0 and not re.search(r"^E: ", log, re.M), "lintian reports errors")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("tree", "package"):
        print(__doc__)
        return 2
    with tempfile.TemporaryDirectory(prefix="loomwork-install-") as work:
        {"tree": installed_tree, "package": debian_package}[sys.argv[1]](
            os.path.abspath(sys.argv[2]), work)
    print("%d checks failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
