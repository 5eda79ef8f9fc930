#!/usr/bin/env bash
# Where RuvoLinkLens.exe's bytes come from. Relinks the mingw-i686 build's program
# with the build's own link command plus a linker map (and lld's list of the archive
# members it loaded), then prints the program's sections and, for each section, how
# many bytes each contributor put there: the project's own objects, libstdc++, libgcc,
# libgcc_eh (the unwinder), the MinGW C runtime, the import stubs, the resources.
# Not a test: it prints figures. The build itself is left as it is.
#
#   bench/size-breakdown.sh [--build DIR] [--work DIR]
#
# Needs the mingw-i686 build (cmake --preset mingw-i686 && cmake --build --preset
# mingw-i686) linked with lld, ninja and python3.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/mingw-i686"
work=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2 ;;
    --work) work=$2 ;;
    *) echo "size-breakdown: unknown argument $1" >&2; exit 3 ;;
  esac
  shift 2
done
work=${work:-$build/size-breakdown}
exe="$build/RuvoLinkLens.exe"
[ -f "$exe" ] || { echo "size-breakdown: no $exe; build it with: cmake --build --preset mingw-i686" >&2; exit 3; }
for tool in ninja python3; do
  command -v "$tool" >/dev/null || { echo "size-breakdown: $tool is not installed" >&2; exit 3; }
done

# The link command as ninja would run it (": && COMMAND && :"), writing its program
# into the work folder instead, with no import library, a map and lld's list of loads.
link=$(cd "$build" && ninja -t commands RuvoLinkLens | tail -n 1)
case $link in
  *" -o RuvoLinkLens.exe "*) ;;
  *) echo "size-breakdown: cannot read the link command: $link" >&2; exit 1 ;;
esac
rm -rf "$work"
mkdir -p "$work"
link=${link#': && '}
link=${link%' && :'}
[[ $link =~ \ -Wl,--out-implib,[^\ ]* ]] && link=${link/"${BASH_REMATCH[0]}"/}
link=${link/ -o RuvoLinkLens.exe / -o \"\$work/RuvoLinkLens.exe\" -Wl,-Map=\"\$work/RuvoLinkLens.map\" -Wl,--verbose }
(cd "$build" && eval "$link") >"$work/link.log" 2>&1 ||
  { echo "size-breakdown: the link failed, see $work/link.log" >&2; exit 1; }
head -n 1 "$work/RuvoLinkLens.map" | grep -q '^Address  *Size  *Align  *Out  *In  *Symbol' ||
  { echo "size-breakdown: $work/RuvoLinkLens.map is not lld's map; is the build linked with lld?" >&2; exit 1; }

python3 - "$exe" "$work/RuvoLinkLens.exe" "$work/RuvoLinkLens.map" "$work/link.log" <<'EOF'
import collections, os, re, struct, sys

built, relinked, map_path, log_path = sys.argv[1:]

# Which archive each loaded member came from: lld names the archive only here, the
# map names the member alone.
archive_of = {}
for line in open(log_path, errors="replace"):
    m = re.match(r"\S+: Loaded (\S+?)\((.+?)\) for ", line)
    if m:
        archive_of[m.group(2)] = os.path.basename(m.group(1))

RUNTIME_ARCHIVES = {"libmingw32.a", "libmingwex.a", "libmoldname.a", "libmsvcrt.a"}
# dlltool's import library members: a head, one stub per function, a tail.
IMPORT_STUB = re.compile(r"^lib\w+?(h|t|s\d+)\.o$")
ROWS = ["project's own objects", "libstdc++", "libgcc", "libgcc_eh (the unwinder)",
        "MinGW C runtime", "import stubs", "resources"]
others = set()

def contributor(path):
    name = os.path.basename(path)
    archive = archive_of.get(name)
    if name.endswith(".res"):
        return "resources"
    if archive is None:  # an object file named on the command line
        if name.endswith(".obj"):
            return "project's own objects"
        if name in ("crt2.o", "crt2u.o", "crtbegin.o", "crtend.o"):
            return "MinGW C runtime"
        others.add(name)
        return "other"
    if archive.startswith("libruvo_"):
        return "project's own objects"
    if archive == "libstdc++.a":
        return "libstdc++"
    if archive == "libgcc.a":
        return "libgcc"
    if archive == "libgcc_eh.a":
        return "libgcc_eh (the unwinder)"
    if IMPORT_STUB.match(name):
        return "import stubs"
    if archive in RUNTIME_ARCHIVES:
        return "MinGW C runtime"
    others.add(archive)
    return "other"

# lld's map: each output section, then its input sections indented as FILE:(SECTION),
# and their symbols indented further (not needed here).
line_re = re.compile(r"^([0-9a-f]{8}) ([0-9a-f]{8}) +\d+ (.*)$")
sections = []  # (rva, name, size)
bytes_by = collections.defaultdict(lambda: collections.Counter())
for line in open(map_path, errors="replace").read().splitlines()[1:]:
    m = line_re.match(line)
    if not m:
        continue
    rva, size, rest = int(m.group(1), 16), int(m.group(2), 16), m.group(3)
    if not rest.startswith(" "):
        sections.append((rva, rest.strip(), size))
    elif not rest.startswith(" " * 16):
        path = rest.strip().rsplit(":(", 1)[0]
        bytes_by[sections[-1][1]][contributor(path)] += size

# The program's own section table, for the sizes in the file.
def pe_sections(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    headers = struct.unpack_from("<I", data, pe + 24 + 60)[0]  # SizeOfHeaders
    table = pe + 24 + optional_size
    found = {}
    for i in range(count):
        vsize, rva, raw = struct.unpack_from("<III", data, table + 40 * i + 8)
        found[rva] = (vsize, raw)
    return len(data), headers, found

size, headers, pe = pe_sections(relinked)
built_size = os.path.getsize(built)
print(f"RuvoLinkLens.exe, relinked with a map: {size} bytes"
      + ("" if size == built_size else f" (the build's is {built_size}: the figures may be off)"))
print()
print(f"{'sections':<20}{'in memory':>10}{'in file':>10}")
print(f"  {'headers':<18}{'':>10}{headers:>10}")
for rva, name, vsize in sections:
    print(f"  {name:<18}{vsize:>10}{pe.get(rva, (0, 0))[1]:>10}")
print(f"  {'total':<18}{sum(s for _, _, s in sections):>10}{size:>10}")
print()

rows = ROWS + (["other (" + ", ".join(sorted(others)) + ")"] if others else [])
short = {".gcc_except_table": ".gcc_exc"}
names = [name for _, name, _ in sections]
heads = [short.get(n, n) for n in names]
widths = [max(len(h), 6) for h in heads]
label = 28
print("bytes by contributor and section (in memory; .gcc_exc is .gcc_except_table)")
print(f"{'':<{label}}" + "".join(f" {h:>{w}}" for h, w in zip(heads, widths)) + f" {'total':>7} {'share':>6}")

def print_row(title, values):
    total = sum(values)
    print(f"{title:<{label}}" + "".join(f" {v:>{w}}" for v, w in zip(values, widths))
          + f" {total:>7} {100.0 * total / size:>5.1f}%")

for row in rows:
    key = "other" if row.startswith("other (") else row
    print_row(row, [bytes_by[n][key] for n in names])
# What no input section accounts for: lld's base relocations and runtime tables, and
# the padding between input sections.
print_row("linker-made and padding", [vsize - sum(bytes_by[name].values()) for _, name, vsize in sections])
print_row("section sizes", [vsize for _, _, vsize in sections])
print(f"{'file alignment and headers':<{label}}" + "".join(f" {'':>{w}}" for w in widths)
      + f" {size - sum(s for _, _, s in sections):>7} {100.0 * (size - sum(s for _, _, s in sections)) / size:>5.1f}%")
EOF
