#!/usr/bin/env python3
"""What `cmake --install` puts where, the bash completion at work, and the
Debian package that `cpack -G DEB` makes from the same files.

Usage: install_check.py BUILD_FOLDER
"""
import os
import shutil
import subprocess
import sys
import tempfile

INSTALLED = [
    "bin/beatmarks",
    "share/man/man1/beatmarks.1",
    "share/doc/beatmarks/README.md",
    "share/doc/beatmarks/NEWS",
    "share/doc/beatmarks/LICENSE",
    "share/doc/beatmarks/examples/song.tmap",
    "share/bash-completion/completions/beatmarks",
    "share/zsh/site-functions/_beatmarks",
]


def completions(script, words):
    """What the bash completion offers for the words typed so far."""
    line = " ".join(f"'{w}'" for w in words)
    code = (f"source '{script}'; COMP_WORDS=(beatmarks {line}); COMP_CWORD={len(words)}; "
            "_beatmarks; printf '%s\\n' \"${COMPREPLY[@]}\"")
    return subprocess.run(["bash", "-c", code], capture_output=True, text=True, check=True).stdout.split()


def main():
    build = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as prefix:
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, capture_output=True)
        for path in INSTALLED:
            if not os.path.isfile(os.path.join(prefix, path)):
                failures.append(f"not installed: {path}")
        script = os.path.join(prefix, "share/bash-completion/completions/beatmarks")
        if os.path.isfile(script):
            for words, offered in [(["--form"], ["--format="]), (["--format=cs"], ["csv"]),
                                   (["-f", "j"], ["json"]), (["--beat=q"], ["quarter"]),
                                   (["--max"], ["--max-drift="]), (["--timecode=29"], ["29.97", "29.97df"]),
                                   (["-f", "e"], ["edl"])]:
                got = completions(script, words)
                if got != offered:
                    failures.append(f"completion of {words}: {got}, not {offered}")
        with open(os.path.join(prefix, "share/zsh/site-functions/_beatmarks")) as zsh:
            if zsh.readline().strip() != "#compdef beatmarks":
                failures.append("the zsh completion does not begin with #compdef beatmarks")
    if shutil.which("dpkg-deb"):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")],
                           check=True, capture_output=True)
            debs = [f for f in os.listdir(out) if f.endswith(".deb")]
            if len(debs) != 1:
                failures.append(f"cpack made {debs}")
            else:
                deb = os.path.join(out, debs[0])
                listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True, check=True).stdout
                for path in INSTALLED:
                    if f"./usr/{path}" not in listing:
                        failures.append(f"not in the package: /usr/{path}")
                name = subprocess.run(["dpkg-deb", "-f", deb, "Package"], capture_output=True, text=True).stdout
                if name.strip() != "beatmarks":
                    failures.append(f"package name {name.strip()!r}")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
