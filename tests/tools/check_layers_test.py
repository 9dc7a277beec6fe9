#!/usr/bin/env python3
"""tools/check-layers.py on small planted trees: what it must refuse, and a sound tree it passes."""

import contextlib
import importlib.util
import io
import pathlib
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "tools" / "check-layers.py"
module_spec = importlib.util.spec_from_file_location("check_layers", SCRIPT)
check_layers = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(check_layers)


def plant(files):
    """A temporary tree holding {relative path: text}; returns its TemporaryDirectory."""
    folder = tempfile.TemporaryDirectory()
    for relative, text in files.items():
        path = pathlib.Path(folder.name) / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return folder


class CheckLayers(unittest.TestCase):
    def faults(self, files):
        with plant(files) as root:
            return check_layers.check(pathlib.Path(root))

    def test_sound_tree_passes(self):
        # Downward includes, a header and its own source, and an outside header.
        self.assertEqual(self.faults({
            "base/a.h": "#include <cstdint>\n",
            "geometry/b.h": '#include "base/a.h"\n',
            "geometry/b.cpp": '#include "geometry/b.h"\n#include "geometry/c.h"\n',
            "geometry/c.h": '#include "base/a.h"\n',
            "app/platform.h": "",
            "platform/d.cpp": '#include "app/platform.h"\n#include "gtest/gtest.h"\n',
        }), [])

    def test_cycle_through_sources_names_every_step(self):
        # b.cpp -> c.h and c.cpp -> b.h: neither header includes the other, the modules do.
        faults = self.faults({
            "app/b.h": "",
            "app/b.cpp": '#include "app/b.h"\n#include "app/c.h"\n',
            "app/c.h": "",
            "app/c.cpp": '#include "app/c.h"\n\n#include "app/b.h"\n',
            "app/d.cpp": '#include "app/b.h"\n',
        })
        self.assertEqual(len(faults), 1, faults)
        self.assertIn("include cycle: app/b -> app/c -> app/b", faults[0])
        self.assertIn("app/b.cpp:2 includes app/c", faults[0])
        self.assertIn("app/c.cpp:3 includes app/b", faults[0])
        self.assertNotIn("app/d", faults[0])

    def test_three_module_cycle_and_upward_include(self):
        faults = self.faults({
            "raster/x.h": '#include "raster/y.h"\n',
            "raster/y.h": '#include "raster/z.h"\n',
            "raster/z.cpp": '#include "raster/x.h"\n',
            "raster/w.cpp": '#include "app/shell.h"\n',
            "app/shell.h": "",
        })
        self.assertEqual(len(faults), 2, faults)
        self.assertTrue(faults[0].startswith("raster/w.cpp:1: raster/ may not include app/shell.h"))
        self.assertIn("raster/x -> raster/y -> raster/z -> raster/x", faults[1])

    def test_main_exits_one_on_a_fault(self):
        with plant({"base/a.h": '#include "geometry/b.h"\n', "geometry/b.h": ""}) as root:
            argv = sys.argv
            sys.argv = ["check-layers.py", root]
            try:
                with contextlib.redirect_stdout(io.StringIO()), \
                        contextlib.redirect_stderr(io.StringIO()):
                    self.assertEqual(check_layers.main(), 1)
            finally:
                sys.argv = argv


if __name__ == "__main__":
    unittest.main()
