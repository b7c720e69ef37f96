"""The module frame: names, constants, signatures, argument conversion, imports."""
import importlib.metadata
import inspect
import subprocess
import sys
import textwrap

import pytest
import skyrift_mp as sk

MODULE_NAMES = [
    "GnssSystem", "Satellite", "Epoch", "Ecef", "Geodetic", "RinexObsData", "MultipathEstimate",
    "MultipathStats", "CycleSlip", "AnalysisResults", "MultipathAnalyzer", "SnrSeries", "Sp3Data",
    "read_rinex_obs", "read_rinex_obs_bytes", "read_sp3", "get_frequency", "get_wavelength",
    "calculate_azel", "compute_elevation", "version", "morlet_cwt", "band_power",
    "red_noise_significance", "period_bands", "detrend_arc", "split_arcs", "fresnel_zone",
    "fresnel_map", "scalogram", "analyze_snr_wavelets",
    "SPEED_OF_LIGHT", "GM_WGS84", "EARTH_RADIUS", "GPS_L1_WAVELENGTH",
    "ReflectorHeights", "reflector_heights", "reflector_heights_from_snr",
    "NavData", "read_rinex_nav", "read_rinex_nav_bytes",
    "QualityReport", "quality",
]


def test_version_docstring_and_constants():
    assert sk.version() == "1.0.1" == importlib.metadata.version("skyrift_mp")  # one source
    assert sk.__doc__ == "Python module definition"
    assert sk.SPEED_OF_LIGHT == 299792458.0
    assert sk.GM_WGS84 == 3.986005e14
    assert sk.EARTH_RADIUS == 6378137.0
    assert sk.GPS_L1_WAVELENGTH == sk.SPEED_OF_LIGHT / 1575.42e6
    assert sk.__version__ == sk.version() and not hasattr(sk, "__all__")


def test_module_exposes_only_its_own_names_in_registration_order():
    own = [n for n in vars(sk) if not n.startswith("__")]
    assert own == MODULE_NAMES
    assert sorted(n for n in dir(sk) if not n.startswith("__")) == sorted(MODULE_NAMES)


@pytest.mark.parametrize("cls", ["RinexObsData", "Sp3Data", "AnalysisResults", "MultipathEstimate", "NavData",
                                 "QualityReport"])
def test_classes_without_constructor(cls):
    with pytest.raises(TypeError):
        getattr(sk, cls)()


def test_reimport_returns_the_same_module():
    del sys.modules["skyrift_mp"]
    import skyrift_mp as again
    sys.modules["skyrift_mp"] = again
    assert again is sk


def test_sub_interpreter_is_refused():
    code = textwrap.dedent("""
        import skyrift_mp, _xxsubinterpreters as si
        interp = si.create()
        try:
            si.run_string(interp, "import skyrift_mp")
        except Exception as e:
            print("refused:", e)
        else:
            print("imported")
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert "refused:" in out.stdout and "sub-interpreters" in out.stdout


@pytest.mark.parametrize("obj, expected", [
    (sk.Epoch, "(year, month, day, hour=0, minute=0, second=0.0)"),
    (sk.GnssSystem, "(code)"),
    (sk.Satellite, "(id)"),
    (sk.Ecef, "(x, y, z)"),
    (sk.Geodetic, "(lat, lon, height)"),
    (sk.get_frequency, "(system, band, fcn=None)"),
    (sk.calculate_azel, "(receiver, satellite)"),
    (sk.version, "()"),
    (sk.Epoch.parse, "(s)"),
    (sk.Ecef(1, 2, 3).distance, "(other)"),
    (sk.Epoch(2020, 1, 1).to_iso, "()"),
    (sk.reflector_heights, "(obs, orbit, receiver=None, **options)"),
    (sk.reflector_heights_from_snr, "(satellites, times, elevations, azimuths, snr, signal, **options)"),
    (sk.ReflectorHeights.daily, "(self, median_filter=0.25, min_tracks=10)"),
    (sk.read_rinex_nav, "(path)"),
    (sk.read_rinex_nav_bytes, "(data, filename)"),
    (sk.NavData.get_position, "(self, satellite, epoch)"),
], ids=lambda v: getattr(v, "__qualname__", None) if callable(v) else None)
def test_text_signatures(obj, expected):
    assert str(inspect.signature(obj)) == expected


def test_docstrings():
    assert sk.get_frequency.__doc__ == "Get frequency for a GNSS signal"
    # the given first line, then the units
    assert sk.calculate_azel.__doc__.startswith("Calculate azimuth and elevation\n\n")
    assert "in degrees" in sk.calculate_azel.__doc__
    assert sk.version.__doc__ == "Get library version"
    assert sk.Epoch.__doc__ == "Python-exposed Epoch (time)"
    assert sk.GnssSystem.__doc__ == "Python-exposed GNSS System enum"


@pytest.mark.parametrize("call, exc, message", [
    (lambda: sk.get_frequency("G", "1"), TypeError, "argument 'band': "),
    (lambda: sk.get_frequency("G", 1.0), TypeError, "argument 'band': "),
    (lambda: sk.get_frequency(1, 1), TypeError, "argument 'system': "),
    (lambda: sk.get_frequency("G", 256), OverflowError, "out of range integral type conversion attempted"),
    (lambda: sk.get_frequency("G", -1), OverflowError, "out of range integral type conversion attempted"),
    (lambda: sk.get_frequency("R", 1, 128), OverflowError, "out of range integral type conversion attempted"),
    (lambda: sk.get_frequency("R", 1, 2**70), OverflowError, "out of range integral type conversion attempted"),
    (lambda: sk.Epoch(2**31, 1, 1), OverflowError, "out of range integral type conversion attempted"),
    (lambda: sk.Epoch(2024, -1, 1), OverflowError, "out of range integral type conversion attempted"),
    (lambda: sk.Ecef("a", 0, 0), TypeError, "argument 'x': "),
    (lambda: sk.Ecef(0, 0, 0).distance((1, 2, 3)), TypeError, "argument 'other': "),
    (lambda: sk.calculate_azel(1, 2), TypeError, "argument 'receiver': "),
    (lambda: sk.Epoch.parse(20240101), TypeError, "argument 's': "),
], ids=["str-for-int", "float-for-int", "int-for-str", "u8-over", "u8-negative", "i8-over",
        "huge-int", "i32-over", "u32-negative", "str-for-float", "tuple-for-instance",
        "int-for-instance", "int-for-str-static"])
def test_argument_conversion_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value).startswith(message)


def test_keyword_and_positional_arguments():
    assert sk.get_frequency(system="R", band=2, fcn=None) == 1246000000.0
    assert sk.Epoch(2020, 1, 1, second=30).second == 30.0
    with pytest.raises(TypeError):
        sk.get_frequency("G")
    with pytest.raises(TypeError):
        sk.get_frequency("G", 1, None, 4)
    with pytest.raises(TypeError):
        sk.get_frequency("G", 1, channel=3)


def test_instances_have_identity_equality_only():
    a, b = sk.Satellite("G01"), sk.Satellite("G01")
    assert a != b and a == a


def _callables():
    """Every Python-visible function and method, special methods and pybind11's own excepted."""
    for name, obj in vars(sk).items():
        if name.startswith("__"):
            continue
        if not inspect.isclass(obj):
            if callable(obj):
                yield name, obj
            continue
        for member, value in vars(obj).items():
            if member == "__init__" or not member.startswith("_"):
                if callable(value) or isinstance(value, staticmethod):
                    yield f"{name}.{member}", getattr(obj, member)


# RinexObsData's plain queries are documented as having no docstring.
UNDOCUMENTED = {f"RinexObsData.{m}" for m in (
    "satellites", "epochs", "first_epoch", "last_epoch", "observation_types", "glonass_fcn",
    "satellites_by_system")}


def test_every_function_and_method_has_a_signature_and_a_docstring():
    names = dict(_callables())
    assert UNDOCUMENTED <= names.keys()
    for name, fn in names.items():
        inspect.signature(fn)  # raises when the text signature is missing or malformed
        doc = inspect.getdoc(fn) or ""
        assert (doc == "") == (name in UNDOCUMENTED), name


def _documented():
    """Every class and property of the module (data descriptors of pybind11 included)."""
    for name, obj in vars(sk).items():
        if inspect.isclass(obj):
            yield name, obj.__doc__
            for member, value in vars(obj).items():
                if not member.startswith("_") and isinstance(value, property):
                    yield f"{name}.{member}", value.__doc__


def test_every_class_and_property_has_a_docstring():
    documented = dict(_documented())
    assert {"Epoch", "Epoch.second", "RinexObsData.interval", "MultipathEstimate.elevation"} <= documented.keys()
    assert [name for name, doc in documented.items() if not (doc or "").strip()] == []
