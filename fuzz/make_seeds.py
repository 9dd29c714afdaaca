#!/usr/bin/env python3
"""Writes the seed corpora (fuzz/corpus/<target>/) and dictionaries
(fuzz/dict/<target>.dict) from the repository's fixtures. Run it again when
the fixtures change; the files it writes are kept in the repository."""
import os
import re
import sys

fuzz = os.path.dirname(os.path.abspath(__file__))
repo = os.path.dirname(fuzz)


def read(rel):
    with open(os.path.join(repo, rel), "rb") as f:
        return f.read()


def write_corpus(target, seeds):
    folder = os.path.join(fuzz, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.startswith("seed-"):
            os.remove(os.path.join(folder, name))
    for i, data in enumerate(seeds):
        with open(os.path.join(folder, f"seed-{i:03d}"), "wb") as f:
            f.write(data)


def write_dict(target, words):
    os.makedirs(os.path.join(fuzz, "dict"), exist_ok=True)
    with open(os.path.join(fuzz, "dict", f"{target}.dict"), "w") as f:
        f.write(f"# Keywords of the {target} fuzz target (fuzz/make_seeds.py)\n")
        for w in sorted(set(words)):
            esc = "".join(c if 0x20 <= ord(c) < 0x7F and c not in '"\\' else "\\x%02X" % ord(c) for c in w)
            f.write(f'"{esc}"\n')


def chunks(data, lines_per_chunk):
    lines = data.split(b"\r\n") if b"\r\n" in data else data.split(b"\n")
    return [b"\r\n".join(lines[i:i + lines_per_chunk]) + b"\r\n" for i in range(0, len(lines), lines_per_chunk)]


def utf16(text, bom=b"\xff\xfe", codec="utf-16-le"):
    return bom + text.encode(codec)


cfg = read("tests/settings/fixtures/TARVEX.CFG")
demo_cfg = read("demo/share/NORVA/TARVEX/TARVEX.CFG")
cmd_fixture = {n: read(f"tests/win32_cmdfile/fixture/{n}") for n in ("JOB.CMD", "LOOP.INC", "MEMO.INC", "RCPT.INC")}
cfg_keywords = sorted(set(re.findall(rb"^\s*(\$[a-z_0-9]+)", cfg + demo_cfg, re.M)))
cfg_keywords = [k.decode() for k in cfg_keywords] + [
    "$include", "$var_def", "$if", "$ife", "$ifn", "$ifne", "$else", "$endif", "$macro_char", "$unicode",
    "$image_locn", "$script_locn", "$image_type", "$type", "$convert_options", "$email_address",
    "$email_subject", "$email_text", "$fax_phone", "$fax_receiver", "$fs_template", "$request_dir"]
syntax = [";", "/*", "*/", '"', '""', "@\"", " ", "\t", "\r\n", "\r", "\n", "\xef\xbb\xbf", "\xff\xfe", "\xfe\xff"]

# 1. TFileBase: two header bytes (encoding and flags; SetToken's line and
# token), then the file's bytes.
tfb = []
for header in (b"\x05\x00", b"\x01\x13", b"\x02\x21", b"\x00\x08", b"\x0c\x00", b"\x4d\x31"):
    for part in chunks(cfg, 40)[:4]:
        tfb.append(header + part)
for name, data in cmd_fixture.items():
    tfb.append(b"\x05\x00" + data)
tfb.append(b"\x02\x00" + utf16(cfg[:800].decode("latin-1")))
tfb.append(b"\x03\x00" + utf16(cfg[:800].decode("latin-1"), b"\xfe\xff", "utf-16-be"))
tfb.append(b"\x01\x00\xef\xbb\xbf$var_def NAME \"M\xc3\xbcller \"\"quoted\"\"\" ; comment\r\n$if x\r\n$else\r\n$endif\r\n")
write_corpus("tfilebase", tfb)
write_dict("tfilebase", cfg_keywords + syntax)

# 2. Includes: the list, then the files A.CMD, B.CMD ... after "\n--\n".
def job(*parts):
    return b"\n--\n".join(parts)

root = b"C:\\JOB\\"
fixture = {k: v.replace(b"@ROOT@", root).replace(b"RCPT.INC", b"A.CMD").replace(b"LOOP.INC", b"B.CMD")
           .replace(b"MEMO.INC", b"C.CMD") for k, v in cmd_fixture.items()}
inc = [
    job(fixture["JOB.CMD"], fixture["RCPT.INC"], fixture["LOOP.INC"], fixture["MEMO.INC"]),
    job(b"$include \"C:\\JOB\\A.CMD\"\r\n$send\r\n", b"$include C:\\JOB\\A.CMD\r\n"),
    job(b"$include C:\\JOB\\A.CMD\r\n", b"$fax_phone 123\r\n$include C:\\JOB\\B.CMD\r\n",
        b"$email_address a@b\r\n$include C:\\JOB\\A.CMD\r\n"),
    job(b"$include C:\\JOB\\A.CMD\r\n", b"$include C:\\JOB\\B.CMD\r\n", b"$include C:\\JOB\\C.CMD\r\n",
        b"$include C:\\JOB\\D.CMD\r\n", b"$var_def MEMO1 x\r\n$email_subject \"Hi\"\r\n"),
    job(b"$include C:\\JOB\\Z.CMD\r\n"),
    job(b"$include\r\n$include \"\"\r\n$fax_receiver \"Ann\"\r\n"),
]
write_corpus("includes", inc)
write_dict("includes", ["$include", "C:\\JOB\\A.CMD", "C:\\JOB\\B.CMD", "C:\\JOB\\C.CMD", "C:\\JOB\\D.CMD",
                        "A.CMD", "B.CMD", "\n--\n", "$fax_phone", "$fax_receiver", "$fax_header",
                        "$email_address", "$email_header", "$email_subject", "$email_text", "$email_alttext",
                        "$var_def", "MEMO", '"', ";", "\r\n"])

# 3. The configuration load: TARVEX.CFG as it is, and in pieces.
write_corpus("suite_settings", [cfg, demo_cfg] + chunks(cfg, 25) +
             [utf16(cfg.decode("latin-1")), b"\xef\xbb\xbf" + cfg[:2000]])
write_dict("suite_settings", cfg_keywords + syntax)

# 4. INI files: the suite's pointer, link, connection and suite INI texts.
ini_texts = [
    read("demo/share/NORVA/TARVEX/QTCFG.INI"),
    b"[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\r\n",
    b"[NorvaAppData]\r\nUNCname=\\\\OTHER\\DATA\\TARVEX\\\r\n",
    b"[VelmoraServer]\r\nDirectory=\\\\SRV\\NORVA\\TARVEX\r\n; comment\r\n[Other]\r\nkey = value ; not a comment\r\n",
    b"[QTCONFIG]\nExpectedUNCpath = \\\\SRV\\NORVA\n\nConfigurationFile=TARVEX.CFG\nConfigurationFile=SECOND.CFG\n",
    b"  [ a b ]  \r=x\r[A B]\rk=v=w\r\n[]\r\n=empty name\r\n[unclosed\r\nx=1",
]
ini_seeds = ini_texts + [utf16(t.decode("latin-1")) for t in ini_texts[:3]] + \
    [utf16(ini_texts[3].decode("latin-1"), b"\xfe\xff", "utf-16-be"), b"\xef\xbb\xbf" + ini_texts[4]]
write_corpus("ini", ini_seeds)
ini_words = ["[", "]", "=", ";", "\r\n", "\n", "\r", " ", "\t", "\xff\xfe", "\xfe\xff", "\xef\xbb\xbf",
             "[QTCONFIG]", "[NorvaAppdataShare]", "[NorvaAppData]", "[VelmoraServer]", "UNCname=",
             "ExpectedUNCpath=", "ConfigurationFile=", "Directory=", "\\\\SRV\\NORVA"]
write_dict("ini", ini_words)

# 5. The message box's markup, as UTF-16 LE text.
texts = ["Velmora cannot find its configuration.<br>Ask your administrator.",
         "<b>Bold</b> and <i>italic</i><BR>second line\u00acdebug detail after the not sign",
         "a < b and c > d", "lone < with no close", "<br><Br><bR>", "\u00ac", "plain text",
         "<<nested>> <a<b>c> x<br"]
write_corpus("message_markup", [t.encode("utf-16-le") for t in texts])
write_dict("message_markup", [w.encode("utf-16-le").decode("latin-1") for w in
                              ["<br>", "<BR>", "<", ">", "\u00ac", "<b>", "</b>", "\r\n"]])

# 7. QVGETCFG: NorvaConnect.INI, QVLINK.INI, QTCFG.INI, Velmora.INI.
connect = b"[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\r\n"
qtcfg = b"[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=TARVEX.CFG\r\n"
cfg_seeds = [
    job(connect, b"", qtcfg),
    job(connect, b"", qtcfg, b"[VelmoraServer]\r\nDirectory=\\\\SRV\\NORVA\\TARVEX\r\n"),
    job(connect, b"[NorvaAppData]\r\nUNCname=\\\\OTHER\\DATA\\TARVEX\\\r\n", qtcfg),
    job(b"[NorvaAppdataShare]\r\nUNCname=C:\\LOCAL\r\n", b"", qtcfg),
    job(connect, b"", b"[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\OTHER\r\nConfigurationFile=MISSING.CFG\r\n"),
    job(b"[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\" + b"V" * 300 + b"\r\n", b"", qtcfg),
    job(connect, b"", b"[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\nConfigurationFile=" + b"L" * 400 + b"\r\n",
        b"[VelmoraServer]\r\nDirectory=" + b"D" * 500 + b"\r\n"),
]
write_corpus("qvgetcfg", cfg_seeds)
write_dict("qvgetcfg", ini_words + ["\n--\n", "\\\\OTHER\\DATA", "\\\\OTHER\\DATA\\TARVEX\\", "\\\\SRV\\NORVA\\TARVEX\\",
                                    "TARVEX.CFG", "C:\\", "\\\\"])

# 6. Alerts: mode byte, then recipients, subject, body, HTML body,
# attachments (one a line) and the program path, split at "\n--\n".
def alert(mode, *parts):
    return bytes([mode]) + b"\n--\n".join(parts)

alerts = [
    alert(0, b"ops@site.example", b"Velmora alert", b"The fax server stopped.", b"", b""),
    alert(1, b"to,a@x.example,b@x.example,cc,c@x.example,bcc,d@x.example", b"Subject with \"quotes\"",
          b"Line one\r\nLine two\twith tab and \\\\SRV\\share\\", b"<p>HTML</p>",
          b"C:\\Logs\\job 1.log\nC:\\Logs\\\"odd\".txt"),
    alert(0, b"a@x.example, ,b@x.example,,  c@x.example", b"", b"x" * 9000, b"", b""),
    alert(0, b"a@x.example", b"s" * 5000, b"b" * 5000, b"h" * 5000, b"", b"D:\\Program Files\\MAILPOST.exe"),
    alert(1, b"CC,first@x.example,TO,second@x.example", b"\"\"", b"\"", b"\"\"\"", b"\n\n"),
]
write_corpus("alerts", alerts)
write_dict("alerts", ["to", "cc", "bcc", "TO", "CC", "BCC", ",", ", ,", ",,", "  ", "\"", "\"\"", "\n--\n",
                      "@", "\r\n", "\t", "\\", "SUBJECT=", "BODY=Text:", "HTML=Text:", "RECIP=", " [...]"])
