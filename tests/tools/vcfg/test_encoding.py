"""Text vcfg and vprop take on their command lines and in property-id files
follows the encoding rules of file loading: whatever vcfg saves, vcfg reads
back. Text the loader would refuse (invalid UTF-8, a lone surrogate escape)
is refused before anything is changed, with status 2."""
import json
import os
import subprocess

import pytest

from conftest import VCFG

JSON_ERROR = b"Invalid encoding in string."
STRING_ERROR = b"*** Invalid UTF-8 in String\n"
KEY_ERROR = b"*** Invalid UTF-8 in Key\n"
SURROGATE_ERROR = b"The surrogate pair in string is invalid."
PATH_ERROR = b"*** Parse error in subtree ID\n"

# (options, property id, value, -f file text or None, message on the error stream)
REFUSED = [
    pytest.param([], b"system.x", b'"\\udc00"', None, STRING_ERROR, id="lone-low-surrogate-value"),
    pytest.param([], b"system.x", b'"\\ud800"', None, SURROGATE_ERROR, id="lone-high-surrogate-value"),
    pytest.param([], b"system.x", b'"\\udc00\\ud800"', None, SURROGATE_ERROR, id="reversed-pair-value"),
    pytest.param([], b"system.x", b'"ok\xff"', None, JSON_ERROR, id="invalid-byte-value"),
    pytest.param([], b"system.x", b'"\xed\xb0\x80"', None, JSON_ERROR, id="encoded-surrogate-value"),
    pytest.param([], b"system.x", b'"\xc0\xaf"', None, JSON_ERROR, id="overlong-value"),
    pytest.param([], b"system.x", b'{"\\udc00": 1}', None, KEY_ERROR, id="lone-surrogate-key-in-object"),
    pytest.param([], b"system.x", b'["a", {"b\xfe": 1}]', None, JSON_ERROR, id="invalid-key-in-array"),
    pytest.param(["-u"], b"system.x", b"plain\xff", None, JSON_ERROR, id="url-plain-invalid-byte"),
    pytest.param(["-u"], b"system.x", b'\\"\\udc00"', None, STRING_ERROR, id="url-quoted-lone-surrogate"),
    pytest.param([], b"system.na\xffme", b"1", None, KEY_ERROR, id="invalid-byte-name"),
    pytest.param([], b"system.\xed\xb0\x80", b"1", None, KEY_ERROR, id="encoded-surrogate-name"),
    pytest.param(["-u"], b"system.na\xc1\xbfme", b"+1", None, KEY_ERROR, id="url-overlong-name"),
    pytest.param([], b'system."\\udc00"', b"1", None, PATH_ERROR, id="quoted-lone-surrogate-name"),
    pytest.param([], None, None, b'"system.x" : "\\udc00"\n', STRING_ERROR, id="file-line-value"),
    pytest.param([], None, None, b'"system.ok" : 1\n"system.\xff" : 1\n', KEY_ERROR, id="file-line-name"),
    pytest.param([], None, None, b'{"system.ok": 1, "system.x": "\\udc00"}\n', STRING_ERROR,
                 id="file-object-value"),
    pytest.param([], None, None, b'{"system.\\udc00": 1}\n', KEY_ERROR, id="file-object-name"),
    pytest.param(["-u"], None, None, b"system.ok=+1\nsystem.x=\\\"\\udc00\"\n", STRING_ERROR,
                 id="url-file-line-value"),
]


def run(scratch, *args, tool=VCFG):
    env = dict(os.environ, VCFG_ENVFILE=scratch.conf)
    p = subprocess.run([tool, *args], cwd=scratch.root, env=env, capture_output=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def set_args(scratch, options, prop, value, file_text):
    if file_text is None:
        return ["set", *options, "-N", prop, value]
    path = scratch.path("ids")
    with open(path, "wb") as f:
        f.write(file_text)
    return ["set", *options, "-N", "-f", path]


@pytest.mark.parametrize("options, prop, value, file_text, message", REFUSED)
def test_set_refuses_what_loading_would_refuse(merged_scratch, options, prop, value, file_text, message):
    s = merged_scratch
    merged = s.path("deviceSpecific.json")
    with open(merged, "rb") as f:
        before = f.read()
    status, _, err = run(s, *set_args(s, options, prop, value, file_text))
    assert status == 2, err
    assert message in err
    with open(merged, "rb") as f:
        assert f.read() == before
    # The domain is still usable.
    assert run(s, "get", "-s", "system", "hostname")[:2] == (0, b'{"hostname":"lab-3"}\n')


# Text at the edges of what is valid: each value and name is stored, and every
# file written reads back, with the same text.
ACCEPTED = [
    ([], b'system."a.b"', b'"\\ud83d\\ude00"', "a.b", "\U0001F600"),
    ([], b"system.caf\xc3\xa9", b'"\xe2\x82\xac \\u0001\\t\\\\"', "caf\u00e9", "\u20ac \u0001\t\\"),
    ([], b'system."q\\"uote\\\\"', b'{"k\xf4\x8f\xbf\xbf": ["\\u00ff", 1e300]}', 'q"uote\\',
     {"k\U0010FFFF": ["\u00ff", 1e300]}),
    (["-u"], b"system.plain\\.dot", b"  spaced \xe4\xb8\xad  ", "plain.dot", "  spaced \u4e2d  "),
]


def test_every_file_set_writes_reads_back(merged_scratch):
    s = merged_scratch
    for options, prop, value, name, expected in ACCEPTED:
        status, _, err = run(s, "set", *options, "-N", prop, value)
        assert status == 1, (prop, err)
        with open(s.path("deviceSpecific.json"), "rb") as f:
            assert json.loads(f.read().decode("utf-8"))["system"][name] == expected
        status, out, err = run(s, "get", "-s", "system")
        assert status == 0, (prop, err)
        assert json.loads(out.decode("utf-8"))["system"][name] == expected
    # The whole stack still merges and commits.
    assert run(s, "commit")[0] in (0, 1)
    assert run(s, "merge")[0] in (0, 1)
    assert run(s, "get")[0] == 0


VPROP = os.environ.get("VPROP")
# vprop has no whole-object form of the -f file.
VPROP_REFUSED = [p for p in REFUSED if not (p.values[3] or b"").startswith(b"{")]


@pytest.mark.skipif(not VPROP, reason="vprop is not built")
@pytest.mark.parametrize("options, prop, value, file_text, message", VPROP_REFUSED)
def test_vprop_set_refuses_the_same(tmp_path, options, prop, value, file_text, message):
    conf = tmp_path / "vprop.conf"
    out = tmp_path / "system.json"
    conf.write_text(json.dumps({"vprop": {"subsystem": {"0": {
        "name": "system", "description": "", "dirIn": str(tmp_path), "confOut": str(out)}}}}))
    out.write_text(json.dumps({"system": {"hostname": "lab-3"}}))
    args = ["-e", str(conf), "-s", "system"]
    if file_text is None:
        # vprop's paths start inside the subsystem.
        args += [prop.replace(b"system.", b"", 1), value]
    else:
        ids = tmp_path / "ids"
        ids.write_bytes(file_text.replace(b'"system.', b'"').replace(b"system.", b""))
        args += ["-f", str(ids)]
    p = subprocess.run([VPROP, "set", *options, "-N", *args], capture_output=True, timeout=60)
    assert p.returncode == 2, p.stderr
    assert message in p.stderr
