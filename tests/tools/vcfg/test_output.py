"""-o (output and errors in one file), -S (schema check), and the
configuration file named by -e and by VCFG_ENVFILE."""
import json
import os
import shutil

from conftest import VCFG, write_json

EXAMPLE = os.environ.get("VCFG_EXAMPLE", "")


def test_output_file_interleaves_output_and_errors(merged_scratch):
    s = merged_scratch
    s.layer("deviceSpecific", "services", {"deleted": True})
    status, out, err = s.run("merge", "-v", "-o", "log.txt")
    assert (status, out, err) == (2, "", "")
    with open(s.path("log.txt")) as f:
        assert f.read() == (
            'Merging domain "factory"...\n'
            '    Some property changes for domain "factory", subsystem "system".\n'
            '    Some property changes for domain "factory", subsystem "net".\n'
            '    Some property changes for domain "factory", subsystem "services".\n'
            'Domain "factory" not changed.\n'
            'Merging domain "siteDefaults"...\n'
            '    No property changes for domain "siteDefaults", subsystem "system".\n'
            '    Some property changes for domain "siteDefaults", subsystem "net".\n'
            '    No property changes for domain "siteDefaults", subsystem "services".\n'
            'Domain "siteDefaults" not changed.\n'
            'Merging domain "deviceSpecific"...\n'
            '    Some property changes for domain "deviceSpecific", subsystem "system".\n'
            '    No property changes for domain "deviceSpecific", subsystem "net".\n'
            '*** Illegal attempt to delete domain "siteDefaults" subsystem "services"!\n')
    # A lookup and its failure, one after the other, in one file.
    with open(s.path("ids"), "w") as f:
        f.write("system.hostname\nsystem.missing\n")
    assert s.run("get", "-u", "-o", "log2.txt", "-f", "ids") == (3, "", "")
    with open(s.path("log2.txt")) as f:
        assert f.read() == '*** No such property as "system.missing"\n'
    assert s.run("get", "-u", "-o", "log3.txt", "system.hostname") == (0, "", "")
    with open(s.path("log3.txt")) as f:
        assert f.read() == "system.hostname=lab-3\n"
    # The library ends the program with the failing open result (-1).
    assert s.run("get", "-o", "no/such/dir/log") == (255, "", "open outputFilename: No such file or directory\n")


def test_environment_file_from_option_and_variable(merged_scratch):
    s = merged_scratch
    shutil.move(s.conf, s.path("other.conf"))
    expected = (0, "system.hostname=lab-3\n", "")
    assert s.run("get", "-u", "system.hostname", "-e", "other.conf", env_file=False) == expected
    assert s.run("get", "-u", "system.hostname", env_file=False,
                 extra_env={"VCFG_ENVFILE": s.path("other.conf")}) == expected
    # -e wins over the variable.
    assert s.run("get", "-u", "system.hostname", "-e", "other.conf") == expected


def test_schema_check(scratch):
    shutil.copy(os.path.join(EXAMPLE, "vcfg.conf.schema"), scratch.conf + ".schema")
    assert scratch.run("-S") == (0, f'{VCFG} environment file "{scratch.conf}" conforms to schema\n', "")
    with open(scratch.conf) as f:
        conf = json.load(f)
    conf["vcfg"]["domain"]["0"]["nme"] = "typo"
    write_json(scratch.conf, conf)
    status, out, err = scratch.run("-S")
    assert (status, out) == (2, "")
    lines = err.splitlines()
    assert lines[0].startswith('*** JSON Parse Error "Parsing was terminated." at offset ')
    assert lines[1:] == ["Invalid environment schema pointer: /definitions/domain",
                         "Invalid environment schema keyword: additionalProperties",
                         "Invalid environment pointer: /vcfg/domain/0/nme"]
    conf["vcfg"]["domain"]["0"].pop("nme")
    conf["vcfg"]["subsystem"]["1"]["propertyNoName"] = "yes"
    write_json(scratch.conf, conf)
    status, out, err = scratch.run("-S")
    assert status == 2
    assert err.splitlines()[1:] == ["Invalid environment schema pointer: /definitions/subsystem/properties/propertyNoName",
                                    "Invalid environment schema keyword: type",
                                    "Invalid environment pointer: /vcfg/subsystem/1/propertyNoName"]
    with open(scratch.conf + ".schema", "w") as f:
        f.write("{broken")
    status, out, err = scratch.run("-S")
    assert (status, out) == (2, "")
    assert err.startswith('*** JSON Parse Error "Missing a name for object member." at offset 1 of "')
    os.unlink(scratch.conf + ".schema")
    assert scratch.run("-S") == (3, "", "env schema open: No such file or directory\n")


def test_example_configuration_conforms():
    status_line = f'environment file "{EXAMPLE}/vcfg.conf" conforms to schema'
    import subprocess
    p = subprocess.run([VCFG, "-S", "-e", f"{EXAMPLE}/vcfg.conf"], capture_output=True, text=True)
    assert p.returncode == 0 and status_line in p.stdout and p.stderr == ""
