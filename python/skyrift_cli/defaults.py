"""Defaults shared by the commands, the batch layer and the simulator."""

# Elevation cutoff in degrees, applied once an orbit gives the elevations: the multipath
# and batch commands use it, and the simulator's truth assumes it.
DEFAULT_CUTOFF = 10.0

# The constellations the multipath analysis covers when the user names none (the
# module's own default): the multipath command counts slips of these only.
DEFAULT_SYSTEMS = ("G", "R", "E", "C")
