"""Command lines with their exact output, error stream and exit status."""
import json
import os

import pytest

from conftest import VCFG, read_json, write_json

USAGE = (f"usage: {VCFG} <command> [-d domain] [-s subsystem]\n"
         "        [-e environment file] [-v] [-n] [-N] [-S] [-f propertyId file]\n"
         "        [-o outputFilename] [-u] [-j] [-J]\n"
         "    where <command> is {domain | subsystem | merge | generate\n"
         "                        | restart | apply | get | set\n"
         "                        | default | delete | commit}\n")


def test_configuration_file_faults(scratch):
    """Faults of vcfg.conf: message, parse diagnosis naming the file, status 2."""
    conf = scratch.conf
    cases = [
        ('{"cfg":{}}', '*** Top JSON Object must be "vcfg", but was "cfg".\n', 8),
        ('{"vcfg":{"domain":{"1000":{"name":"x"}}}}', '*** Invalid object index "1000" in "vcfg" configuration file.\n', 27),
        ('{"vcfg":{"domain":{"-1":{}}}}', '*** Invalid object index "-1" in "vcfg" configuration file.\n', 25),
        ('{"vcfg":{"domain":{"0":"x"}}}', '*** Domain and Subsystem elements must be JSON objects, not String property "0" : "x"\n', 26),
        ('{"vcfg":{"apiVersion":1}}', '', 22),
        ('{"vcfg":{"domain":{"0":{"name":["x"]}}}}', '*** Unrecognized property "name" at level 4 in "vcfg" configuration file.\n', 32),
        ('5', '*** First JSON element must be an Object\n', 0),
    ]
    for text, message, offset in cases:
        with open(conf, "w") as f:
            f.write(text)
        status, out, err = scratch.run("domain")
        assert (status, out, err) == (
            2, "", message + f'*** JSON Parse Error "Parsing was terminated." at offset {offset} of "{conf}"\n'), text


def test_configuration_file_tolerated_oddities(scratch):
    """Duplicate indices keep the first record; unknown properties are
    reported and the file is still used."""
    conf = scratch.conf
    with open(conf, "w") as f:
        f.write('{"vcfg":{"domain":{"0":{"name":"first","dirIn":"a","confOut":"a.json"},'
                '"0":{"name":"second","dirIn":"b","confOut":"b.json"}},'
                '"subsystem":{"3":{"name":"net","color":"red","propertyNoName":true,"cfgGenOpts":["-x","y"]}},'
                '"extra":{"1":{}}}}')
    status, out, err = scratch.run("domain")
    assert status == 0
    assert out == '  0: "first"\n     in:  "a"\n     out: "a.json"\n'
    assert err == ('*** Unrecognized property "color" : "red" at level 4 in "vcfg" configuration file.\n'
                   '*** Unrecognized property "extra" : { ... } in "vcfg" configuration file.\n'
                   '*** Unrecognized index "1" structure in "vcfg" configuration file.\n')
    status, out, _ = scratch.run("subsystem", "net")
    assert status == 0
    assert out == ('  3: "net"\n     propertyFormat:   ""\n     propertyNoName:   "true"\n'
                   '     propertyIdIn:     ""\n     service:          ""\n     config generator: ""\n'
                   '     config generator options: ["-x","y"]\n')


# (arguments, status, output, error stream) on the merged_scratch tree.
CASES = [
    # Lookups in each format.
    (["get", "-u", "system.hostname"], 0, "system.hostname=lab-3\n", ""),
    (["get", "-s", "system", "-u", "motd"], 0, "motd=\\\" hello\"\n", ""),
    (["get", "-s", "system", "-u", "logLevel"], 0, "logLevel=+3\n", ""),
    (["get", "-s", "net", "-u", "offset"], 0, "offset=-5\n", ""),
    (["get", "-s", "net", "-u", "enabled"], 0, "enabled=true\n", ""),
    (["get", "-s", "net", "-u", "ratio"], 0, "ratio=0.5\n", ""),
    (["get", "-s", "system", "-u", "tags"], 0, "tags=\\[\"a\",\"b\"]\n", ""),
    (["get", "-s", "net", "dns"], 0, "{\"dns\":{\"servers\":[\"10.0.0.53\"]}}\n", ""),
    (["get", "-s", "net", "-J", "eth0"], 0,
     "{\n\"eth0\": {\n    \"mode\": \"dhcp\",\n    \"mtu\": 1500\n}\n}\n", ""),
    (["get", "-s", "net", "-n", "-u", "eth0.mtu"], 0, "+1500\n", ""),
    (["get", "-s", "net", "-u"], 0,
     'net=\\{"dns":{"servers":["10.0.0.53"]},"dotted.key":{"c":"inside"},"enabled":true,'
     '"eth0":{"mode":"dhcp","mtu":1500},"offset":-5,"ratio":0.5}\n', ""),
    # Path syntax.
    (["get", "-u", 'net."dotted.key".c'], 0, 'net."dotted.key".c=inside\n', ""),
    (["get", "-u", "net.dotted\\.key.c"], 0, 'net."dotted.key".c=inside\n', ""),
    (["get", "-u", 'net."dotted.key"c'], 2, "", "*** Missing '.' separator in subtree ID\n"),
    (["get", "-u", 'net."dotted'], 2, "", "*** Missing end-quote in subtree ID\n"),
    # Missing and non-object properties.
    (["get", "system.nope"], 3, "", '*** No such property as "system.nope"\n'),
    (["get", "-N", "-u", "system.nope"], 0, "system.nope=null\n", ""),
    (["get", "system.hostname.x"], 2, "", '*** Property "hostname" is not a JSON Object\n'),
    (["get", "-s", "nosuch"], 3, "", '*** No such property as "nosuch"\n'),
    (["get", "-N", "-s", "nosuch"], 0, '"nosuch":null\n', ""),
    (["get", "-N", "-u", "-s", "nosuch"], 0, "nosuch=null\n", ""),
    (["get", "-d", "nope"], 2, "", '*** Unrecognized domain "nope"!\n'),
    # Argument and option faults.
    (["frobnicate"], 2, USAGE, '*** Unrecognized command "frobnicate"\n'),
    (["merge", "-f", "ids"], 2, USAGE, '*** Command "merge" does not take a propertyId file\n'),
    (["get", "a", "b"], 2, USAGE, '*** Wrong number of arguments for "get"\n'),
    (["set", "a"], 2, USAGE, '*** Wrong number of arguments for "set"\n'),
    (["merge", "-d", "factory", "factory"], 2, USAGE, '*** Wrong number of arguments for "merge"\n'),
    (["get", "-s", "apiVersion"], 2, "", "apiVersion keyword reserved: File exists\n"),
    (["-?"], 0, USAGE, ""),
    ([], 0, USAGE, ""),
    (["get", "-e", "missing.conf"], 3, "", "env open: No such file or directory\n"),
    (["get", "-f", "missing.ids"], 3, "", "propertyIdFile open: No such file or directory\n"),
    # Listings.
    (["domain", "siteDefaults"], 0, '  1: "siteDefaults"\n     in:  "layers/siteDefaults"\n'
                                    '     out: "siteDefaults.json"\n', ""),
    (["domain", "nope"], 3, 'No such domain as "nope".\n', ""),
    (["subsystem", "nope"], 3, 'No such subsystem as "nope".\n', ""),
    (["merge", "nope"], 3, 'No such domain as "nope".\n', ""),
    (["default", "-d", "nope", "x"], 3, 'No such domain as "nope".\n', ""),
    (["default", "-s", "nope", "x"], 3, 'No such subsystem as "nope".\n', ""),
    # Changes that are refused.
    (["set", "system.nope", "1"], 3, "", '*** No such property as "system.nope"\n'),
    (["set", "system.logLevel", '"high"'], 2, "",
     '*** Parse Error "Invalid value." for "system.logLevel":"high"\n'),
    (["set", "-u", "system.logLevel", "high"], 2, "",
     '*** Parse Error "Invalid value." for "system.logLevel"=high\n'),
    (["set", "system.logLevel", "{oops"], 2, "",
     '*** JSON Parse Error "Missing a name for object member." at offset 1 of "{oops"\n'),
    (["set", "-N", "system.deleted", "false"], 2, "", '*** Improper use of "deleted" : true\n'),
    (["set", "-N", "system.x.deleted", "true"], 2, "", '*** Improper use of "deleted" : true\n'),
    (["set", "-N", "deleted", "true"], 2, "", '*** Internal error: parent Object not found during "delete"\n'),
    (["delete", "system"], 2, "", '*** Illegal to delete entire subsystem "system"\n'),
    (["delete", "system.nope"], 3, "", '*** No such property as "system.nope"\n'),
]


@pytest.mark.parametrize("args,status,out,err", CASES, ids=[" ".join(c[0]) or "<none>" for c in CASES])
def test_command_table(merged_scratch, args, status, out, err):
    before = {d: merged_scratch.merged(d) for d in ("factory", "siteDefaults", "deviceSpecific")}
    got_status, got_out, got_err = merged_scratch.run(*args)
    if status is None:
        # A path syntax error ends the program through an exception.
        assert got_status != 0 and err in got_err
    else:
        assert (got_status, got_out, got_err) == (status, out, err)
    # Nothing of the above changes a merged configuration.
    assert before == {d: merged_scratch.merged(d) for d in before}


def test_set_creates_and_changes(merged_scratch):
    s = merged_scratch
    assert s.run("set", "-N", "system.a.b.c", '{"x":1}') == (1, "", "")
    assert s.merged("deviceSpecific")["system"]["a"] == {"b": {"c": {"x": 1}}}
    assert s.run("set", "-u", "system.hostname", "lab-7") == (1, "", "")
    assert s.run("set", "-u", "system.hostname", "lab-7") == (0, "", "")
    assert s.run("set", "-u", "-s", "net", "offset", "+12") == (1, "", "")
    assert s.run("set", "-u", "-s", "net", "dns.servers", '\\["9.9.9.9"]') == (1, "", "")
    assert s.run("set", "-N", "net.eth0.deleted", "true") == (1, "", "")
    net = s.merged("deviceSpecific")["net"]
    assert net["offset"] == 12 and net["dns"]["servers"] == ["9.9.9.9"] and "eth0" not in net
    # A "deleted" marker that is already there cannot be set.
    write_json(s.path("deviceSpecific.json"), {"system": {"deleted": True}})
    assert s.run("set", "system.deleted", "true") == (
        2, "", '*** Illegal configuration: "deleted" cannot occur within a merged configuration file, '
               'but did within "system.deleted"\n')


def test_property_id_files(merged_scratch):
    s = merged_scratch
    with open(s.path("ids.url"), "w") as f:
        f.write("# the host\nsystem.hostname\n\n# after the empty line: ignored\nnet.offset\n")
    assert s.run("get", "-u", "-f", "ids.url", "system.logLevel") == (
        0, "system.logLevel=+3\nsystem.hostname=lab-3\n", "")
    with open(s.path("ids.json"), "w") as f:
        f.write('"system.hostname"\n# comment\n"net.\\"dotted.key\\".c"\n')
    assert s.run("get", "-f", "ids.json") == (
        0, '{"system.hostname":"lab-3","net.\\"dotted.key\\".c":"inside"}\n', "")
    with open(s.path("bad.json"), "w") as f:
        f.write("system.hostname\n")
    assert s.run("get", "-f", "bad.json") == (
        2, "", '*** Parse Error "Invalid argument" for "system.hostname"\n')
    # set from lines and from one object.
    with open(s.path("set.url"), "w") as f:
        f.write("system.hostname=a=b\n# skipped\nsystem.eq\\=key=+5\n")
    assert s.run("set", "-N", "-u", "-f", "set.url") == (1, "", "")
    assert s.run("get", "-u", "-f", "ids.url") == (0, "system.hostname=a=b\n", "")
    assert s.run("get", "-u", "system.eq=key") == (0, "system.eq=key=+5\n", "")
    with open(s.path("set.json"), "w") as f:
        f.write('{\n  "system.hostname": "c:d",\n  "net.eth0": {"mode": "static"}\n}\n')
    assert s.run("set", "-f", "set.json") == (1, "", "")
    tree = s.merged("deviceSpecific")
    assert tree["system"]["hostname"] == "c:d" and tree["net"]["eth0"] == {"mode": "static"}
    with open(s.path("set2.json"), "w") as f:
        f.write('"system.hostname":"e:f"\n')
    assert s.run("set", "-f", "set2.json") == (1, "", "")
    assert s.merged("deviceSpecific")["system"]["hostname"] == "e:f"


def test_set_refuses_values_it_cannot_hold(merged_scratch):
    """Nesting beyond the limit is refused, not a crash; numbers are read
    from their text: a zero stays zero, one beyond a double is refused."""
    s = merged_scratch
    with open(s.path("deep.json"), "w") as f:
        f.write('{"system.deep": ' + "[" * 200000 + "]" * 200000 + "}")
    assert s.run("set", "-N", "-f", "deep.json") == (
        2, "", '*** JSON nesting deeper than 1000 levels not allowed\n'
               '*** JSON Parse Error "Parsing was terminated." at offset 0 of "deep.json"\n')
    assert s.run("set", "-N", "system.zero", "0e100") == (1, "", "")
    assert s.run("get", "system.zero") == (0, '{"system.zero":0.0}\n', "")
    assert s.run("set", "-N", "system.huge", "1.8e308") == (
        2, "", '*** JSON Parse Error "Number too big to be stored in double." at offset 0 of "1.8e308"\n')


def test_missing_confout_starts_empty(scratch):
    assert scratch.run("get") == (0, '{"":{}}\n', "")
    assert scratch.run("get", "-u", "-d", "factory", "-N", "x") == (0, "x=null\n", "")


def test_merge_layers(merged_scratch):
    s = merged_scratch
    dev = s.merged("deviceSpecific")
    assert dev["system"]["hostname"] == "lab-3"
    assert dev["net"]["dns"]["servers"] == ["10.0.0.53"]
    # A domain without layer files equals the domain below.
    assert s.merged("siteDefaults")["system"] == s.merged("factory")["system"]
    assert s.run("merge") == (0, "", "")
    # A layer deleting a nested object; a layer deleting a whole subsystem.
    s.layer("siteDefaults", "net", {"eth0": {"deleted": True}})
    assert s.run("merge") == (1, "", "")
    assert "eth0" not in s.merged("deviceSpecific")["net"]
    s.layer("deviceSpecific", "services", {"deleted": True})
    assert s.run("merge") == (2, "", '*** Illegal attempt to delete domain "siteDefaults" subsystem "services"!\n')
    s.layer("deviceSpecific", "services", {"sshd": {"enabled": "yes"}})
    assert s.run("merge") == (2, "", '*** Application of domain "deviceSpecific" subsystem "services" config '
                                     'file failed due to "JSON Schema violation: attempting to change type of '
                                     'property"!\n')
    write_json(s.path("layers", "deviceSpecific", "services.vcfg"), {"other": {}})
    assert s.run("merge") == (2, "", '*** Top level of domain "deviceSpecific" subsystem "services" config file '
                                     'is not a corresponding JSON Object!\n')
    with open(s.path("layers", "deviceSpecific", "services.vcfg"), "w") as f:
        f.write('{"services":{"a":1,"a":2}}')
    layer = s.path("layers", "deviceSpecific", "services.vcfg")
    assert s.run("merge") == (2, "", "*** Object expected 2 members, had 1 members\n"
                                     '*** JSON Parse Error "Parsing was terminated." at offset 24 of "layers/deviceSpecific/services.vcfg"\n'
                                     "subsystem config load: Bad message\n")


def test_commit_after_unchanged_merge_writes_nothing(merged_scratch):
    s = merged_scratch
    layer = s.path("layers", "deviceSpecific", "system.vcfg")
    assert s.run("commit", "-d", "factory", "-v") == (
        0, '    No differences possible to save for lowest-level domain "factory"\n', "")
    # siteDefaults only differs in "net".
    # The layer file is rewritten in vcfg's own layout once, then left alone.
    assert s.run("commit", "-d", "siteDefaults") == (1, "", "")
    assert s.run("commit", "-d", "siteDefaults") == (0, "", "")
    assert sorted(os.listdir(s.path("layers", "siteDefaults"))) == ["net.vcfg", "net.vcfg.bak"]
    assert read_json(s.path("layers", "siteDefaults", "net.vcfg")) == {"net": {"dns": {"servers": ["10.0.0.53"]}}}
    # Set back to the value below: the difference is empty, the layer goes to .bak.
    assert s.run("set", "-u", "system.hostname", "r9050") == (1, "", "")
    assert s.run("commit", "-v", "system") == (
        0, 'Commiting subsystem "system" of domain "deviceSpecific"...\n'
           '    No differences for subsystem "system" of domain "deviceSpecific"...\n', "")
    assert not os.path.exists(layer) and read_json(layer + ".bak") == {"system": {"hostname": "lab-3"}}
    assert s.run("commit", "nope") == (3, 'No such subsystem as "nope".\n', "")
    assert s.run("commit", "-d", "nope") == (3, 'No such domain as "nope".\n', "")


def test_default_restores_from_below(merged_scratch):
    s = merged_scratch
    assert s.run("default", "-v", "system.hostname") == (
        1, 'Defaulting from domain "deviceSpecific" back to domain "siteDefaults"\n'
           'Property "system.hostname" was changed and is now restored\nDomain "deviceSpecific" changed.\n', "")
    assert s.merged("deviceSpecific")["system"]["hostname"] == "r9050"
    assert s.run("default", "-v", "-s", "system", "hostname") == (
        0, 'Defaulting from domain "deviceSpecific" back to domain "siteDefaults"\n'
           'Property "hostname" has not been changed\nDomain "deviceSpecific" not changed.\n', "")
    assert s.run("set", "-N", "system.added", "1") == (1, "", "")
    assert s.run("delete", "system.logLevel") == (0, "", "")
    assert s.run("default", "-v", "system.added") == (
        1, 'Defaulting from domain "deviceSpecific" back to domain "siteDefaults"\n'
           'Deleting newly-added property "system.added"\nDomain "deviceSpecific" changed.\n', "")
    assert s.run("default", "-v", "system.logLevel") == (
        1, 'Defaulting from domain "deviceSpecific" back to domain "siteDefaults"\n'
           'Property "system.logLevel" had been deleted and is now restored\nDomain "deviceSpecific" changed.\n', "")
    assert s.run("default", "-v", "system.never") == (
        0, 'Defaulting from domain "deviceSpecific" back to domain "siteDefaults"\n'
           'No property "system.never" in either domain\nDomain "deviceSpecific" not changed.\n', "")
    assert s.merged("deviceSpecific")["system"] == s.merged("siteDefaults")["system"]
    # The lowest domain defaults to nothing.
    assert s.run("default", "-d", "factory", "system.hostname") == (1, "", "")
    assert "hostname" not in s.merged("factory")["system"]
