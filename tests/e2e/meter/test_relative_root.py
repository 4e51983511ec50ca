"""A device root given relative to the directory the meter was started in."""
import os
import subprocess

from conftest import wait_for


def test_a_relative_root_still_holds_the_device_after_the_directory_change(meter):
    # The log switch thread looks for /tmp/debug and /tmp/logConfig under the
    # root every second, long after the meter changed to its own directory:
    # its category log reaches standard output only if the root is still found.
    meter.prepare_device(debug_categories=["ThreadMonitor"])
    env = meter.env()
    env["METER_ROOT"] = meter.root.name  # relative to the directory started in
    meter.proc = subprocess.Popen([os.environ["METERAPP"]], env=env, cwd=meter.root.parent,
                                  stdout=open(meter.stdout_path, "w"), stderr=subprocess.DEVNULL,
                                  start_new_session=True)
    assert wait_for(lambda: "Application directory = " in meter.messages() or not meter.running())
    assert meter.running()
    assert wait_for(lambda: "gtkThread loop count" in meter.stdout(), timeout=15), meter.stdout()[-2000:]
