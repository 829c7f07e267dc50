#!/usr/bin/env python3
"""Checks the admin's deployment kit in deploy/ against itself and against the launcher's code.

  - ZelkoraLauncher.admx and en-US/ZelkoraLauncher.adml are well-formed XML in the Group Policy
    namespace; every policy is a machine policy below the launcher's key; its category,
    supported-on entry, strings and presentation resolve, and each element has the matching
    control in the ADML and each control an element;
  - the policies write exactly the machine-wide values the launcher reads, each with the
    registry type the launcher reads it with (a wrong type stops the launcher at its start);
    the values read are taken from LauncherOptions::Load, so a value added there without a
    policy fails here;
  - the port offset the template offers keeps both Orvex ports (bases from OrvexLocator.cpp)
    within 1 to 65535;
  - ZelkoraLauncher.reg is REGEDIT4 in ASCII, sets the same values with the same types, and its
    checksums are named after installers the launcher knows and hold 64 hex digits.

Then it proves it can fail: each of a few damaged copies (a value missing, one too many, a
string missing, a wrong type, a .reg line missing) must be reported.

    check_admin_template.py
"""

from __future__ import annotations

import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
DEPLOY = REPO / "deploy"
ADMX = DEPLOY / "ZelkoraLauncher.admx"
ADML = DEPLOY / "en-US" / "ZelkoraLauncher.adml"
REG = DEPLOY / "ZelkoraLauncher.reg"
OPTIONS_SOURCE = REPO / "src" / "model" / "LauncherOptions.cpp"
LOCATOR_SOURCE = REPO / "src" / "discovery" / "OrvexLocator.cpp"
INSPECTOR_SOURCE = REPO / "src" / "prerequisites" / "AppInspector.cpp"

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"

# The machine-wide values and the type each is written with. InstallerHashes is a subkey whose
# REG_SZ values are named by installer file names.
EXPECTED = {
    "OrvexAddress": "REG_SZ",
    "PortOffset": "REG_DWORD",
    "SkipCR": "REG_DWORD",
    "SkipPC": "REG_DWORD",
    "DownloadServer": "REG_SZ",
    "AllowedServers": "REG_MULTI_SZ",
    "RequireInstallerHashes": "REG_DWORD",
    "InstallerHashes": "subkey of REG_SZ",
    "LogFile": "REG_EXPAND_SZ",
}
# Read by LauncherOptions::Load from both roots, but saved per user by the launcher: no policy.
PER_USER_STATE = {"AppLocation"}

# ADMX element -> the ADML control that presents it.
CONTROL_OF = {
    "text": "textBox",
    "decimal": "decimalTextBox",
    "boolean": "checkBox",
    "multiText": "multiTextBox",
    "list": "listBox",
    "enum": "dropdownList",
}


# ---------------------------------------------------------------- the launcher's code

def cpp_string(source: str, name: str) -> str:
    m = re.search(r"\b" + name + r'\s*=\s*L"((?:[^"\\]|\\.)*)"', source)
    if not m:
        raise SystemExit(f"cannot find the constant {name} in the source")
    return m.group(1).replace("\\\\", "\\")


def cpp_int(source: str, name: str) -> int:
    m = re.search(r"\b" + name + r"\s*=\s*(\d+)\s*;", source)
    if not m:
        raise SystemExit(f"cannot find the constant {name} in the source")
    return int(m.group(1))


class Code:
    """What the deployment kit must agree with, read from the launcher's source."""

    def __init__(self, options: str, locator: str, inspector: str):
        self.launcher_key = cpp_string(options, "kLauncherKey")
        self.hashes_key = cpp_string(options, "kInstallerHashesKey")
        m = re.search(r"void LauncherOptions::Load\(IRegistry& registry, ISystem& system, RegRoot root\)"
                      r" \{(.*?)\n\}", options, re.S)
        if not m:
            raise SystemExit("cannot find LauncherOptions::Load(RegRoot) in the source")
        reads = re.findall(
            r'(?:Read\w*Value\((?:registry,\s*)?root,\s*kLauncherKey,\s*|\btext\(|\bdword\()L"(\w+)"',
            m.group(1))
        if not reads:
            raise SystemExit("LauncherOptions::Load(RegRoot) reads no value this check recognises")
        self.machine_values = (set(reads) - PER_USER_STATE) | {self.hashes_key.rsplit("\\", 1)[1]}
        self.udp_base = cpp_int(locator, "kUdpPortBase")
        self.tcp_base = cpp_int(locator, "kTcpPortBase")
        self.installers = set(re.findall(r'InstallerRow\s+k\w+\s*=\s*\{\s*L"([^"]+)"', inspector))
        if not self.installers:
            raise SystemExit("cannot find the installer rows in the source")


# ---------------------------------------------------------------- ADMX and ADML

def ref(text: str | None, kind: str) -> str | None:
    m = re.fullmatch(r"\$\(" + kind + r"\.([^)]+)\)", text or "")
    return m.group(1) if m else None


def parse(text: str, what: str, problems: list[str]) -> ET.Element | None:
    try:
        return ET.fromstring(text)
    except ET.ParseError as e:
        problems.append(f"{what}: not well-formed XML: {e}")
        return None


def policy_values(policy: ET.Element, code: Code, problems: list[str]) -> dict[str, str]:
    """Value name -> registry type, as Group Policy writes this policy."""
    name = policy.get("name")
    key = policy.get("key")
    values: dict[str, str] = {}

    def add(value: str | None, type_: str) -> None:
        if not value:
            problems.append(f"policy {name}: an element without valueName")
        elif value in values:
            problems.append(f"policy {name}: writes {value} twice")
        else:
            values[value] = type_

    if policy.get("valueName"):
        kinds = {child.tag.removeprefix(NS) for tag in ("enabledValue", "disabledValue")
                 for node in policy.findall(NS + tag) for child in node}
        if not kinds:
            problems.append(f"policy {name}: valueName without enabledValue/disabledValue")
        elif kinds == {"decimal"}:
            add(policy.get("valueName"), "REG_DWORD")
        else:
            add(policy.get("valueName"), "/".join(sorted(kinds)))
    for element in policy.findall(f"{NS}elements/*"):
        kind = element.tag.removeprefix(NS)
        if element.get("key") not in (None, key) and kind != "list":
            problems.append(f"policy {name}: element {element.get('id')} writes to another key")
        if kind == "text":
            add(element.get("valueName"),
                "REG_EXPAND_SZ" if element.get("expandable") == "true" else "REG_SZ")
        elif kind == "decimal":
            add(element.get("valueName"), "REG_SZ" if element.get("storeAsText") == "true" else "REG_DWORD")
        elif kind == "boolean":
            add(element.get("valueName"), "REG_DWORD")
        elif kind == "multiText":
            add(element.get("valueName"), "REG_MULTI_SZ")
        elif kind == "list":
            list_key = element.get("key") or key
            if list_key != code.hashes_key:
                problems.append(f"policy {name}: list writes to {list_key}, not {code.hashes_key}")
                continue
            if element.get("explicitValue") != "true" or element.get("valuePrefix") is not None:
                problems.append(f"policy {name}: the checksums need explicitValue=\"true\" "
                                "(value name: the installer's file name)")
            add(list_key.rsplit("\\", 1)[1],
                "subkey of REG_EXPAND_SZ" if element.get("expandable") == "true" else "subkey of REG_SZ")
        else:
            problems.append(f"policy {name}: element {kind} not checked here")
    return values


def check_templates(admx_text: str, adml_text: str, code: Code) -> list[str]:
    problems: list[str] = []
    admx = parse(admx_text, "ADMX", problems)
    adml = parse(adml_text, "ADML", problems)
    if admx is None or adml is None:
        return problems
    if admx.tag != NS + "policyDefinitions":
        problems.append(f"ADMX: root element {admx.tag}, not policyDefinitions in the Group Policy namespace")
    if adml.tag != NS + "policyDefinitionResources":
        problems.append(f"ADML: root element {adml.tag}, not policyDefinitionResources in the Group Policy namespace")
    if admx.find(f"{NS}policyNamespaces/{NS}target") is None:
        problems.append("ADMX: no target namespace")

    strings: dict[str, str] = {}
    for s in adml.iterfind(f"{NS}resources/{NS}stringTable/{NS}string"):
        if s.get("id") in strings:
            problems.append(f"ADML: string {s.get('id')} defined twice")
        strings[s.get("id")] = (s.text or "").strip()
    presentations: dict[str, ET.Element] = {}
    for p in adml.iterfind(f"{NS}resources/{NS}presentationTable/{NS}presentation"):
        if p.get("id") in presentations:
            problems.append(f"ADML: presentation {p.get('id')} defined twice")
        presentations[p.get("id")] = p

    def needs_string(owner: str, attribute: str, value: str | None, required: bool = True) -> None:
        if value is None and not required:
            return
        sid = ref(value, "string")
        if sid is None:
            problems.append(f"{owner}: {attribute} {value!r} is no $(string.id) reference")
        elif not strings.get(sid):
            problems.append(f"{owner}: {attribute} names string {sid}, which the ADML does not define")

    categories = {}
    for c in admx.iterfind(f"{NS}categories/{NS}category"):
        categories[c.get("name")] = c
        needs_string(f"category {c.get('name')}", "displayName", c.get("displayName"))
        needs_string(f"category {c.get('name')}", "explainText", c.get("explainText"), required=False)
    supported = set()
    for d in admx.iterfind(f"{NS}supportedOn/{NS}definitions/{NS}definition"):
        supported.add(d.get("name"))
        needs_string(f"supportedOn {d.get('name')}", "displayName", d.get("displayName"))

    written: dict[str, tuple[str, str]] = {}  # value -> (type, policy)
    for policy in admx.iterfind(f"{NS}policies/{NS}policy"):
        name = policy.get("name")
        owner = f"policy {name}"
        if policy.get("class") != "Machine":
            problems.append(f"{owner}: class {policy.get('class')!r}, not Machine")
        if policy.get("key") not in (code.launcher_key, code.hashes_key):
            problems.append(f"{owner}: key {policy.get('key')!r} is not the launcher's {code.launcher_key}")
        parent = policy.find(NS + "parentCategory")
        if parent is None or parent.get("ref") not in categories:
            problems.append(f"{owner}: parent category does not resolve")
        on = policy.find(NS + "supportedOn")
        if on is None or on.get("ref") not in supported:
            problems.append(f"{owner}: supportedOn does not resolve")
        needs_string(owner, "displayName", policy.get("displayName"))
        needs_string(owner, "explainText", policy.get("explainText"))

        elements = {e.get("id"): e.tag.removeprefix(NS) for e in policy.findall(f"{NS}elements/*")}
        if policy.get("presentation") is not None or elements:
            pid = ref(policy.get("presentation"), "presentation")
            if pid is None or pid not in presentations:
                problems.append(f"{owner}: presentation {policy.get('presentation')!r} does not resolve in the ADML")
            else:
                controls = {c.get("refId"): c.tag.removeprefix(NS) for c in presentations[pid]
                            if c.get("refId") is not None}
                for eid, kind in elements.items():
                    if controls.get(eid) != CONTROL_OF.get(kind):
                        problems.append(f"{owner}: element {eid} ({kind}) has no {CONTROL_OF.get(kind)} "
                                        f"in presentation {pid}")
                for rid in controls.keys() - elements.keys():
                    problems.append(f"{owner}: presentation {pid} shows {rid}, which is no element")

        for value, type_ in policy_values(policy, code, problems).items():
            if value in written:
                problems.append(f"{owner}: {value} is also written by policy {written[value][1]}")
            written[value] = (type_, name)
        for d in policy.iterfind(f"{NS}elements/{NS}decimal"):
            if d.get("valueName") != "PortOffset":
                continue
            low, high = int(d.get("minValue", "0")), int(d.get("maxValue", str(2**32 - 1)))
            ports = [code.udp_base + low, code.tcp_base + low, code.udp_base + high, code.tcp_base + high]
            if min(ports) < 1 or max(ports) > 65535:
                problems.append(f"{owner}: offsets {low} to {high} put an Orvex port outside 1 to 65535")

    problems += compare_values("ADMX", {v: t for v, (t, _) in written.items()}, code)
    return problems


def compare_values(what: str, found: dict[str, str], code: Code) -> list[str]:
    problems = []
    for value in sorted(EXPECTED.keys() - found.keys()):
        problems.append(f"{what}: no {value} ({EXPECTED[value]})")
    for value in sorted(found.keys() - EXPECTED.keys()):
        problems.append(f"{what}: {value} is not a machine-wide value the launcher reads")
    for value in sorted(EXPECTED.keys() & found.keys()):
        if found[value] != EXPECTED[value]:
            problems.append(f"{what}: {value} written as {found[value]}, the launcher reads {EXPECTED[value]}")
    return problems


# ---------------------------------------------------------------- the sample .reg

REG_VALUE = re.compile(r'^"((?:[^"\\]|\\.)*)"=(.*)$')


def parse_reg(text: str) -> tuple[list[str], dict[str, dict[str, tuple[str, str]]]]:
    """(problems, {key: {value: (type, data)}}); comments and blank lines skipped, hex lines
    continued with a trailing backslash joined."""
    problems: list[str] = []
    lines = text.replace("\r\n", "\n").split("\n")
    if lines[0] != "REGEDIT4":
        problems.append(f".reg: first line {lines[0]!r}, not REGEDIT4")
    if any(ord(c) > 127 for c in text):
        problems.append(".reg: not plain ASCII, which REGEDIT4 files must be here")
    keys: dict[str, dict[str, tuple[str, str]]] = {}
    current: dict[str, tuple[str, str]] | None = None
    joined: list[str] = []
    for line in lines[1:]:
        if joined and joined[-1].endswith("\\"):
            joined[-1] = joined[-1][:-1] + line.strip()
        else:
            joined.append(line)
    for line in joined:
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
            continue
        m = REG_VALUE.match(line)
        if not m or current is None:
            problems.append(f".reg: cannot read the line {line!r}")
            continue
        name, data = m.group(1), m.group(2)
        if re.fullmatch(r'"(?:[^"\\]|\\.)*"', data):
            current[name] = ("REG_SZ", data[1:-1])
        elif re.fullmatch(r"dword:[0-9a-fA-F]{8}", data):
            current[name] = ("REG_DWORD", data[6:])
        elif data.startswith("hex(2):"):
            current[name] = ("REG_EXPAND_SZ", data[7:])
        elif data.startswith("hex(7):"):
            current[name] = ("REG_MULTI_SZ", data[7:])
        else:
            problems.append(f".reg: {name}: data {data!r} of a type not used here")
    return problems, keys


def check_reg(text: str, code: Code) -> list[str]:
    problems, keys = parse_reg(text)
    main_key = "HKEY_LOCAL_MACHINE\\" + code.launcher_key
    hashes_key = "HKEY_LOCAL_MACHINE\\" + code.hashes_key
    for key in keys.keys() - {main_key, hashes_key}:
        problems.append(f".reg: key [{key}] is not the launcher's")
    found = {name: type_ for name, (type_, _) in keys.get(main_key, {}).items()}
    hashes = keys.get(hashes_key)
    if hashes is not None:
        found[code.hashes_key.rsplit("\\", 1)[1]] = "subkey of REG_SZ"
        for name, (type_, data) in hashes.items():
            if name not in code.installers:
                problems.append(f".reg: checksum for {name!r}, an installer the launcher does not know")
            if type_ != "REG_SZ" or not re.fullmatch(r"[0-9a-fA-F]{64}", data):
                problems.append(f".reg: checksum of {name!r} is not a REG_SZ of 64 hex digits")
        if not hashes:
            found[code.hashes_key.rsplit("\\", 1)[1]] = "an empty subkey"
    for name, (type_, data) in keys.get(main_key, {}).items():
        if type_ in ("REG_MULTI_SZ", "REG_EXPAND_SZ"):
            try:
                raw = bytes(int(b, 16) for b in data.split(","))
            except ValueError:
                problems.append(f".reg: {name}: hex data {data!r} unreadable")
                continue
            end = b"\0\0" if type_ == "REG_MULTI_SZ" else b"\0"
            if not raw.endswith(end) or any(b > 127 for b in raw):
                problems.append(f".reg: {name}: not NUL-terminated single-byte ASCII text")
    return problems + compare_values(".reg", found, code)


# ---------------------------------------------------------------- running

def check_all(admx: str, adml: str, reg: str, code: Code) -> list[str]:
    problems = check_templates(admx, adml, code)
    problems += check_reg(reg, code)
    if code.machine_values != EXPECTED.keys():
        for value in sorted(code.machine_values - EXPECTED.keys()):
            problems.append(f"the launcher reads {value} machine-wide (LauncherOptions::Load), "
                            "the deployment kit has no entry for it: add a policy, a .reg line and "
                            "docs/ADMIN.md, or list it in PER_USER_STATE here if it is per-user state")
        for value in sorted(EXPECTED.keys() - code.machine_values):
            problems.append(f"the launcher no longer reads {value}: take it out of the deployment kit")
    return problems


def replace_once(text: str, pattern: str, replacement: str) -> str:
    new, n = re.subn(pattern, replacement, text, count=1, flags=re.S)
    if n != 1:
        raise LookupError(pattern)
    return new


# Damaged copies that must be reported: (what, file, pattern, replacement, expected report).
DAMAGE = [
    ("a policy removed", "admx", r'\s*<policy name="SkipPC".*?</policy>', "", "ADMX: no SkipPC"),
    ("a value the launcher does not read", "admx", r'(<text id="DownloadServer"[^>]*/>)',
     r'\1<text id="ExtraOptions" valueName="ExtraOptions"/>',
     "ADMX: ExtraOptions is not a machine-wide value"),
    ("a flag written as text", "admx", r'(valueName="SkipCR">.*?<enabledValue>)<decimal value="1"/>',
     r'\1<string>1</string>', "SkipCR written as"),
    ("an explain text missing", "adml", r'<string id="PortOffset_Help">.*?</string>', "",
     "names string PortOffset_Help"),
    ("a control missing", "adml", r'<multiTextBox refId="AllowedServers">.*?</multiTextBox>', "",
     "element AllowedServers (multiText) has no multiTextBox"),
    ("a .reg value removed", "reg", r'"AllowedServers"=hex\(7\):[^\r\n]*\r?\n', "",
     ".reg: no AllowedServers"),
    ("a .reg checksum for an unknown file", "reg", r'"Braille Fonts\.msi"=', '"Braile Fonts.msi"=',
     "an installer the launcher does not know"),
    ("broken XML", "adml", r"</stringTable>", "", "ADML: not well-formed XML"),
]


def self_check(texts: dict[str, str], code: Code) -> list[str]:
    failures = []
    for what, which, pattern, replacement, expected in DAMAGE:
        damaged = dict(texts)
        try:
            damaged[which] = replace_once(texts[which], pattern, replacement)
        except LookupError:
            failures.append(f"self-check {what!r}: the pattern no longer matches {which}; update DAMAGE")
            continue
        reports = check_all(damaged["admx"], damaged["adml"], damaged["reg"], code)
        if not any(expected in r for r in reports):
            failures.append(f"self-check {what!r}: not reported (wanted {expected!r}, got {reports})")
        else:
            print(f"self-check: {what}: reported")
    return failures


def main() -> int:
    code = Code(OPTIONS_SOURCE.read_text(), LOCATOR_SOURCE.read_text(), INSPECTOR_SOURCE.read_text())
    texts = {"admx": ADMX.read_text(encoding="utf-8"), "adml": ADML.read_text(encoding="utf-8"),
             "reg": REG.read_bytes().decode("latin-1")}
    problems = check_all(texts["admx"], texts["adml"], texts["reg"], code)
    for p in problems:
        print("FAIL:", p)
    if not problems:
        print(f"ok: {ADMX.relative_to(REPO)}, {ADML.relative_to(REPO)} and {REG.relative_to(REPO)} "
              f"name {', '.join(sorted(EXPECTED))}")
    failures = self_check(texts, code)
    for f in failures:
        print("FAIL:", f)
    return 1 if problems or failures else 0


if __name__ == "__main__":
    sys.exit(main())
