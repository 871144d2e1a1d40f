"""cmake --install puts the module into the prefix's Python path, where it imports and searches."""

import os
import subprocess
import sys

import pytest

from conftest import data

BUILD = os.environ.get("FIELDSEARCH_BUILD")
CMAKE = os.environ.get("FIELDSEARCH_CMAKE", "cmake")
INSTALL_DIR = os.environ.get("FIELDSEARCH_INSTALL_DIR", "lib/python3/dist-packages")


@pytest.mark.skipif(not BUILD, reason="needs the build directory")
def test_installed_module_imports_and_searches(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", str(prefix), "--component", "python"], check=True,
                   capture_output=True)
    package = prefix / INSTALL_DIR
    script = ("import fieldsearch, sys\n"
              "print(fieldsearch.__file__)\n"
              f"t = fieldsearch.AsteroidCatalogue({data('astorb.dat')!r}).search('2008-05-20T05:14:00')\n"
              "print(len(t))\n")
    environment = dict(os.environ, PYTHONPATH=str(package))
    run = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, env=environment, capture_output=True,
                         text=True, check=True)
    where, rows = run.stdout.split()
    assert where.startswith(str(package))
    assert int(rows) > 0
