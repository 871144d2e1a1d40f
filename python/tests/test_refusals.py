"""What the programs refuse is refused with their message, as OSError for
files and ValueError for values; options of the other kind are refused."""

import pytest

import fieldsearch
from conftest import ASTFIELD, SATFIELD, data, program_run


def program_message(program, options, scratch):
    """The program's one-line message without its 'PROGRAM: --option: ' prefix."""
    _, err, status = program_run(program, options, scratch)
    assert status != 0
    line = err.splitlines()[0]
    line = line.split(": ", 1)[1]
    if line.startswith("--"):
        line = line.split(": ", 1)[1]
    return line


# Keyword arguments, the program's options for them, the exception.
ASTEROID_REFUSALS = [
    (dict(time="2008-02-30T05:14:00"), ["--time", "2008-02-30T05:14:00"], ValueError),
    (dict(time="2008-05-20T05:14:00", side_arcmin=0), ["--time", "2008-05-20T05:14:00", "--side", "0"], ValueError),
    (dict(time="2008-05-20T05:14:00", centre=(360.0, 0.0)), ["--centre", "360.0", "0.0"], ValueError),
    (dict(time="2008-05-20T05:14:00", site=(91.0, 0.0)), ["--site", "91.0,0.0"], ValueError),
    (dict(time="2008-05-20T05:14:00", exposure_s=-1), ["--exposure", "-1"], ValueError),
    (dict(time="2008-05-20T05:14:00", threads=0), ["--threads", "0"], ValueError),
    (dict(time="2008-05-20T05:14:00", site=(0.0, 0.0), observer_km=(1.0, 2.0, 3.0)),
     ["--observer", "1.0,2.0,3.0", "--site", "0.0,0.0"], ValueError),
    (dict(image=data("astfield-frame.fits"), centre=(1.0, 1.0)),
     ["--image", data("astfield-frame.fits"), "--centre", "1.0", "1.0"], ValueError),
    (dict(image="/nonexistent/frame.fits"), ["--image", "/nonexistent/frame.fits"], OSError),
]


@pytest.mark.parametrize("keywords,options,error", ASTEROID_REFUSALS)
def test_bad_values_are_refused_as_the_program_refuses_them(keywords, options, error, scratch):
    catalogue = fieldsearch.AsteroidCatalogue(data("astorb.dat"))
    with pytest.raises(error) as raised:
        catalogue.search(**keywords)
    assert str(raised.value) == program_message(ASTFIELD, ["--catalogue", data("astorb.dat"), *options], scratch)


CATALOGUE_REFUSALS = [
    (lambda: fieldsearch.AsteroidCatalogue("/nonexistent/astorb.dat"), ASTFIELD,
     ["--catalogue", "/nonexistent/astorb.dat"], OSError),
    (lambda: fieldsearch.AsteroidCatalogue(data("080520ls.tle")), ASTFIELD, ["--catalogue", data("080520ls.tle")],
     OSError),
    (lambda: fieldsearch.SatelliteCatalogue("/nonexistent/sats.tle"), SATFIELD,
     ["--catalogue", "/nonexistent/sats.tle"], OSError),
]


@pytest.mark.parametrize("open_catalogue,program,options,error", CATALOGUE_REFUSALS)
def test_unreadable_catalogues_are_refused(open_catalogue, program, options, error, scratch):
    with pytest.raises(error) as raised:
        open_catalogue()
    assert str(raised.value) == program_message(program, options, scratch)


KIND_REFUSALS = [
    (lambda: fieldsearch.SatelliteCatalogue(data("080520ls.tle")).search("2008-05-20T20:54:00", mag_limit=12),
     "magnitude limit"),
    (lambda: fieldsearch.AsteroidCatalogue(data("astorb.dat")).search("2008-05-20T05:14:00", theory="sgp4"),
     "satellites only"),
    (lambda: fieldsearch.SatelliteCatalogue(data("080520ls.tle")).search("2008-05-20T20:54:00", theory="kepler"),
     "is not vinti, sgp4 or both"),
    (lambda: fieldsearch.AsteroidCatalogue(data("astorb.dat"), format="orbits"), "not astorb, mpcorb or comets"),
    (lambda: fieldsearch.AsteroidCatalogue(data("astorb.dat")).search(), "give the instant"),
    (lambda: fieldsearch.AsteroidCatalogue(data("astorb.dat")).search("2008-05-20T05:14:00", propagation="n"),
     "is not two-body or n-body"),
    (lambda: fieldsearch.SatelliteCatalogue(data("080520ls.tle")).search("2008-05-20T20:54:00",
                                                                        propagation="n-body"),
     "only the asteroid program integrates orbits"),
    (lambda: fieldsearch.AsteroidCatalogue(data("astorb.dat")).search_fields(
        [{"id": "a", "time": "2008-05-20T05:14:00", "ra_deg": 0, "dec_deg": 95, "side_arcmin": 60}]), "dec_deg"),
    (lambda: fieldsearch.AsteroidCatalogue(data("astorb.dat")).search_fields([]), "no field"),
]


@pytest.mark.parametrize("call,message", KIND_REFUSALS)
def test_options_that_do_not_apply_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call()
