"""A short tour of what the module does today: epochs, coordinates, frequencies."""
import skyrift_mp as sk

print("skyrift_mp", sk.version())
e = sk.Epoch.parse("2024-03-05T12:30:15.25Z")
print(repr(e), "GPS time", e.to_gps_time(), "JD", e.julian_date(), "DOY", e.day_of_year())
station = sk.Geodetic(55.7, 12.5, 40.0)
ecef = station.to_ecef()
print(repr(station), "->", repr(ecef), "->", repr(ecef.to_geodetic()))
sat = sk.Geodetic(60.0, 15.0, 20_200_000.0).to_ecef()
print("look angles (az, el):", sk.calculate_azel(ecef, sat))
for system, band, fcn in [("G", 1, None), ("R", 1, -7), ("E", 5, None), ("C", 2, None)]:
    print(f"{system} band {band} fcn={fcn}: {sk.get_frequency(system, band, fcn)} Hz, "
          f"{sk.get_wavelength(system, band, fcn):.6f} m")
