"""Synthetic observations with known multipath, cycle slips and a ground reflection,
written as RINEX and SP3 files, and the demo that compares them with what the
analyses find. Everything but the demo is plain numpy: the files are read back
by the extension module, so the simulator and the reader stay independent."""
